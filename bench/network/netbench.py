#!/usr/bin/env python3
"""netbench: the whole `updater-cli --update` run, as a user runs it (process
start, login, server list, listing, comparison, downloads, install, record),
timed against curl and lftp fetching the same files in the same run from FTP
servers this script starts on loopback and stops again.

Scenarios (all by default, or the ones named), with their goals:
  far       pyftpdlib with every reply held 10 ms: 200 and 1,000 files of
            4 KiB; updater-cli (default connections and --connections 1),
            curl over one connection, lftp mirror, lftp mirror --parallel=4
            (updater <= 0.3 x curl, <= 1.0 x lftp --parallel=4)
  loopback  vsftpd: 1,000 files of 4 KiB and one 1 GiB file (<= 1.0 x curl)
  scale     vsftpd: 10,000 files of 4 KiB in one folder against 1,000
            (time <= 11 x), and the system time at 10,000 (<= 1.3 x curl's)
  resume    vsftpd: a 1 GiB download killed at about half, then run again;
            the bytes the second run fetched, from vsftpd's log (<= 55%)
  rate      vsftpd: --max-rate 20480 over 200 MiB; the sustained rate
            (within 5% of the cap), curl --limit-rate beside it
  memory    vsftpd: peak RSS of updater-cli for 10,000 entries and 1 GiB

Every figure is the median of --runs runs (3); the programs take turns
within each run. --quick shrinks the files for a smoke run. A flag that
updater-cli rejects (exit 2), or a second run without REST, shows as "not
available". The update sets are published by mkupdate ("raw *": plain O
entries with their SHA-256) into a temporary folder that is removed at the
end (--dir says where; the full run needs about 3 GiB).
"""
import os
import re
import shutil
import signal
import tempfile
import time
from dataclasses import dataclass

from benchlib import (MIB, SMALL, Bench, BenchError, Figures, FtpServer, count_label, main, run,
                      run_ok, size_label, steady_rate, tail, written_bytes)

HOLD_MS = 10  # the far server's delay before each reply
RATE_CAP_KIB = 20480


# --- vsftpd's log ----------------------------------------------------------

LOG_LINE = re.compile(r'\[pid (\d+)\] (?:\[[^]]*\] )?(?:(OK|FAIL) DOWNLOAD: Client "[^"]*", "([^"]*)", (\d+) bytes, '
                      r'([\d.]+)Kbyte/sec|FTP command: Client "[^"]*", "(\w+)(?: ([^"]*))?")')


def log_events(server, since=0):
    """vsftpd's log from byte offset `since`: ("RETR" | "REST" | "OK" | "FAIL",
    pid, file or argument, bytes, Kbyte/s) in order."""
    try:
        with open(server.log, "rb") as log:
            log.seek(since)
            text = log.read().decode(errors="replace")
    except FileNotFoundError:
        return []
    events = []
    for m in LOG_LINE.finditer(text):
        pid, outcome, file, size, rate, command, argument = m.groups()
        if outcome:
            events.append((outcome, pid, file.lstrip("/"), int(size), float(rate)))
        elif command in ("RETR", "REST"):
            events.append((command, pid, argument or "", 0, 0.0))
    return events


def log_size(server):
    return os.path.getsize(server.log) if os.path.exists(server.log) else 0


def wait_transfers_logged(server, since):
    """vsftpd's log events from `since` (see log_events) once every transfer
    in it has ended: its outcome is logged or its session process is gone
    (a session that sees its client vanish mid-transfer may end without a
    line). Waits up to 10 s."""
    deadline = time.monotonic() + 10
    while True:
        events = log_events(server, since)
        running = {}
        for kind, pid, *_ in events:
            running[pid] = running.get(pid, 0) + (kind == "RETR") - (kind in ("OK", "FAIL"))
        if not any(count > 0 and os.path.exists(f"/proc/{pid}") for pid, count in running.items()):
            return events
        if time.monotonic() > deadline:
            raise BenchError(f"vsftpd did not end a transfer within 10 s: {events}")
        time.sleep(0.02)


class FtpBench(Bench):
    """The benchmark's programs with the FTP peers."""

    def curl(self, server, uset, extra=(), **options):
        """curl fetching update3.dat and every file over one connection."""
        out = tempfile.mkdtemp(dir=self.work, prefix="curl.")
        config = os.path.join(self.work, "curl.cfg")
        with open(config, "w") as file:
            for name in ["update3.dat"] + uset.names:
                file.write(f'url = "ftp://127.0.0.1:{server.port}/{name}"\noutput = "{out}/{name}"\n')
        mode = ["--ftp-port", "127.0.0.1"] if server.active else []
        cost = run_ok(["curl", "--silent", "--show-error", *mode, *extra, "--config", config], self.log, **options)
        self.check([os.path.join(out, name) for name in uset.names], uset.size, "curl")
        shutil.rmtree(out)
        return cost

    def lftp_mirror(self, server, uset, parallel=1):
        out = os.path.join(self.work, "lftp")
        mirror = f"mirror --parallel={parallel}" if parallel > 1 else "mirror"
        script = (f"set net:max-retries 1; set cmd:fail-exit yes; "
                  f"open -u anonymous,bench ftp://127.0.0.1:{server.port}; {mirror} . {out}")
        cost = run_ok(["lftp", "-c", script], self.log)
        self.check([os.path.join(out, name) for name in uset.names], uset.size, "lftp")
        shutil.rmtree(out)
        return cost

# --- scenarios -------------------------------------------------------------

def far(bench, quick):
    for count in ((20, 100) if quick else (200, 1000)):
        uset = bench.update_set(count, SMALL)
        f = Figures(f"far: pyftpdlib (threaded), every reply held {HOLD_MS} ms; {count_label(count)}, "
                    f"medians of {bench.runs} runs")
        with FtpServer(bench.work, uset.folder, "pyftpdlib", hold_ms=HOLD_MS) as server:
            for _ in range(bench.runs):
                f.take("updater-cli --update", lambda: bench.updater(server, uset))
                f.take("updater-cli --update --connections 1",
                       lambda: bench.updater(server, uset, ["--connections", "1"]))
                f.take("curl, one connection", lambda: bench.curl(server, uset))
                f.take("lftp mirror", lambda: bench.lftp_mirror(server, uset))
                f.take("lftp mirror --parallel=4", lambda: bench.lftp_mirror(server, uset, 4))
        f.show_all()
        f.ratio("updater / curl", "updater-cli --update", "curl, one connection", 0.3)
        f.ratio("updater / lftp mirror --parallel=4", "updater-cli --update", "lftp mirror --parallel=4", 1.0)


def loopback(bench, quick):
    small = bench.update_set(100 if quick else 1000, SMALL)
    big = bench.update_set(1, (64 if quick else 1024) * MIB)
    f = Figures(f"loopback: vsftpd; medians of {bench.runs} runs")
    cases = ((count_label(len(small.names)), small), (size_label(big.size), big))
    for case, uset in cases:
        with FtpServer(bench.work, uset.folder, "vsftpd") as server:
            for _ in range(bench.runs):
                f.take(f"{case}: updater-cli --update", lambda: bench.updater(server, uset))
                f.take(f"{case}: curl", lambda: bench.curl(server, uset))
    f.show_all()
    for case, uset in cases:
        f.ratio(f"{case}: updater / curl" + (" (per file)" if uset is small else ""),
                f"{case}: updater-cli --update", f"{case}: curl", 1.0)


def scale(bench, quick):
    counts = (200, 2000) if quick else (1000, 10000)
    f = Figures(f"scale: vsftpd, files of 4 KiB in one folder; medians of {bench.runs} runs")
    for count in counts:
        uset = bench.update_set(count, SMALL)
        with FtpServer(bench.work, uset.folder, "vsftpd") as server:
            for _ in range(bench.runs):
                f.take(f"{count:,}: updater-cli --update", lambda: bench.updater(server, uset))
                f.take(f"{count:,}: curl", lambda: bench.curl(server, uset))
    low, high = counts
    f.show_all()
    f.show(f"{high:,}: updater-cli --update", "sys")
    f.show(f"{high:,}: curl", "sys")
    # Linear with a tenth to spare: 11 for ten times the files.
    f.ratio(f"updater {high:,} / {low:,} (time)", f"{high:,}: updater-cli --update", f"{low:,}: updater-cli --update",
            1.1 * high / low)
    f.ratio(f"curl {high:,} / {low:,} (time, for reference)", f"{high:,}: curl", f"{low:,}: curl")
    f.ratio(f"updater / curl at {high:,} (system time)", f"{high:,}: updater-cli --update", f"{high:,}: curl", 1.3,
            field="sys")


@dataclass
class Resumed:
    killed_at: float  # share of the file the killed run had written
    share: float      # share of the file the second run fetched
    rest: bool        # whether the second run sent REST


def resume_once(bench, server, uset):
    game = bench.game(server)
    name = uset.names[0]
    mark = log_size(server)
    at_kill = []

    def half_way(pid):
        try:
            got = written_bytes(pid)
        except OSError:  # the process is ending
            return False
        if got >= uset.size // 2:
            at_kill.append(got)
        return bool(at_kill)

    code, _ = run([bench.cli, "--dir", game, "--server", "0", "--update"], bench.log, watch=half_way, every=0.001)
    if code != -signal.SIGKILL:
        raise BenchError(f"updater-cli ended ({code}) before it had half the file: {tail(bench.log)}")
    wait_transfers_logged(server, mark)
    mark = log_size(server)
    bench.updater(server, uset, game=game)
    events = wait_transfers_logged(server, mark)
    fetched = sum(e[3] for e in events if e[0] in ("OK", "FAIL") and e[2] == name)
    rest = any(e[0] == "REST" for e in events)
    return Resumed(at_kill[0] / uset.size, fetched / uset.size, rest)


def resume(bench, quick):
    uset = bench.update_set(1, (128 if quick else 1024) * MIB)
    f = Figures(f"resume: vsftpd, {size_label(uset.size)} killed at about half, then run again; "
                f"medians of {bench.runs} runs")
    with FtpServer(bench.work, uset.folder, "vsftpd", transfer_log=True) as server:
        for _ in range(bench.runs):
            f.take("resumed", lambda: resume_once(bench, server, uset))
    f.show("resumed", "killed_at", "%", "share written before SIGKILL")
    f.show("resumed", "share", "%", "share the second run fetched")
    if any(s.rest for s in f.samples["resumed"]):
        f.goal("second run / file", f.median("resumed", "share"), 0.55)
    else:
        print(f"  {'second run / file':<46}{'-':>9}   goal {'<= 0.55':<10} not available: no REST reached the server")


def rate(bench, quick):
    uset = bench.update_set(1, (40 if quick else 200) * MIB)
    f = Figures(f"rate: vsftpd, {size_label(uset.size)} capped at {RATE_CAP_KIB} KiB/s, rate from 5% to 95% "
                f"of the file; medians of {bench.runs} runs")
    with FtpServer(bench.work, uset.folder, "vsftpd") as server:
        for _ in range(bench.runs):
            f.take("updater-cli --update --max-rate", lambda: steady_rate(
                lambda watch: bench.updater(server, uset, ["--max-rate", str(RATE_CAP_KIB)], watch=watch), uset.size))
            f.take("curl --limit-rate", lambda: steady_rate(
                lambda watch: bench.curl(server, uset, ["--limit-rate", f"{RATE_CAP_KIB}K"], watch=watch), uset.size))
    f.show_all(None, "KiB/s")
    for label in ("updater-cli --update --max-rate", "curl --limit-rate"):
        value = f.median(label)
        f.goal(f"{label.split()[0]}: achieved / cap", value / RATE_CAP_KIB if value else None, 0.05, within=True)


def memory(bench, quick):
    many = bench.update_set(1000 if quick else 10000, SMALL)
    big = bench.update_set(1, (128 if quick else 1024) * MIB)
    f = Figures(f"memory: vsftpd, peak RSS; medians of {bench.runs} runs")
    cases = ((f"{len(many.names):,} entries", many), (size_label(big.size), big))
    for case, uset in cases:
        with FtpServer(bench.work, uset.folder, "vsftpd") as server:
            for _ in range(bench.runs):
                f.take(f"{case}: updater-cli --update", lambda: bench.updater(server, uset, rss=True))
                f.take(f"{case}: curl (for reference)", lambda: bench.curl(server, uset, rss=True))
    f.show_all("rss", "MiB")


SCENARIOS = {"far": far, "loopback": loopback, "scale": scale, "resume": resume, "rate": rate, "memory": memory}


if __name__ == "__main__":
    main(__doc__, SCENARIOS, FtpBench, "netbench")
