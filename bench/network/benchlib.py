"""What the network benchmarks share: running programs (with GNU time for
the peak resident set), servers in process groups of their own that are
stopped again, update sets published by mkupdate, game folders, medians
and goals, and the command line they all take."""
import argparse
import os
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


class BenchError(Exception):
    """A program failed or a server would not start: the run is void."""


class NotAvailable(Exception):
    """updater-cli lacks what a measurement needs (a flag, a protocol, REST)."""


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


def accepts(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=1):
            return True
    except OSError:
        return False


def written_bytes(pid):
    """Bytes the process (all its threads) has handed to write() so far."""
    with open(f"/proc/{pid}/io") as io:
        for line in io:
            if line.startswith("wchar:"):
                return int(line.split()[1])
    raise OSError("no wchar in /proc/PID/io")


def steady_rate(fetch, size):
    """KiB/s a fetch wrote between 5% and 95% of a file of `size` bytes,
    sampled from /proc every 10 ms: the sustained rate, without the start
    and the install. fetch(watch) runs the program with run()'s watch."""
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


# --- servers ---------------------------------------------------------------

class Service:
    """A server on a free port of 127.0.0.1, in a process group of its own
    so that its helper processes go with it; stopped on leaving. argv(port)
    is its command line, ready(port) says when it serves."""

    def __init__(self, work, name, argv, ready=accepts):
        self.pid = -1
        out = os.path.join(work, f"{name}.out")
        try:
            for _ in range(3):  # a port found free may be taken before the server binds it
                self.port = free_port()
                self.pid = spawn(argv(self.port), out, own_group=True)
                deadline = time.monotonic() + 10
                while time.monotonic() < deadline:
                    if os.waitpid(self.pid, os.WNOHANG)[0]:  # it ended: the port was taken, or worse
                        self.pid = -1
                        break
                    if ready(self.port):
                        return
                    time.sleep(0.02)
                self.stop()
        except BaseException:  # interrupted while it starts: it does not outlive the run; re-raised
            self.stop()
            raise
        raise BenchError(f"{name} did not start: {tail(out)}")

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


def greets(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=1) as connection:
            return connection.recv(3) == b"220"
    except OSError:
        return False


class FtpServer(Service):
    """An FTP server serving one folder read-only: vsftpd, or pyftpdlib
    holding each reply `hold_ms` as a far server's (kind "pyftpdlib")."""

    def __init__(self, work, root, kind, transfer_log=False, hold_ms=10):
        self.log = os.path.join(work, f"{kind}.log")  # vsftpd's transfer and command log
        # Clients of vsftpd use active mode: passive connections to its
        # random ports stall for a second whenever one meets a port still in
        # TIME_WAIT, which on loopback happens many times in a run.
        self.active = kind == "vsftpd"
        os.chmod(root, 0o755)  # the anonymous session reads it unprivileged
        if kind == "vsftpd":
            def argv(port):
                return ["/usr/sbin/vsftpd", self.vsftpd_config(work, root, port, transfer_log)]
        else:
            def argv(port):
                return ["/usr/bin/python3", "-c", FAR_SERVER, root, str(port), str(hold_ms / 1000)]
        super().__init__(work, kind, argv, greets)

    def vsftpd_config(self, work, root, port, transfer_log):
        empty = os.path.join(work, "empty")
        os.makedirs(empty, exist_ok=True)
        path = os.path.join(work, "vsftpd.conf")
        Path(path).write_text(
            "listen=YES\nlisten_ipv6=NO\nbackground=NO\n"
            f"listen_address=127.0.0.1\nlisten_port={port}\n"
            f"anonymous_enable=YES\nlocal_enable=NO\nwrite_enable=NO\nanon_root={root}\n"
            f"no_anon_password=YES\nsecure_chroot_dir={empty}\n"
            "pasv_enable=YES\nport_enable=YES\nconnect_from_port_20=NO\n"
            # sandboxing that needs privileges a container may not grant
            "seccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\n"
            f"xferlog_enable={'YES' if transfer_log else 'NO'}\nxferlog_std_format=NO\n"
            f"log_ftp_protocol={'YES' if transfer_log else 'NO'}\nvsftpd_log_file={self.log}\n")
        return path

    def server_line(self):
        return f"Bench 127.0.0.1 {self.port} 10000 anonymous"

    def settings(self):
        return ["PASSIVE=0"] if self.active else []

    def game_files(self):
        return []


# --- update sets, game folders and the updater -----------------------------

@dataclass
class UpdateSet:
    folder: str     # what the server serves: the files and update3.dat
    names: list     # served names; each installs as Data\<name>
    size: int       # bytes of each file

    def installed(self, game):
        return [os.path.join(game, "Data", name) for name in self.names]


class Bench:
    """The programs under test and the work folder of one benchmark run.
    A server handed to game() and updater() names itself: server_line(),
    settings() (lines of [NETWORK]) and game_files() (copied beside)."""

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
        Path(game, "isp0.dat").write_bytes(f"{server.server_line()}\r\nend\r\n".encode())
        settings = server.settings()
        if settings:
            Path(game, "FtpConfig.ini").write_bytes("".join(f"{s}\r\n" for s in ["[NETWORK]", *settings]).encode())
        for path in server.game_files():
            shutil.copy(path, game)
        return game

    def updater(self, server, uset, flags=(), game=None, **options):
        """updater-cli --update into a fresh game folder (or `game`), checked
        and removed again; its Cost. Options as for run()."""
        game = game or self.game(server)
        code, cost = run([self.cli, "--dir", game, "--server", "0", "--update", *flags], self.log, **options)
        if code == 2 and flags:
            raise NotAvailable(f"updater-cli rejects {' '.join(flags)}")
        if code != 0:
            if "servers are not supported" in tail(self.log):
                raise NotAvailable("updater-cli has no transport for this server line")
            raise BenchError(f"updater-cli ended with {code}: {tail(self.log)}")
        self.check(uset.installed(game), uset.size, "updater-cli")
        shutil.rmtree(game)
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
                "KiB/s": f"{value:9.0f} KiB/s", "ms": f"{value * 1000:9.1f} ms"}[unit]
        print(f"  {name:<46}{text}" + (f"   ({field})" if field == "sys" else ""))

    def show_all(self, field="wall", unit="s"):
        for label in self.labels:
            self.show(label, field, unit)

    def goal(self, label, value, limit, within=False, at_least=False):
        goal = f"within {limit:.0%}" if within else f">= {limit}" if at_least else f"<= {limit}"
        if value is None:
            print(f"  {label:<46}{'-':>9}   goal {goal:<10} not available", flush=True)
            return
        met = abs(value - 1) <= limit if within else value >= limit if at_least else value <= limit
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


# --- the command line ------------------------------------------------------

def main(doc, scenarios, make_bench, prog):
    """Parses the command line shared by the benchmarks and runs the
    scenarios named (default: all) with make_bench(args, work), in a
    temporary folder removed at the end, whatever ends the run."""
    parser = argparse.ArgumentParser(description=doc, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("scenarios", nargs="*", metavar="SCENARIO",
                        help=f"any of {', '.join(scenarios)} (default: all)")
    parser.add_argument("--quick", action="store_true", help="fewer and smaller files: a smoke run")
    parser.add_argument("--runs", type=int, default=3, help="runs per figure (default 3)")
    parser.add_argument("--build", default=str(Path(__file__).resolve().parents[2] / "build"),
                        help="the build folder with updater-cli and mkupdate (default: build/ of this checkout)")
    parser.add_argument("--dir", default=None, help="where the temporary folder goes (default: the system's)")
    args = parser.parse_args()
    for name in args.scenarios:
        if name not in scenarios:
            parser.error(f"unknown scenario {name} (choose from {', '.join(scenarios)})")
    # A SIGTERM ends the run through the same clean-up as an error.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    try:
        with tempfile.TemporaryDirectory(prefix=f"{prog}.", dir=args.dir) as work:
            bench = make_bench(args, work)
            for name in args.scenarios or scenarios:
                scenarios[name](bench, args.quick)
    except BenchError as error:
        sys.exit(f"{prog}: {error}")
    except KeyboardInterrupt:  # its servers are stopped and its folder removed by now
        sys.exit(f"{prog}: interrupted")
