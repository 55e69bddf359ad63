#!/usr/bin/python3
"""A set published by mkupdate, served by a real FTP server on loopback
(pyftpdlib), installed by updater-cli into an empty game folder: every file
of the release arrives byte for byte, the import tool is started for each
import bundle, and a republished change reaches the same folder.
Usage: pipeline_roundtrip.py <mkupdate> <updater-cli>"""
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

MKUPDATE, CLI = sys.argv[1], sys.argv[2]
# Files the updater and this test keep in the game folder beside the release.
UPDATER_FILES = {"isp0.dat", "isp1.dat", "FtpConfig.ini", "System/PKG", "update2.dat", "update3.dat",
                 "bulletin.htm", "import.log"}
failures = []


def expect(condition, what):
    if not condition:
        failures.append(what)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def tree(folder):
    found = {}
    for base, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(base, name)
            found[os.path.relpath(path, folder)] = read(path)
    return found


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
    with open(f"{root}/release.rules", "w") as f:
        f.write("C Maps.bnd - Maps/*\nT Trees.bnd Trees Trees/*\nA Walk.bnd Walk Walk/*\n"
                "S Rocks.bnd Rocks Rocks/*\nW Birds.bnd Birds Birds/*\nraw *.ogg Help/*\n")


def publish(root):
    result = subprocess.run([MKUPDATE, "publish", f"{root}/game-release", f"{root}/server", "--rules",
                             f"{root}/release.rules"], capture_output=True)
    expect(result.returncode == 0, f"publish: {result.stderr!r}")
    result = subprocess.run([MKUPDATE, "check", f"{root}/server"], capture_output=True)
    expect(result.returncode == 0, f"check: {result.stdout!r}")


def install(game):
    result = subprocess.run([CLI, "--dir", game, "--server", "0", "--update"], capture_output=True,
                            timeout=120, env=dict(os.environ, LANG="C"))
    expect(result.returncode == 0, f"updater-cli ended with {result.returncode}: {result.stdout!r} {result.stderr!r}")


def compare(release, game):
    installed = {name: data for name, data in tree(game).items() if name not in UPDATER_FILES}
    for name, data in tree(release).items():
        expect(installed.get(name) == data, f"{name} was not installed byte for byte")
    extra = set(installed) - set(tree(release))
    expect(not extra, f"left behind in the game folder: {sorted(extra)}")


def import_calls(game, count):
    for _ in range(500):
        calls = read(f"{game}/import.log").decode().splitlines() if os.path.exists(f"{game}/import.log") else []
        if len(calls) >= count:
            return sorted(calls)
        time.sleep(0.02)
    return sorted(calls)


def main():
    root = tempfile.mkdtemp(prefix="mkupdate-roundtrip-")
    server_process = None
    try:
        release, game = f"{root}/game-release", f"{root}/game"
        os.makedirs(f"{root}/server")
        make_release(release, root)
        publish(root)

        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
        server_process = subprocess.Popen(["/usr/bin/python3", "-m", "pyftpdlib", "-i", "127.0.0.1", "-p", str(port),
                                           "-d", f"{root}/server"], stdout=subprocess.DEVNULL,
                                          stderr=subprocess.DEVNULL)
        for _ in range(500):
            try:
                socket.create_connection(("127.0.0.1", port), timeout=1).close()
                break
            except OSError:
                time.sleep(0.02)

        write(f"{game}/isp0.dat", b"Test 127.0.0.1 %d 10000 anonymous\r\nend\r\n" % port)
        write(f"{game}/FtpConfig.ini", b"[EXECUTE]\r\nEXEFILE=Quelmar.exe kvx\r\n")
        write(f"{game}/System/PKG", b"#!/bin/sh\necho \"$*\" >> '%s/import.log'\n" % game.encode())
        os.chmod(f"{game}/System/PKG", 0o755)

        install(game)
        compare(release, game)
        calls = import_calls(game, 4)
        expected = ["pkg import SkelAnim ..\\Animations\\Walk ..\\Walk", "pkg import sound ..\\sounds\\Birds ..\\Birds",
                    "pkg import staticmesh ..\\StaticMeshes\\Rocks ..\\Rocks",
                    "pkg import texture ..\\Textures\\Trees ..\\Trees"]
        expect(calls == expected, f"import calls {calls}")

        # A change of a plain file and of an import bundle reaches players already up to date.
        write(f"{release}/System/Core.u", b"new core\n" * 1000)
        write(f"{release}/Trees/Oak.pcx", b"new oak texture " * 300)
        write(f"{release}/Maps/Town.map", b"new town map " * 300)
        publish(root)
        install(game)
        compare(release, game)
        calls = import_calls(game, 5)
        expect(calls.count("pkg import texture ..\\Textures\\Trees ..\\Trees") == 2, f"no second import: {calls}")
    finally:
        if server_process:
            server_process.terminate()
            server_process.wait()
        shutil.rmtree(root)
    for failure in failures:
        print("FAIL:", failure)
    print(f"{len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
