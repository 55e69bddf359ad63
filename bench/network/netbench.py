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
import argparse
import os
import re
import shutil
import signal
import socket
import statistics
import sys
import tempfile
import time
from dataclasses import dataclass
from pathlib import Path

SMALL = 4096
MIB = 1 << 20
HOLD_MS = 10  # the far server's delay before each reply
RATE_CAP_KIB = 20480


class BenchError(Exception):
    """A program failed or a server would not start: the run is void."""


class NotAvailable(Exception):
    """updater-cli lacks what a measurement needs (a flag, REST)."""


@dataclass
class Cost:
    wall: float   # seconds
    sys: float    # seconds of CPU in the kernel
    rss: int      # peak resident set in KiB, when asked for


# --- processes -------------------------------------------------------------

def spawn(argv, log, own_group=False):
    actions = [(os.POSIX_SPAWN_OPEN, 0, os.devnull, os.O_RDONLY, 0),
               (os.POSIX_SPAWN_OPEN, 1, log, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644),
               (os.POSIX_SPAWN_DUP2, 1, 2)]
    try:
        group = {"setpgroup": 0} if own_group else {}
        return os.posix_spawnp(argv[0], argv, os.environ, file_actions=actions, **group)
    except OSError as error:
        raise BenchError(f"cannot start {argv[0]}: {error}") from error


def run(argv, log, watch=None, every=0.01, rss=False):
    """Runs argv to its end, output into log; returns (exit code, or minus
    the signal, and its Cost). watch(pid), when given, is called every
    `every` seconds while it runs; when it returns True the program gets
    SIGKILL. With rss (not with watch), the peak resident set is measured
    by GNU time: a program spawned from this process is charged this
    process's peak (the spawn shares its memory until exec), one forked by
    time is not."""
    if rss:
        rss_file = log + ".rss"
        argv = ["/usr/bin/time", "--format=%M", f"--output={rss_file}", *argv]
    os.sync()  # each run pays for its own writes only
    start = time.monotonic()
    pid = spawn(argv, log)
    try:
        while True:
            done, status, usage = os.wait4(pid, os.WNOHANG if watch else 0)
            if done:
                break
            if watch(pid):
                os.kill(pid, signal.SIGKILL)
                watch = None
            else:
                time.sleep(every)
    except BaseException:  # interrupted: the program does not outlive the run; re-raised
        os.kill(pid, signal.SIGKILL)
        os.waitpid(pid, 0)
        raise
    # time's output ends in the figure, after a line about a failed program
    cost = Cost(time.monotonic() - start, usage.ru_stime, int(Path(rss_file).read_text().split()[-1]) if rss else None)
    return os.waitstatus_to_exitcode(status), cost


def run_ok(argv, log, **options):
    code, cost = run(argv, log, **options)
    if code != 0:
        raise BenchError(f"{argv[0]} ended with {code}: {tail(log)}")
    return cost


def tail(path, lines=5):
    try:
        return " | ".join(Path(path).read_text(errors="replace").splitlines()[-lines:])
    except OSError:
        return "(no output)"


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def greets(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=1) as connection:
            return connection.recv(3) == b"220"
    except OSError:
        return False


# --- servers ---------------------------------------------------------------

FAR_SERVER = r"""
import logging, sys, time
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import ThreadedFTPServer

root, port, hold = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])

class FarHandler(FTPHandler):
    # Holds every reply (the greeting included) as a distant server's would arrive.
    def respond(self, *args, **kwargs):
        time.sleep(hold)
        super().respond(*args, **kwargs)

authorizer = DummyAuthorizer()
authorizer.add_anonymous(root)
FarHandler.authorizer = authorizer
logging.basicConfig(level=logging.WARNING)
ThreadedFTPServer(("127.0.0.1", port), FarHandler).serve_forever()
"""


class Server:
    """An FTP server on 127.0.0.1 serving one folder read-only, in a process
    group of its own; stopped (with its session processes) on leaving."""

    def __init__(self, work, root, kind, transfer_log=False):
        self.log = os.path.join(work, f"{kind}.log")  # vsftpd's transfer and command log
        # Clients of vsftpd use active mode: passive connections to its
        # random ports stall for a second whenever one meets a port still in
        # TIME_WAIT, which on loopback happens many times in a run.
        self.active = kind == "vsftpd"
        os.chmod(root, 0o755)  # the anonymous session reads it unprivileged
        for _ in range(3):  # a port found free may be taken before the server binds it
            self.port = free_port()
            if kind == "vsftpd":
                argv = ["/usr/sbin/vsftpd", self.vsftpd_config(work, root, transfer_log)]
            else:
                argv = ["/usr/bin/python3", "-c", FAR_SERVER, root, str(self.port), str(HOLD_MS / 1000)]
            self.pid = spawn(argv, os.path.join(work, f"{kind}.out"), own_group=True)
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline:
                if os.waitpid(self.pid, os.WNOHANG)[0]:  # it ended: the port was taken, or worse
                    self.pid = -1
                    break
                if greets(self.port):
                    return
                time.sleep(0.02)
            self.stop()
        raise BenchError(f"{kind} did not start: {tail(os.path.join(work, kind + '.out'))}")

    def vsftpd_config(self, work, root, transfer_log):
        empty = os.path.join(work, "empty")
        os.makedirs(empty, exist_ok=True)
        path = os.path.join(work, "vsftpd.conf")
        Path(path).write_text(
            "listen=YES\nlisten_ipv6=NO\nbackground=NO\n"
            f"listen_address=127.0.0.1\nlisten_port={self.port}\n"
            f"anonymous_enable=YES\nlocal_enable=NO\nwrite_enable=NO\nanon_root={root}\n"
            f"no_anon_password=YES\nsecure_chroot_dir={empty}\n"
            "pasv_enable=YES\nport_enable=YES\nconnect_from_port_20=NO\n"
            # sandboxing that needs privileges a container may not grant
            "seccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\n"
            f"xferlog_enable={'YES' if transfer_log else 'NO'}\nxferlog_std_format=NO\n"
            f"log_ftp_protocol={'YES' if transfer_log else 'NO'}\nvsftpd_log_file={self.log}\n")
        return path

    def stop(self):
        if self.pid <= 0:
            return
        try:
            os.killpg(self.pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
        deadline = time.monotonic() + 5
        while os.waitpid(self.pid, os.WNOHANG) == (0, 0):
            if time.monotonic() > deadline:
                os.killpg(self.pid, signal.SIGKILL)
                os.waitpid(self.pid, 0)
                break
            time.sleep(0.01)
        self.pid = -1

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.stop()


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


# --- update sets, game folders and the programs ----------------------------

@dataclass
class UpdateSet:
    folder: str     # what the server serves: the files and update3.dat
    names: list     # served names; each installs as Data\<name>
    size: int       # bytes of each file

    def installed(self, game):
        return [os.path.join(game, "Data", name) for name in self.names]


class Bench:
    def __init__(self, args, work):
        build = Path(args.build).resolve()
        self.cli = str(build / "src/frontends/cli/updater-cli")
        self.mkupdate = str(build / "tools/mkupdate/mkupdate")
        for program in (self.cli, self.mkupdate):
            if not os.access(program, os.X_OK):
                raise BenchError(f"{program} is missing: build updater-cli and mkupdate first")
        self.runs = args.runs
        self.work = work
        self.log = os.path.join(work, "program.log")
        self.sets = {}

    def update_set(self, count, size):
        """The set of `count` files of `size` bytes, published once per run."""
        if (count, size) in self.sets:
            return self.sets[(count, size)]
        release = os.path.join(self.work, "release")
        os.makedirs(os.path.join(release, "Data"))
        names = [f"f{i:05d}.bin" for i in range(count)]
        block = os.urandom(min(size, MIB))
        for name in names:
            with open(os.path.join(release, "Data", name), "wb") as file:
                if size <= MIB:
                    file.write(os.urandom(size))
                else:
                    for _ in range(size // MIB):
                        file.write(block)
        rules = os.path.join(self.work, "raw.rules")
        Path(rules).write_text("raw *\n")
        folder = os.path.join(self.work, f"set-{count}x{size}")
        run_ok([self.mkupdate, "publish", release, folder, "--rules", rules], self.log)
        shutil.rmtree(release)
        self.sets[(count, size)] = UpdateSet(folder, names, size)
        return self.sets[(count, size)]

    def game(self, server):
        game = tempfile.mkdtemp(dir=self.work, prefix="game.")
        Path(game, "isp0.dat").write_bytes(f"Bench 127.0.0.1 {server.port} 10000 anonymous\r\nend\r\n".encode())
        if server.active:
            Path(game, "FtpConfig.ini").write_bytes(b"[NETWORK]\r\nPASSIVE=0\r\n")
        return game

    def updater(self, server, uset, flags=(), game=None, **options):
        """updater-cli --update into a fresh game folder (or `game`), checked
        and removed again; its Cost. Options as for run()."""
        game = game or self.game(server)
        code, cost = run([self.cli, "--dir", game, "--server", "0", "--update", *flags], self.log, **options)
        if code == 2 and flags:
            raise NotAvailable(f"updater-cli rejects {' '.join(flags)}")
        if code != 0:
            raise BenchError(f"updater-cli ended with {code}: {tail(self.log)}")
        self.check(uset.installed(game), uset.size, "updater-cli")
        shutil.rmtree(game)
        return cost

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

    @staticmethod
    def check(paths, size, who):
        for path in paths:
            if not os.path.isfile(path) or os.path.getsize(path) != size:
                raise BenchError(f"{who} did not fetch {os.path.basename(path)} whole")


# --- figures ---------------------------------------------------------------

class Figures:
    """Samples per label; a label whose measurement is not available keeps
    the reason instead."""

    def __init__(self, title):
        self.samples, self.missing, self.labels = {}, {}, []
        print(f"\n{title}", flush=True)

    def take(self, label, measure):
        if label not in self.labels:
            self.labels.append(label)
        if label in self.missing:
            return
        try:
            sample = measure()
            self.samples.setdefault(label, []).append(sample)
        except NotAvailable as why:
            self.missing[label] = str(why)

    def median(self, label, field=None):
        if label not in self.samples:
            return None
        return statistics.median(getattr(s, field) if field else s for s in self.samples[label])

    def show(self, label, field="wall", unit="s", name=None):
        """The median of `field` of the samples of `label`, shown as `name`
        (default: the label)."""
        name = name or label
        if label in self.missing:
            print(f"  {name:<46}{'-':>9}   not available: {self.missing[label]}")
            return
        value = self.median(label, field)
        text = {"s": f"{value:9.3f} s", "MiB": f"{value / 1024:9.1f} MiB", "%": f"{value * 100:9.1f} %",
                "KiB/s": f"{value:9.0f} KiB/s"}[unit]
        print(f"  {name:<46}{text}" + (f"   ({field})" if field == "sys" else ""))

    def show_all(self, field="wall", unit="s"):
        for label in self.labels:
            self.show(label, field, unit)

    def goal(self, label, value, limit, within=False):
        goal = f"within {limit:.0%}" if within else f"<= {limit}"
        if value is None:
            print(f"  {label:<46}{'-':>9}   goal {goal:<10} not available", flush=True)
            return
        met = abs(value - 1) <= limit if within else value <= limit
        print(f"  {label:<46}{value:9.2f}   goal {goal:<10} {'met' if met else 'MISSED'}", flush=True)

    def ratio(self, label, top, bottom, limit=None, field="wall"):
        """top / bottom; without a limit it is shown for reference only."""
        a, b = self.median(top, field), self.median(bottom, field)
        value = a / b if a is not None and b else None
        if limit is None:
            print(f"  {label:<46}" + (f"{value:9.2f}" if value is not None else f"{'-':>9}"))
        else:
            self.goal(label, value, limit)


def count_label(count):
    return f"{count:,} x 4 KiB"


def size_label(size):
    return f"{size // (1 << 30)} GiB" if size >= 1 << 30 else f"{size // MIB} MiB"


# --- scenarios -------------------------------------------------------------

def far(bench, quick):
    for count in ((20, 100) if quick else (200, 1000)):
        uset = bench.update_set(count, SMALL)
        f = Figures(f"far: pyftpdlib (threaded), every reply held {HOLD_MS} ms; {count_label(count)}, "
                    f"medians of {bench.runs} runs")
        with Server(bench.work, uset.folder, "pyftpdlib") as server:
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
        with Server(bench.work, uset.folder, "vsftpd") as server:
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
        with Server(bench.work, uset.folder, "vsftpd") as server:
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


def written_bytes(pid):
    """Bytes the process (all its threads) has handed to write() so far."""
    with open(f"/proc/{pid}/io") as io:
        return int(re.search(r"^wchar: (\d+)", io.read(), re.M).group(1))


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
    with Server(bench.work, uset.folder, "vsftpd", transfer_log=True) as server:
        for _ in range(bench.runs):
            f.take("resumed", lambda: resume_once(bench, server, uset))
    f.show("resumed", "killed_at", "%", "share written before SIGKILL")
    f.show("resumed", "share", "%", "share the second run fetched")
    if any(s.rest for s in f.samples["resumed"]):
        f.goal("second run / file", f.median("resumed", "share"), 0.55)
    else:
        print(f"  {'second run / file':<46}{'-':>9}   goal {'<= 0.55':<10} not available: no REST reached the server")


def steady_rate(fetch, size):
    """KiB/s a fetch wrote between 5% and 95% of a file of `size` bytes,
    sampled from /proc every 10 ms: the sustained rate, without the start
    and the install."""
    samples = []

    def sample(pid):
        try:
            samples.append((time.monotonic(), written_bytes(pid)))
        except OSError:  # the process is ending
            pass
        return False

    fetch(sample)
    try:
        t0, w0 = next(s for s in samples if s[1] >= size * 0.05)
        t1, w1 = next(s for s in samples if s[1] >= size * 0.95)
    except StopIteration:
        raise BenchError("the file was written too fast to be sampled") from None
    return (w1 - w0) / (t1 - t0) / 1024


def rate(bench, quick):
    uset = bench.update_set(1, (40 if quick else 200) * MIB)
    f = Figures(f"rate: vsftpd, {size_label(uset.size)} capped at {RATE_CAP_KIB} KiB/s, rate from 5% to 95% "
                f"of the file; medians of {bench.runs} runs")
    with Server(bench.work, uset.folder, "vsftpd") as server:
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
        with Server(bench.work, uset.folder, "vsftpd") as server:
            for _ in range(bench.runs):
                f.take(f"{case}: updater-cli --update", lambda: bench.updater(server, uset, rss=True))
                f.take(f"{case}: curl (for reference)", lambda: bench.curl(server, uset, rss=True))
    f.show_all("rss", "MiB")


SCENARIOS = {"far": far, "loopback": loopback, "scale": scale, "resume": resume, "rate": rate, "memory": memory}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("scenarios", nargs="*", metavar="SCENARIO",
                        help=f"any of {', '.join(SCENARIOS)} (default: all)")
    parser.add_argument("--quick", action="store_true", help="fewer and smaller files: a smoke run")
    parser.add_argument("--runs", type=int, default=3, help="runs per figure (default 3)")
    parser.add_argument("--build", default=str(Path(__file__).resolve().parents[2] / "build"),
                        help="the build folder with updater-cli and mkupdate (default: build/ of this checkout)")
    parser.add_argument("--dir", default=None, help="where the temporary folder goes (default: the system's)")
    args = parser.parse_args()
    for name in args.scenarios:
        if name not in SCENARIOS:
            parser.error(f"unknown scenario {name} (choose from {', '.join(SCENARIOS)})")
    # A SIGTERM ends the run through the same clean-up as an error.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    try:
        with tempfile.TemporaryDirectory(prefix="netbench.", dir=args.dir) as work:
            bench = Bench(args, work)
            for name in args.scenarios or SCENARIOS:
                SCENARIOS[name](bench, args.quick)
    except BenchError as error:
        sys.exit(f"netbench: {error}")


if __name__ == "__main__":
    main()
