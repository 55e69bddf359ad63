#!/usr/bin/python3
"""Reads what mkupdate writes with tools that share nothing with the project:
gzip -t for the compressed files, Python's struct for the bundle trailer and
the reference list. Also checks refusals of long names and that `check`
reports each kind of damage. Usage: formats_independent.py <mkupdate>"""
import gzip
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import time

MKUPDATE = sys.argv[1]
failures = []


def expect(condition, what):
    if not condition:
        failures.append(what)


def run(*args):
    return subprocess.run([MKUPDATE, *args], capture_output=True)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def make_release(game):
    rng = random.Random(5)
    words = [b"tree", b"rock", b"water", b"castle", b"sword", b"quest"]
    write(f"{game}/System/Core.u", b" ".join(rng.choice(words) for _ in range(60000)))
    write(f"{game}/System/Core.int", b"[Core]\r\nName=Core\r\n" * 200)
    write(f"{game}/Help/Readme.txt", b"read me\r\n")
    write(f"{game}/Music/song.ogg", bytes(rng.getrandbits(8) for _ in range(20000)))
    write(f"{game}/Trees/bark.bmp", b"BM" + b"\x10\x20" * 5000)
    write(f"{game}/Trees/leaf.bmp", b"BM" + b"\x30" * 7000)
    write(f"{game}/Maps/a.map", b"map" * 3000)
    write(f"{game}/Empty.dat", b"")
    with open(f"{game}/../rules", "w") as f:
        f.write("# test rules\nT Trees.bnd Trees Trees/*.bmp\nC Maps.bnd - Maps/*\nraw *.ogg\n")


def release_files(game):
    found = {}
    for folder, _, names in os.walk(game):
        for name in names:
            path = os.path.join(folder, name)
            found[os.path.relpath(path, game).replace("/", "\\")] = path
    return found


def check_datec(game):
    result = run("datec", game)
    expect(result.returncode == 0, f"datec failed: {result.stderr!r}")
    data = read(f"{game}/datec.dat")
    expect(len(data) % 84 == 0, "datec.dat is not whole 84-byte records")
    count = struct.unpack_from("<i", data, len(data) - 84 + 80)[0]
    expect(count == len(data) // 84, f"trailer count {count} for {len(data) // 84} records")
    files = {k: v for k, v in release_files(game).items() if k != "datec.dat"}
    seen = {}
    for i in range(count - 1):
        record = data[i * 84:(i + 1) * 84]
        name = record[1:1 + record[0]]
        folder = record[32:32 + record[31]]
        when, size = struct.unpack_from("<di", record, 72)
        seen[(folder + name).decode()] = (when, size)
    expect(sorted(seen) == sorted(files), f"datec names {sorted(seen)} != release {sorted(files)}")
    for name, (when, size) in seen.items():
        path = files.get(name)
        if not path:
            continue
        expect(size == os.path.getsize(path), f"datec size of {name}")
        mtime = os.path.getmtime(path)
        local = mtime + time.localtime(mtime).tm_gmtoff
        expected = 25569 + (int(local) - int(local) % 2) / 86400
        expect(abs(when - expected) < 1e-6, f"datec time of {name}: {when} != {expected}")


def check_published(game, server):
    lines = read(f"{server}/update3.dat").split(b"\r\n")
    expect(lines[-1] == b"", "update3.dat does not end in CR LF")
    entries = [line.split() for line in lines[1:-1]]
    files = release_files(game)
    expect(len(entries) == 8, f"{len(entries)} entries, expected 8 (6 files and 2 bundles)")
    versions = {e[3] for e in entries}
    expect(len({len(v) for v in versions}) == 1, "versions of several widths")
    installed = set()
    for e in entries:
        kind, remote, local, version, size = e[:5]
        path = f"{server}/{remote.decode()}"
        expect(os.path.getsize(path) == int(size), f"size field of {local}")
        if kind == b"O":
            expect(read(path) == read(files[local.decode()]), f"O entry {local} differs")
            installed.add(local.decode())
            continue
        gz = subprocess.run(["gzip", "-t", path], capture_output=True)
        expect(gz.returncode == 0, f"gzip -t {remote}: {gz.stderr!r}")
        data = gzip.decompress(read(path))
        if kind == b"E":
            expect(remote.endswith(b".GZP"), f"E entry {remote} is not a .GZP")
            expect(data == read(files[local.decode()]), f"E entry {local} differs")
            installed.add(local.decode())
            continue
        trailer = data[-8989:]
        count = struct.unpack_from("<i", trailer, 0)[0]
        expect(1 <= count <= 100, f"bundle {remote} count {count}")
        for k in range(1, count + 1):
            start, end, length = struct.unpack_from("<iiB", trailer, k * 89)
            name = trailer[k * 89 + 9:k * 89 + 9 + length].decode()
            expect(0 <= start <= end <= len(data) - 8989, f"member {name} range")
            expect(data[start:end] == read(files[name]), f"bundle member {name} differs")
            installed.add(name)
        if kind == b"T":
            expect(e[5] == b"Trees" and remote.split(b".")[0] == b"Trees", f"T entry {e}")
    expect(installed == set(files), f"installed {sorted(installed)} != release {sorted(files)}")


def check_refusals(root):
    long_name = "n" * 31 + ".txt"
    write(f"{root}/long/ok/{long_name}", b"x")
    result = run("datec", f"{root}/long")
    expect(result.returncode != 0 and long_name.encode() in result.stderr, f"long name not refused: {result!r}")
    expect(not os.path.exists(f"{root}/long/datec.dat"), "datec.dat written despite a refused name")
    shutil.rmtree(f"{root}/long")
    folder = "f" * 40
    write(f"{root}/deep/{folder}/a.txt", b"x")
    result = run("datec", f"{root}/deep")
    expect(result.returncode != 0 and folder.encode() in result.stderr, f"long folder not refused: {result!r}")
    write(f"{root}/spaced/My File.txt", b"x")
    os.makedirs(f"{root}/spaced-server")
    result = run("publish", f"{root}/spaced", f"{root}/spaced-server")
    expect(result.returncode != 0 and b"My File.txt" in result.stderr, "name with a space not refused")
    expect(not os.path.exists(f"{root}/spaced-server/update3.dat"), "update3.dat written despite a refusal")


def check_problems(server, root):
    broken = f"{root}/broken"
    shutil.copytree(server, broken)
    lines = read(f"{broken}/update3.dat").split(b"\r\n")
    by_kind = {}
    for i, line in enumerate(lines[1:-1], start=1):
        by_kind.setdefault(line.split()[0], []).append(i)
    fields = lambda i: lines[i].split()
    e1, e2 = by_kind[b"E"][0], by_kind[b"E"][1]
    os.remove(f"{broken}/{fields(e1)[1].decode()}")                       # missing file
    with open(f"{broken}/{fields(by_kind[b'O'][0])[1].decode()}", "ab") as f:
        f.write(b"!")                                                       # size differs
    gz_path = f"{broken}/{fields(e2)[1].decode()}"
    damaged = bytearray(read(gz_path))
    damaged[len(damaged) // 2] ^= 0xFF
    write(gz_path, bytes(damaged))                                          # damaged gzip
    c = by_kind[b"C"][0]
    bundle = bytearray(gzip.decompress(read(f"{broken}/{fields(c)[1].decode()}")))
    struct.pack_into("<i", bundle, len(bundle) - 8989, 101)                 # bad count
    t = by_kind[b"T"][0]
    tree = bytearray(gzip.decompress(read(f"{broken}/{fields(t)[1].decode()}")))
    struct.pack_into("<i", tree, len(tree) - 8989 + 89 + 4, len(tree))      # member past the data
    for i, data in ((c, bundle), (t, tree)):
        packed = gzip.compress(bytes(data))
        write(f"{broken}/{fields(i)[1].decode()}", packed)
        f = fields(i)
        f[4] = str(len(packed)).encode()
        if i == t:
            f[3] = f[3][:8]                                                 # narrower version
        lines[i] = b" ".join(f)
    lines.insert(len(lines) - 1, lines[by_kind[b"O"][-1]])                  # local name twice
    write(f"{broken}/update3.dat", b"\r\n".join(lines))
    result = run("check", broken)
    out = result.stdout.decode(errors="replace")
    expect(result.returncode == 1, f"check of a broken set returned {result.returncode}")
    for what in ["is missing", "the list says", "damaged gzip data", "member count 101",
                 "is not inside the member data", "characters wide", "already listed on line"]:
        expect(what in out, f"check did not report '{what}':\n{out}")
    expect(len(out.strip().split("\n")) == 7, f"expected one line per problem:\n{out}")


def main():
    root = tempfile.mkdtemp(prefix="mkupdate-formats-")
    try:
        game, server = f"{root}/game", f"{root}/server"
        make_release(game)
        os.makedirs(server)
        check_datec(game)
        result = run("publish", game, server, "--rules", f"{root}/rules")
        expect(result.returncode == 0, f"publish failed: {result.stderr!r}")
        check_published(game, server)
        result = run("check", server)
        expect(result.returncode == 0, f"check of a fresh set: {result.stdout!r}")
        result = run("inspect", f"{server}/Trees.bnd.gz")
        expect(b"Trees\\bark.bmp" in result.stdout and result.returncode == 0, f"inspect: {result.stdout!r}")
        check_refusals(root)
        check_problems(server, root)
    finally:
        shutil.rmtree(root)
    for failure in failures:
        print("FAIL:", failure)
    print(f"{len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
