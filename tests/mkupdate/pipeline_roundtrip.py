#!/usr/bin/python3
"""A set published by mkupdate, served by a real FTP server on loopback
(pyftpdlib), installed by updater-cli into an empty game folder: every file
of the release arrives byte for byte, the import tool is started for each
import bundle, and a republished change reaches the same folder. The list
carries the SHA-256 digests after the fields the updater reads, and the
second set is signed; files of 2 KiB or more have chunk indexes, whose
digest follows the mode flag: the updater installs both as it always did.
Usage: pipeline_roundtrip.py <mkupdate> <updater-cli>"""
import hashlib
import os
import re
import shutil
import sys
import tempfile
import time

from roundtrip_support import (ServedFolder, compare, expect, install, prepare_game, publish, read, report, run,
                               write)

MKUPDATE, CLI = sys.argv[1], sys.argv[2]
DELTA_MIN = 2048


def make_release(game, root):
    write(f"{game}/System/Quelmar.ini", b"[Engine]\r\nResolution=1024x768\r\n" * 20)
    write(f"{game}/System/Core.u", b"".join(b"core %d\n" % i for i in range(30000)))
    write(f"{game}/Help/Readme.txt", b"Welcome.\r\n")
    write(f"{game}/Music/Theme.ogg", os.urandom(3000))
    write(f"{game}/Maps/Town.map", b"town map " * 400)
    write(f"{game}/Maps/Forest/Glade.map", b"glade map " * 300)
    write(f"{game}/Trees/Oak.pcx", b"oak texture " * 500)
    write(f"{game}/Trees/Pine.pcx", b"pine texture " * 500)
    write(f"{game}/Walk/Walk.psa", b"walk animation " * 100)
    write(f"{game}/Rocks/Rock1.ase", b"rock mesh " * 100)
    write(f"{game}/Birds/Chirp.wav", b"chirp " * 100)
    write(f"{game}/System/Quelmar", b"launcher code " * 200)
    write(f"{game}/Start.sh", b"#!/bin/sh\n")
    for name in ("System/Quelmar", "Start.sh"):
        os.chmod(f"{game}/{name}", 0o755)
    with open(f"{root}/release.rules", "w") as f:
        f.write("C Maps.bnd - Maps/*\nT Trees.bnd Trees Trees/*\nA Walk.bnd Walk Walk/*\n"
                "S Rocks.bnd Rocks Rocks/*\nW Birds.bnd Birds Birds/*\nraw *.ogg Help/*\n")


def expect_digests(server):
    """Every entry of update3.dat ends in its digests: one for a bundle, two for E and O, which then
    give their installed size and mode flag, and for files of DELTA_MIN bytes or more the digest of
    the chunk index beside the server file."""
    lines = read(f"{server}/update3.dat").decode().split("\r\n")[1:-1]
    indexed = 0
    for line in lines:
        fields = line.split()
        count = 2 if fields[0] in "EO" else 1
        first = 6 if fields[0] in "TASW" else 5
        digests = fields[first:first + count]
        index = fields[0] in "EO" and int(fields[7]) >= DELTA_MIN
        expect(len(fields) == first + count + (2 if fields[0] in "EO" else 0) + index, f"fields of {line}")
        expect(fields[0] not in "EO" or (fields[7].isdigit() and fields[8] in ("x", "-")), f"size and flag of {line}")
        expect(all(re.fullmatch("[0-9a-f]{64}", d) for d in digests), f"digests of {line}")
        if index:
            indexed += 1
            cdx = read(f"{server}/{fields[1]}.cdx")
            expect(hashlib.sha256(cdx).hexdigest() == fields[9], f"index digest of {line}")
    expect(len(lines) == 11, f"{len(lines)} entries, expected 6 files and 5 bundles")
    expect(indexed == 3, f"{indexed} entries with a chunk index, expected 3")


def import_calls(game, count):
    for _ in range(500):
        calls = read(f"{game}/import.log").decode().splitlines() if os.path.exists(f"{game}/import.log") else []
        if len(calls) >= count:
            return sorted(calls)
        time.sleep(0.02)
    return sorted(calls)


def main():
    root = tempfile.mkdtemp(prefix="mkupdate-roundtrip-")
    try:
        release, game, server, rules = f"{root}/game-release", f"{root}/game", f"{root}/server", f"{root}/release.rules"
        os.makedirs(server)
        make_release(release, root)
        publish(MKUPDATE, release, server, rules, options=["--delta-min", str(DELTA_MIN)])
        expect_digests(server)

        with ServedFolder(server) as served:
            prepare_game(game, served.port)
            install(CLI, game)
            compare(release, game)
            calls = import_calls(game, 4)
            expected = ["pkg import SkelAnim ..\\Animations\\Walk ..\\Walk",
                        "pkg import sound ..\\sounds\\Birds ..\\Birds",
                        "pkg import staticmesh ..\\StaticMeshes\\Rocks ..\\Rocks",
                        "pkg import texture ..\\Textures\\Trees ..\\Trees"]
            expect(calls == expected, f"import calls {calls}")

            # A change of a plain file and of an import bundle reaches players already up to date.
            write(f"{release}/System/Core.u", b"new core\n" * 1000)
            write(f"{release}/Trees/Oak.pcx", b"new oak texture " * 300)
            write(f"{release}/Maps/Town.map", b"new town map " * 300)
            os.chmod(f"{release}/Start.sh", 0o644)  # only its mode changes
            run("keygen", [MKUPDATE, "keygen", f"{root}/keys"], 30)
            publish(MKUPDATE, release, server, rules,
                    options=["--sign", f"{root}/keys/update.key", "--delta-min", str(DELTA_MIN)])
            expect(os.path.exists(f"{server}/update3.dat.minisig"), "the second set is not signed")
            expect_digests(server)
            install(CLI, game)
            compare(release, game)
            calls = import_calls(game, 5)
            expect(calls.count("pkg import texture ..\\Textures\\Trees ..\\Trees") == 2, f"no second import: {calls}")
    finally:
        shutil.rmtree(root)
    return report()


if __name__ == "__main__":
    sys.exit(main())
