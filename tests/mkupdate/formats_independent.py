#!/usr/bin/python3
"""Reads what mkupdate writes with tools that share nothing with the project:
gzip -t for the compressed files, Python's struct for the bundle trailer and
the reference list, hashlib for the digests, minisign for keys and
signatures. Also checks refusals of long names and of secret keys in the
folders that are served, and that `check` reports each kind of damage.
Usage: formats_independent.py <mkupdate>"""
import base64
import gzip
import hashlib
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import time

from roundtrip_support import read, write

MKUPDATE = sys.argv[1]
failures = []


def expect(condition, what):
    if not condition:
        failures.append(what)


def run(*args):
    return subprocess.run([MKUPDATE, *args], capture_output=True)


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
    os.chmod(f"{game}/Help/Readme.txt", 0o755)  # an "O" entry flagged executable
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


def sha256(data):
    return hashlib.sha256(data).hexdigest().encode()


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
        # Digests follow the fields every updater reads: the served file's, then the installed file's.
        digests = e[6:] if kind in b"TASW" else e[5:]
        if kind in b"EO":
            # The installed size (the bound of the updater's unpack) and the mode flag follow the digests.
            expect(int(digests[-2]) == os.path.getsize(files[local.decode()]), f"installed size of {local}")
            flag = b"x" if os.access(files[local.decode()], os.X_OK) else b"-"
            expect(digests[-1] == flag, f"mode flag of {local}: {digests[-1]!r}")
            digests = digests[:-2]
        expect(digests[0] == sha256(read(path)), f"served digest of {local}")
        expect(len(digests) == (2 if kind in b"EO" else 1), f"digest fields of {local}: {e}")
        if kind == b"O":
            expect(read(path) == read(files[local.decode()]), f"O entry {local} differs")
            expect(digests[1] == digests[0], f"installed digest of {local}")
            installed.add(local.decode())
            continue
        gz = subprocess.run(["gzip", "-t", path], capture_output=True)
        expect(gz.returncode == 0, f"gzip -t {remote}: {gz.stderr!r}")
        data = gzip.decompress(read(path))
        if kind == b"E":
            expect(remote.endswith(b".GZP"), f"E entry {remote} is not a .GZP")
            expect(data == read(files[local.decode()]), f"E entry {local} differs")
            expect(digests[1] == sha256(data), f"installed digest of {local}")
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
        f.write(b"!")                                                       # size differs, and so the digest
    swapped = f"{broken}/{fields(by_kind[b'O'][1])[1].decode()}"
    write(swapped, read(swapped).upper())                                  # same size, other bytes
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
        f[-1] = sha256(packed)                                              # the list follows the new files
        if i == t:
            f[3] = f[3][:8]                                                 # narrower version
        lines[i] = b" ".join(f)
    lines.insert(len(lines) - 1, lines[by_kind[b"O"][-1]])                  # local name twice
    lines[by_kind[b"O"][1]] = b" ".join(fields(by_kind[b"O"][1])[:-1] + [b"s"])  # unknown mode flag
    write(f"{broken}/update3.dat", b"\r\n".join(lines))
    result = run("check", broken)
    out = result.stdout.decode(errors="replace")
    expect(result.returncode == 1, f"check of a broken set returned {result.returncode}")
    for what in ["is missing", "the list says", "damaged gzip data", "member count 101",
                 "is not inside the member data", "characters wide", "already listed on line",
                 "mode flag \"s\" (field 9) is neither",
                 "Help\\Readme.txt (Readme.txt): the SHA-256 of the served file (field 6) differs"]:
        expect(what in out, f"check did not report '{what}':\n{out}")
    # One line per problem; the file grown by a byte has two (its size and its digest).
    expect(len(out.strip().split("\n")) == 10, f"expected one line per problem:\n{out}")


def minisign(*args):
    return subprocess.run(["minisign", *args], capture_output=True, stdin=subprocess.DEVNULL)


def trusted_fields(signature_path):
    """(timestamp, file, expires) of a signature made by mkupdate."""
    comment = read(signature_path).split(b"\n")[2]
    fields = dict(field.split(b":", 1) for field in comment[len(b"trusted comment: "):].split(b"\t"))
    return int(fields[b"timestamp"]), fields[b"file"].decode(), int(fields[b"expires"])


def check_signing(root, game, server):
    keys, rules = f"{root}/keys", f"{root}/rules"
    result = run("keygen", keys)
    expect(result.returncode == 0, f"keygen: {result.stderr!r}")
    expect(os.stat(f"{keys}/update.key").st_mode & 0o077 == 0, "the secret key is readable by others")
    secret = read(f"{keys}/update.key")
    result = run("keygen", keys)
    expect(result.returncode != 0 and b"exists already" in result.stderr, f"keygen overwrote: {result!r}")
    expect(read(f"{keys}/update.key") == secret, "keygen changed an existing key")

    write(f"{server}/bulletin.htm", b"<p>news</p>\n")
    result = run("publish", game, server, "--rules", rules, "--sign", f"{keys}/update.key", "--expires", "7")
    expect(result.returncode == 0, f"publish --sign: {result.stderr!r}")
    for name in ("update3.dat", "bulletin.htm"):
        verified = minisign("-V", "-p", f"{keys}/update.pub", "-m", f"{server}/{name}")
        expect(verified.returncode == 0, f"minisign -V {name}: {verified.stdout!r} {verified.stderr!r}")
        timestamp, file, expires = trusted_fields(f"{server}/{name}.minisig")
        expect(abs(timestamp - time.time()) < 600 and expires - timestamp == 7 * 86400 and file == name,
               f"trusted comment of {name}: {timestamp} {file} {expires}")
    result = run("check", server, "--key", f"{keys}/update.pub")
    expect(result.returncode == 0 and b"signed by key" in result.stdout, f"check --key: {result.stdout!r}")

    # A set signed by minisign itself, with its own trusted comment.
    minisign("-G", "-W", "-p", f"{root}/tool.pub", "-s", f"{root}/tool.key")
    for name in ("update3.dat", "bulletin.htm"):
        made = minisign("-S", "-s", f"{root}/tool.key", "-m", f"{server}/{name}")
        expect(made.returncode == 0, f"minisign -S {name}: {made.stderr!r}")
    result = run("check", server, "--key", f"{root}/tool.pub")
    expect(result.returncode == 0 and b"with no expiry" in result.stdout, f"check of minisign's: {result.stdout!r}")
    result = run("check", server, "--key", f"{keys}/update.pub")
    expect(result.returncode == 1 and result.stdout.count(b"key id differs") == 2, f"another key: {result.stdout!r}")
    signed_list = {name: read(f"{server}/{name}") for name in ("update3.dat", "update3.dat.minisig")}
    for name in ("update3.dat", "update3.dat.minisig"):
        shutil.copy(f"{server}/{name.replace('update3.dat', 'bulletin.htm')}", f"{server}/{name}")
    result = run("check", server, "--key", f"{root}/tool.pub")
    expect(result.returncode == 1 and
           b'update3.dat.minisig: the signature was made for "bulletin.htm", not for update3.dat' in result.stdout,
           f"the bulletin and its signature as the list: {result.stdout!r}")
    for name, content in signed_list.items():
        write(f"{server}/{name}", content)
    with open(f"{server}/update3.dat", "ab") as f:
        f.write(b"O Readme.txt Readme.txt 9999999999 9\r\n")
    result = run("check", server, "--key", f"{root}/tool.pub")
    expect(b"update3.dat.minisig: the signature does not match the file" in result.stdout,
           f"a list edited after signing: {result.stdout!r}")

    # Keys that must not be used, refused before anything is written.
    listing = sorted(os.listdir(server))
    shutil.copy(f"{keys}/update.key", f"{server}/update.key")
    os.symlink(f"{server}/update.key", f"{root}/linked.key")
    shutil.copy(f"{keys}/update.key", f"{game}/update.key")
    locked = read(f"{keys}/update.key").split(b"\n")
    packed = bytearray(base64.b64decode(locked[1]))
    packed[2:4] = b"Sc"
    write(f"{root}/locked.key", locked[0] + b"\n" + base64.b64encode(bytes(packed)) + b"\n")
    for args, reason in [(["sign", server, "--key", f"{server}/update.key"], b"inside the server folder"),
                         (["sign", server, "--key", f"{root}/linked.key"], b"inside the server folder"),
                         (["publish", game, server, "--sign", f"{game}/update.key"], b"inside the game folder"),
                         (["sign", server, "--key", f"{root}/locked.key"], b"minisign -G -W")]:
        result = run(*args)
        expect(result.returncode != 0 and reason in result.stderr, f"{args[0]} with {args[-1]}: {result!r}")
    os.remove(f"{server}/update.key")
    os.remove(f"{game}/update.key")
    expect(sorted(os.listdir(server)) == listing, "a refused key changed the server folder")


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
        check_signing(root, game, server)
    finally:
        shutil.rmtree(root)
    for failure in failures:
        print("FAIL:", failure)
    print(f"{len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
