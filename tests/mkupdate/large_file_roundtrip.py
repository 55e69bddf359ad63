#!/usr/bin/python3
"""A file of 5 GiB, past 31 and 32 bits, through the whole chain: published
by mkupdate as an "O" entry (served as it is), served by pyftpdlib on
loopback, installed by updater-cli, then once more from a download cut off
past 4 GiB that the next run continues, and finally verified by --verify and
repaired after one byte past 4 GiB was changed. Then the same install and
continuation over http from nginx, which continues with a range request. The release file is sparse;
the server's and the game's copies are real bytes, so the test needs about
11 GiB free and exits with 77 (skipped) without them.
Usage: large_file_roundtrip.py <mkupdate> <updater-cli>"""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from roundtrip_support import ServedFolder, ServedWebFolder, expect, prepare_game, publish, report, run

MKUPDATE, CLI = sys.argv[1], sys.argv[2]
SIZE = 5 << 30
NAME = "Data/Big.pak"
# Bytes at the edges where 32-bit offsets and counts go wrong; zeros elsewhere.
MARKS = {0: b"first bytes", (1 << 31) - 4: b"across 2^31", (1 << 32) - 5: b"across 2^32", SIZE - 9: b"last ones"}
CUT_AFTER = (1 << 32) + (64 << 20)  # the cut-off run is killed once this much has arrived
SKIPPED = 77


def make_sparse(path):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.truncate(SIZE)
        for offset, data in MARKS.items():
            f.seek(offset)
            f.write(data)


def marks_of(path):
    with open(path, "rb") as f:
        found = {}
        for offset, data in MARKS.items():
            f.seek(offset)
            found[offset] = f.read(len(data))
        return found


def cli(game, *args, deadline=900):
    return run("updater-cli " + " ".join(args), [CLI, "--dir", game, "--server", "0", *args], deadline,
               env=dict(os.environ, LANG="C"))


def partial_download(game):
    """The partial file of the download in progress (its name ends in the updater's temporary suffix), or None."""
    folder = os.path.join(game, os.path.dirname(NAME))
    if not os.path.isdir(folder):
        return None
    for name in os.listdir(folder):
        if name.lower().startswith("big.pak") and name != "Big.pak":
            return os.path.join(folder, name)
    return None


def cut_off_install(game):
    """Starts an install and kills it once CUT_AFTER bytes have arrived; the partial's size, or None."""
    process = subprocess.Popen([CLI, "--dir", game, "--server", "0", "--update"], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, env=dict(os.environ, LANG="C"))
    deadline = time.monotonic() + 600
    try:
        while process.poll() is None and time.monotonic() < deadline:
            partial = partial_download(game)
            if partial and os.path.getsize(partial) >= CUT_AFTER:
                process.send_signal(signal.SIGKILL)
                process.wait()
                return os.path.getsize(partial)
            time.sleep(0.005)
        expect(False, f"the install ended ({process.poll()}) before {CUT_AFTER} bytes had arrived")
        return None
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()


def sent_bytes(log):
    """The byte counts of the whole downloads pyftpdlib logged of more than 1 MiB, in order."""
    with open(log, errors="replace") as f:
        counts = [int(n) for n in re.findall(r"RETR \S+ completed=1 bytes=(\d+)", f.read())]
    return [n for n in counts if n > 1 << 20]


def last_range_sent(web, remote):
    """The body bytes of the last response to a GET of remote, if it was a 206; else what the responses were."""
    answers = [(status, sent) for method, status, sent, path in web.requests() if method == "GET" and path == "/" + remote]
    return answers[-1][1] if answers and answers[-1][0] == 206 else f"responses {answers}"


def cut_and_continue(game, continuation_sent):
    """Installs through a run killed past 4 GiB and the run that continues
    it; continuation_sent() tells the bytes the server sent the second run."""
    cut = cut_off_install(game)
    if cut is None:
        return
    expect(CUT_AFTER <= cut < SIZE, f"the cut-off run left {cut} bytes")
    expect(not os.path.exists(f"{game}/{NAME}"), "a cut-off download was installed")
    result = cli(game, "--update")
    expect(result is not None and result.returncode == 0,
           f"the continuing run: {result and (result.returncode, result.stdout, result.stderr)!r}")
    sent = continuation_sent()
    expect(sent == SIZE - cut, f"the continuing run fetched {sent!r} bytes, not the {SIZE - cut} left after {cut}")


def expect_installed(game):
    """The file installed whole and recorded; whether it is there."""
    installed = f"{game}/{NAME}"
    expect(os.path.exists(installed) and os.path.getsize(installed) == SIZE,
           f"installed size {os.path.exists(installed) and os.path.getsize(installed)}")
    if not os.path.exists(installed):
        return False
    expect(marks_of(installed) == MARKS, f"the bytes at the edges: {marks_of(installed)!r}")
    expect(partial_download(game) is None, "a partial download was left in the game folder")
    with open(f"{game}/update2.dat", "rb") as f:
        expect(b"Data\\Big.pak " in f.read(), "the install was not recorded")
    return True


def main():
    root = tempfile.mkdtemp(prefix="mkupdate-large-file-")
    try:
        if shutil.disk_usage(root).free < 2 * SIZE + (1 << 30):
            print(f"skipped: {root} has less than {2 * SIZE + (1 << 30)} bytes free")
            return SKIPPED
        release, game, server, rules = f"{root}/release", f"{root}/game", f"{root}/server", f"{root}/release.rules"
        make_sparse(f"{release}/{NAME}")
        with open(rules, "w") as f:
            f.write("raw *.pak\n")
        if publish(MKUPDATE, release, server, rules, deadline=900) is None:
            return report()
        with open(f"{server}/update3.dat", "rb") as f:
            line = [l for l in f.read().decode().split("\r\n") if "Big.pak" in l]
        expect(len(line) == 1 and line[0].split()[0] == "O" and line[0].split()[4] == str(SIZE),
               f"the list's line of the file: {line!r}")
        log = f"{root}/ftp.log"
        with ServedFolder(server, log=log) as served:
            prepare_game(game, served.port)
            cut_and_continue(game, lambda: (sent_bytes(log) or [None])[-1])
            installed = f"{game}/{NAME}"
            if expect_installed(game):
                result = cli(game, "--verify")
                expect(result is not None and result.returncode == 0 and
                       b"verify: 1 files checked, 0 repaired, 0 not repaired" in result.stdout,
                       f"--verify of the installed file: {result and (result.returncode, result.stdout)!r}")
                with open(installed, "r+b") as f:  # one byte past 4 GiB changed, the size kept
                    f.seek((1 << 32) + 7)
                    f.write(b"\x01")
                result = cli(game, "--verify")
                expect(result is not None and result.returncode == 0 and b"repaired: Data\\Big.pak" in result.stdout,
                       f"--verify of the changed file: {result and (result.returncode, result.stdout, result.stderr)!r}")
                with open(installed, "rb") as f:
                    f.seek((1 << 32) + 7)
                    expect(f.read(1) == b"\x00", "the changed byte was not repaired")
        # The same over http: nothing installed yet, and a range request continues the cut-off download.
        for name in (NAME, "update2.dat"):
            if os.path.exists(f"{game}/{name}"):
                os.remove(f"{game}/{name}")
        with ServedWebFolder(server, f"{root}/nginx") as web:
            prepare_game(game, url=web.url)
            cut_and_continue(game, lambda: last_range_sent(web, line[0].split()[1]))
            expect_installed(game)
    finally:
        shutil.rmtree(root)
    return report()


if __name__ == "__main__":
    sys.exit(main())
