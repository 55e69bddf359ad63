#!/usr/bin/python3
"""A release in the shape of a real one, published by mkupdate, served by
pyftpdlib on loopback and installed by updater-cli into an empty game folder:
3,000 files in 300 folders, most of them under names that many folders share
(copyright, README, DATA), with and without a dot, one starting with a dot,
the same name in another case elsewhere, text that gzip shrinks and random
bytes that it does not (served as they are), and files served as they are by
a rule. Every file must arrive byte for byte.
Usage: real_release_roundtrip.py <mkupdate> <updater-cli>"""
import os
import random
import shutil
import sys
import tempfile

from roundtrip_support import ServedFolder, compare, expect, install, prepare_game, publish, report, write

MKUPDATE, CLI = sys.argv[1], sys.argv[2]
FOLDERS = 300
# Words, which gzip shrinks about fourfold; files take a random piece.
TEXT = b" ".join(random.Random(1).choices([b"castle", b"sword", b"water", b"forest", b"dragon", b"quest", b"stone",
                                           b"shield", b"river", b"tower\n"], k=20000))


def text(rng, size):
    start = rng.randrange(len(TEXT) - size)
    return TEXT[start:start + size]


def noise(rng, size):
    return rng.randbytes(size)


def make_release(release, rules):
    """Ten files a folder, names shared across folders; returns the file count."""
    rng = random.Random(20261208)
    count = 0

    def put(name, data):
        nonlocal count
        write(f"{release}/{name}", data)
        count += 1

    for i in range(FOLDERS):
        folder = f"doc/pkg{i:03}" if i % 3 else f"doc/pkg{i:03}/examples"
        put(f"{folder}/copyright", text(rng, rng.randrange(300, 3000)))
        put(f"{folder}/{'Readme' if i % 7 == 0 else 'README'}", text(rng, 200) if i % 2 else noise(rng, 200))
        put(f"{folder}/DATA", noise(rng, rng.randrange(100, 1500)))
        put(f"{folder}/changelog.Debian", text(rng, rng.randrange(500, 4000)))
        put(f"{folder}/README.txt", text(rng, 150) if i % 4 else noise(rng, 150))
        put(f"{folder}/NEWS.gz", noise(rng, rng.randrange(50, 800)))
        put(f"{folder}/index.html", text(rng, 1000))
        put(f"{folder}/LICENSE", text(rng, 400))  # served as it is by the rule below
        put(f"{folder}/{'.profile' if i % 10 == 0 else 'notes'}", text(rng, 60) if i % 5 else noise(rng, 60))
        put(f"{folder}/part{i % 4}.dat", noise(rng, 300) if i % 2 else text(rng, 300))
    with open(rules, "w") as f:
        f.write("raw */LICENSE\n")
    return count


def main():
    root = tempfile.mkdtemp(prefix="mkupdate-real-release-")
    try:
        release, game, server, rules = f"{root}/release", f"{root}/game", f"{root}/server", f"{root}/release.rules"
        files = make_release(release, rules)
        output = publish(MKUPDATE, release, server, rules)  # the server folder does not exist yet
        if output is not None:
            expect(f"published {files} entries" in output, f"publish said {output[-300:]!r}")
            with ServedFolder(server) as served:
                prepare_game(game, served.port)
                install(CLI, game, deadline=240)
            compare(release, game)
    finally:
        shutil.rmtree(root)
    return report()


if __name__ == "__main__":
    sys.exit(main())
