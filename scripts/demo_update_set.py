#!/usr/bin/env python3
"""Writes a small demo update set, one entry of every type, into a folder
that an FTP server then serves: the server list update3.dat, gzip files,
bundles (member data followed by a 101-record directory trailer) and a
bulletin page.

Usage: demo_update_set.py SERVER_DIR
"""
import gzip
import os
import struct
import sys

RECORD = 89
RECORDS = 101


def bundle(members):
    """Bytes of a bundle holding (windows_name, data) members in order."""
    data = b""
    records = []
    for name, content in members:
        start = len(data)
        data += content
        encoded = name.encode("ascii")
        records.append(struct.pack("<iiB", start, len(data), len(encoded)) + encoded.ljust(80, b"\0"))
    trailer = struct.pack("<i", len(members)).ljust(RECORD, b"\0")
    trailer += b"".join(records)
    trailer = trailer.ljust(RECORD * RECORDS, b"\0")
    return data + trailer


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    entries = []

    def put(kind, remote, local, version, payload, package=""):
        with open(os.path.join(out, remote), "wb") as f:
            f.write(payload)
        line = f"{kind} {remote} {local} {version} {len(payload)}"
        entries.append(line + (f" {package}" if package else ""))

    gz = lambda b: gzip.compress(b, mtime=0)
    put("E", "Quelmar.ini.gz", "System\\Quelmar.ini", "20240101",
        gz(b"[Engine]\r\nResolution=1024x768\r\n"))
    put("O", "Readme.txt", "Help\\Readme.txt", "20240101",
        b"Welcome to the demo game.\r\n")
    put("C", "Maps.gz", "Maps.bnd", "20240101",
        gz(bundle([("Maps\\Town.map", b"town map data"),
                   ("Maps\\Forest\\Glade.map", b"glade map data")])))
    put("T", "Trees.gz", "Trees.bnd", "20240101",
        gz(bundle([("Textures\\Trees\\Oak.pcx", b"oak texture"),
                   ("Textures\\Trees\\Pine.pcx", b"pine texture")])), "Trees")
    put("A", "Walk.gz", "Walk.bnd", "20240101",
        gz(bundle([("Animations\\Walk\\Walk.psa", b"walk animation")])), "Walk")
    put("S", "Rocks.gz", "Rocks.bnd", "20240101",
        gz(bundle([("StaticMeshes\\Rocks\\Rock1.ase", b"rock mesh")])), "Rocks")
    put("W", "Birds.gz", "Birds.bnd", "20240101",
        gz(bundle([("sounds\\Birds\\Chirp.wav", b"chirp sound")])), "Birds")

    with open(os.path.join(out, "update3.dat"), "wb") as f:
        f.write(("\r\n".join(["DEMO"] + entries) + "\r\n").encode("ascii"))
    with open(os.path.join(out, "bulletin.htm"), "wb") as f:
        f.write(b"<html><body><h1>Demo bulletin</h1></body></html>\r\n")


if __name__ == "__main__":
    main()
