#!/usr/bin/env python3
"""deltabench: what a changed large file costs a player who has the old one,
in bytes over the wire and in time, for updater-cli against casync, zsync
and rsync patching the same file in the same run, and what publishing it
costs.

The corpus is made here from a fixed seed: a game-like archive (1 GiB;
--quick: 64 MiB) of stretches of 256 KiB to 4 MiB, taking turns between
incompressible bytes and compressible ones (16 symbols: gzip makes them
about 57 % of their size), and its version 2: 50 scattered 4 KiB edits,
one 1 MiB insertion and one 1 MiB deletion.

Scenarios (all by default, or the ones named), with their goals:
  patch    version 1 installed, version 2 published: updater-cli --update
           of the "E" entry over http (nginx) and over ftp (vsftpd), and of
           the "O" entry beside it, against casync extract --seed (its store
           from casync make, over http from the same nginx), zsync -i (its
           .zsync control file from zsyncmake, over http) and rsync from an
           rsync daemon (its "Total bytes received"). Bytes: the updater
           <= 1.0 x casync, <= 1.0 x zsync, <= 1.5 x rsync; time of the whole
           run, the old file in the page cache: <= 1.0 x zsync and casync
           from the same nginx.
  fresh    version 2 installed into an empty game folder over http: bytes
           <= 1.01 x the same set published with --delta-min 0.
  publish  mkupdate publish of the archive into an empty folder: time
           <= 1.5 x casync make of it, and the served set <= 1.10 x the set
           published with --delta-min 0 (shown beside, with casync's store).

Bytes are what the servers sent, control files and indexes included:
nginx's $bytes_sent of each answer (headers included), the byte counts of
vsftpd's transfer log (the data connections; cut-off transfers count what
was sent) and rsync's own count. Every figure is the median of --runs runs
(3); the programs take turns within each run, each with its own copy of
the old file, just written (so in the page cache), and each result is
checked against version 2's SHA-256; each scenario ends with the load
average. Every server started is stopped, and the temporary folder (--dir
says where; the full run needs about 12 GiB) is removed at the end.
"""
import bisect
import grp
import hashlib
import os
import pwd
import random
import re
import shutil
import sys
import tempfile
import time
from dataclasses import dataclass
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "network"))

from benchlib import MIB, Bench, BenchError, Figures, FtpServer, Service, main, run_ok, size_label  # noqa: E402
from webbench import Nginx, make_certificates  # noqa: E402

SEED = 20261209
NAME = "Game.pak"             # installs as Data\Game.pak
EDITS, EDIT_SIZE = 50, 4096
SHIFT_SIZE = MIB              # the insertion and the deletion
ASSET_SYMBOLS = bytes(b"etaoinshrdlucmfw"[i % 16] for i in range(256))
PIECE = 4 * MIB               # how much is generated or copied at a time


# --- the corpus ------------------------------------------------------------

@dataclass
class Corpus:
    v1: str           # release folders, each with Data/<NAME>
    v2: str
    v1_digest: bytes
    v2_digest: bytes
    v2_size: int

    def file(self, release):
        return os.path.join(release, "Data", NAME)


class Stretches:
    """Where the archive's stretches start and which are compressible."""

    def __init__(self, rng, size):
        self.starts, self.compressible = [], []
        position, compressible = 0, False
        while position < size:
            self.starts.append(position)
            self.compressible.append(compressible)
            position += rng.randrange(256 << 10, 4 * MIB)
            compressible = not compressible
        self.starts.append(size)

    def random_bytes(self, rng, offset, length):
        """Fresh bytes of the kind of the stretch at offset."""
        data = rng.randbytes(length)
        return data.translate(ASSET_SYMBOLS) if self.compressible[bisect.bisect_right(self.starts, offset) - 1] else data


def write_version1(path, rng, stretches):
    digest = hashlib.sha256()
    with open(path, "wb") as file:
        for start, end in zip(stretches.starts, stretches.starts[1:]):
            for offset in range(start, end, PIECE):
                data = stretches.random_bytes(rng, offset, min(PIECE, end - offset))
                digest.update(data)
                file.write(data)
    return digest.digest()


def changes(rng, size):
    """(offset, bytes removed, bytes written) of version 2, in file order:
    one change in each of EDITS + 2 equal slots, two of them the insertion
    and the deletion, each at a random place of its slot."""
    slots = EDITS + 2
    slot = size // slots
    insertion, deletion = rng.sample(range(slots), 2)
    result = []
    for number in range(slots):
        offset = number * slot + rng.randrange(slot - SHIFT_SIZE)
        removed, written = ((0, SHIFT_SIZE) if number == insertion else (SHIFT_SIZE, 0) if number == deletion
                            else (EDIT_SIZE, EDIT_SIZE))
        result.append((offset, removed, written))
    return result


def write_version2(old, path, rng, stretches, size):
    digest = hashlib.sha256()
    with open(old, "rb") as source, open(path, "wb") as file:
        def put(data):
            digest.update(data)
            file.write(data)

        def copy_to(end):
            while source.tell() < end:
                put(source.read(min(PIECE, end - source.tell())))

        for offset, removed, written in changes(rng, size):
            copy_to(offset)
            put(stretches.random_bytes(rng, offset, written))
            source.seek(offset + removed)
        copy_to(size)
    return digest.digest(), os.path.getsize(path)


def make_corpus(work, size):
    rng = random.Random(SEED)
    stretches = Stretches(rng, size)
    v1, v2 = os.path.join(work, "release-v1"), os.path.join(work, "release-v2")
    for release in (v1, v2):
        os.makedirs(os.path.join(release, "Data"))
    corpus = Corpus(v1, v2, b"", b"", 0)
    corpus.v1_digest = write_version1(corpus.file(v1), rng, stretches)
    corpus.v2_digest, corpus.v2_size = write_version2(corpus.file(v1), corpus.file(v2), rng, stretches, size)
    return corpus


def file_digest(path):
    with open(path, "rb") as file:
        return hashlib.file_digest(file, "sha256").digest()


def folder_size(folder):
    return sum(entry.stat().st_size for entry in Path(folder).rglob("*") if entry.is_file())


# --- bytes on the wire -----------------------------------------------------

class SentLog:
    """A server's log with a line per transfer that holds the bytes it
    sent: the bytes of the lines written since mark()."""

    def __init__(self, path, pattern):
        self.path, self.pattern, self.start = path, re.compile(pattern), 0

    def size(self):
        try:
            return os.path.getsize(self.path)
        except FileNotFoundError:
            return 0

    def mark(self):
        self.start = self.size()

    def sent(self):
        # A server logs a transfer when it has ended on its side, which may
        # be a little after the client has gone: wait for the log to settle.
        deadline, last, settled = time.monotonic() + 5, -1, 0
        while settled < 3 and time.monotonic() < deadline:
            size = self.size()
            settled = settled + 1 if size == last else 0
            last = size
            time.sleep(0.1)
        with open(self.path, "rb") as log:
            log.seek(self.start)
            text = log.read().decode(errors="replace")
        return sum(int(match.group(1)) for match in self.pattern.finditer(text))


NGINX_SENT = r"(?m)^(\d+) "
VSFTPD_SENT = r"(?:OK|FAIL) DOWNLOAD: [^\n]*?, (\d+) bytes,"


@dataclass
class Patch:
    wall: float   # seconds
    kib: float    # KiB the server sent


# --- servers and where the updater finds its sets --------------------------

@dataclass
class Folder:
    """A folder of an nginx mirror as an updater's server line."""
    mirror: object
    path: str

    def server_line(self):
        return f"Bench {self.mirror.url(self.path + '/')} 0 10000 anonymous"

    def settings(self):
        return self.mirror.settings()

    def game_files(self):
        return self.mirror.game_files()


class RsyncDaemon(Service):
    """rsync --daemon serving one folder read-only as module "set"."""

    def __init__(self, work, root):
        config = os.path.join(work, "rsyncd.conf")
        # Running as root, the daemon would read as nobody, who cannot
        # enter the work folder: it stays the user who runs the bench.
        user = pwd.getpwuid(os.geteuid()).pw_name
        group = grp.getgrgid(os.getegid()).gr_name
        Path(config).write_text(f"use chroot = no\nuid = {user}\ngid = {group}\n"
                                f"log file = {os.path.join(work, 'rsyncd.log')}\n"
                                f"[set]\npath = {root}\nread only = yes\n")
        super().__init__(work, "rsyncd", lambda port: [
            "rsync", "--daemon", "--no-detach", f"--config={config}", "--address=127.0.0.1", f"--port={port}"])

    def url(self, name):
        return f"rsync://127.0.0.1:{self.port}/set/{name}"


# --- the benchmark ---------------------------------------------------------

class DeltaBench(Bench):
    """The benchmark's programs, its corpus and the folders the servers
    serve (www/<set>), each made once per run of the benchmark."""

    def __init__(self, args, work):
        super().__init__(args, work)
        for peer in ("casync", "zsync", "zsyncmake", "rsync"):
            if not shutil.which(peer):
                raise BenchError(f"{peer} is missing: scripts/install-deps.sh installs it")
        self.size = (64 if args.quick else 1024) * MIB
        self.www = os.path.join(work, "www")
        os.makedirs(self.www)
        self.tls = make_certificates(work)
        self.sent_log = SentLog(os.path.join(work, "nginx-sent.log"), NGINX_SENT)
        self.corpus_made = None
        self.templates = {}

    def corpus(self):
        if not self.corpus_made:
            print(f"  (making the {size_label(self.size)} corpus)", flush=True)
            self.corpus_made = make_corpus(self.work, self.size)
        return self.corpus_made

    def nginx(self):
        return Nginx(self.work, self.www, self.tls, self.sent_log.path)

    def check(self, paths, size, who):
        """The files are whole and hold version 2."""
        super().check(paths, size, who)
        for path in paths:
            if file_digest(path) != self.corpus().v2_digest:
                raise BenchError(f"{who} made {os.path.basename(path)} with other bytes than version 2")

    def publish(self, release, folder, kind="E", options=()):
        """mkupdate publish of a release into www/<folder>; its Cost."""
        if kind == "O":
            rules = os.path.join(self.work, "raw.rules")
            Path(rules).write_text("raw *\n")
            options = ["--rules", rules, *options]
        return run_ok([self.mkupdate, "publish", release, os.path.join(self.www, folder), *options], self.log)

    def installed_set(self, kind, mirror):
        """www/<kind>: version 1 published and installed into a game folder
        kept as the template of every patch, then version 2 published over
        it. Returns the template."""
        if kind not in self.templates:
            corpus = self.corpus()
            self.publish(corpus.v1, kind, kind)
            server = Folder(mirror, kind)
            template = self.game(server)
            run_ok([self.cli, "--dir", template, "--server", "0", "--update"], self.log)
            if file_digest(os.path.join(template, "Data", NAME)) != corpus.v1_digest:
                raise BenchError(f"updater-cli did not install version 1 of the {kind} set")
            self.publish(corpus.v2, kind, kind)
            self.templates[kind] = template
        return self.templates[kind]

    def old_game(self, kind, server):
        """A game folder for `server` with version 1 of the `kind` set
        installed, copied from its template."""
        game = self.game(server)
        own = set(os.listdir(game))
        shutil.copytree(self.templates[kind], game, dirs_exist_ok=True,
                        ignore=lambda folder, names: own.intersection(names) if folder == self.templates[kind] else [])
        return game

    def peer_sets(self):
        """What casync, zsync and rsync serve of version 2."""
        v2 = self.corpus().file(self.corpus().v2)
        casync = os.path.join(self.www, "casync")
        os.makedirs(casync)
        run_ok(["casync", "make", f"--store={casync}/store.castr", f"{casync}/{NAME}.caibx", v2], self.log)
        plain = os.path.join(self.www, "plain")  # zsync's and rsync's: the file as it is
        os.makedirs(plain)
        shutil.copy(v2, plain)
        run_ok(["zsyncmake", "-o", f"{plain}/{NAME}.zsync", "-u", NAME, f"{plain}/{NAME}"], self.log)
        return plain

    def seeded(self, fetch):
        """fetch(old file, output folder) with a fresh copy of version 1 as
        the old file; checks the output and removes both."""
        folder = tempfile.mkdtemp(dir=self.work, prefix="peer.")
        old, out = os.path.join(folder, "old"), os.path.join(folder, "out")
        os.makedirs(out)
        shutil.copy(self.corpus().file(self.corpus().v1), old)
        cost = fetch(old, out)
        self.check([os.path.join(out, NAME)], self.corpus().v2_size, fetch.__name__)
        shutil.rmtree(folder)
        return cost

    def over_http(self, program):
        """program()'s wall time and the bytes nginx sent meanwhile."""
        self.sent_log.mark()
        cost = program()
        return Patch(cost.wall, self.sent_log.sent() / 1024)

    def casync(self, mirror):
        def casync(old, out):
            return run_ok(["casync", "extract", f"--store={mirror.url('casync/store.castr')}", f"--seed={old}",
                           mirror.url(f"casync/{NAME}.caibx"), os.path.join(out, NAME)], self.log)
        return self.over_http(lambda: self.seeded(casync))

    def zsync(self, mirror):
        def zsync(old, out):
            return run_ok(["zsync", "-q", "-i", old, "-o", os.path.join(out, NAME), mirror.url(f"plain/{NAME}.zsync")],
                          self.log)
        return self.over_http(lambda: self.seeded(zsync))

    def rsync(self, daemon):
        def rsync(old, out):
            os.rename(old, os.path.join(out, NAME))  # the basis it patches in place of
            # Both versions have the same size: --ignore-times makes it look.
            return run_ok(["rsync", "--ignore-times", "--stats", daemon.url(NAME), os.path.join(out, NAME)], self.log)
        cost = self.seeded(rsync)
        received = re.search(r"Total bytes received: ([\d,]+)", Path(self.log).read_text())
        if not received:
            raise BenchError("rsync printed no count of the bytes it received")
        return Patch(cost.wall, int(received.group(1).replace(",", "")) / 1024)

    def patch(self, kind, server, sent_log):
        """updater-cli --update from version 1 of the `kind` set to version 2."""
        game = self.old_game(kind, server)
        sent_log.mark()
        cost = self.updater(server, Installed(self.corpus().v2_size), game=game)
        return Patch(cost.wall, sent_log.sent() / 1024)


@dataclass
class Installed:
    """The update set as Bench.updater checks it: Data/<NAME> of `size` bytes."""
    size: int
    names = [NAME]

    def installed(self, game):
        return [os.path.join(game, "Data", NAME)]


# --- scenarios -------------------------------------------------------------

def show_load():
    """The machine may be shared: its load belongs beside the figures."""
    print("  load average (1, 5, 15 min): " + "  ".join(f"{load:.2f}" for load in os.getloadavg()), flush=True)


def patch(bench, quick):
    kinds = ("E", "O")
    f = Figures(f"patch: {size_label(bench.size)}, {EDITS} edits of {EDIT_SIZE // 1024} KiB, "
                f"{SHIFT_SIZE // MIB} MiB inserted, {SHIFT_SIZE // MIB} MiB deleted; medians of {bench.runs} runs")
    with bench.nginx() as nginx:
        http = nginx.mirror("http")
        for kind in kinds:
            bench.installed_set(kind, http)
        plain = bench.peer_sets()
        ftp_work = {kind: os.path.join(bench.work, f"ftp-{kind}") for kind in kinds}
        for folder in ftp_work.values():
            os.makedirs(folder)
        with FtpServer(ftp_work["E"], os.path.join(bench.www, "E"), "vsftpd", transfer_log=True) as ftp_e, \
                FtpServer(ftp_work["O"], os.path.join(bench.www, "O"), "vsftpd", transfer_log=True) as ftp_o, \
                RsyncDaemon(bench.work, plain) as rsyncd:
            updaters = {}
            for kind, ftp in (("E", ftp_e), ("O", ftp_o)):
                updaters[f"updater-cli, {kind} entry, http"] = (kind, Folder(http, kind), bench.sent_log)
                updaters[f"updater-cli, {kind} entry, ftp"] = (kind, ftp, SentLog(ftp.log, VSFTPD_SENT))
            peers = {"casync extract --seed (http)": lambda: bench.casync(http),
                     "zsync -i (http)": lambda: bench.zsync(http),
                     "rsync (daemon)": lambda: bench.rsync(rsyncd)}
            for _ in range(bench.runs):
                for label, (kind, server, log) in updaters.items():
                    f.take(label, lambda: bench.patch(kind, server, log))
                for label, peer in peers.items():
                    f.take(label, peer)
    print("  bytes the servers sent")
    f.show_all("kib", "MiB")
    print("  time of the whole run")
    f.show_all("wall", "s")
    casync, zsync, rsync = peers
    for label in updaters:
        f.ratio(f"bytes: {label.removeprefix('updater-cli, ')} / casync", label, casync, 1.0, "kib")
        f.ratio(f"bytes: {label.removeprefix('updater-cli, ')} / zsync", label, zsync, 1.0, "kib")
        f.ratio(f"bytes: {label.removeprefix('updater-cli, ')} / rsync", label, rsync, 1.5, "kib")
    for label in (label for label in updaters if label.endswith("http")):
        f.ratio(f"time: {label.removeprefix('updater-cli, ')} / zsync", label, zsync, 1.0)
        f.ratio(f"time: {label.removeprefix('updater-cli, ')} / casync", label, casync, 1.0)
    show_load()


def fresh(bench, quick):
    corpus = bench.corpus()
    f = Figures(f"fresh: {size_label(bench.size)} installed into an empty game folder over http; "
                f"medians of {bench.runs} runs")
    with bench.nginx() as nginx:
        http = nginx.mirror("http")
        bench.publish(corpus.v2, "fresh-delta")
        bench.publish(corpus.v2, "fresh-plain", options=["--delta-min", "0"])
        labels = {"with chunk indexes": "fresh-delta", "--delta-min 0": "fresh-plain"}
        for _ in range(bench.runs):
            for label, folder in labels.items():
                f.take(label, lambda: bench.over_http(lambda: bench.updater(Folder(http, folder),
                                                                             Installed(corpus.v2_size))))
    f.show_all("kib", "MiB")
    f.ratio("bytes: with indexes / without", *labels, 1.01, "kib")
    show_load()


def publish(bench, quick):
    corpus = bench.corpus()
    v1 = corpus.file(corpus.v1)
    f = Figures(f"publish: {size_label(bench.size)} into an empty folder; medians of {bench.runs} runs")
    delta, plain, casync = "mkupdate publish", "mkupdate publish --delta-min 0", "casync make"
    sizes = {}
    store = os.path.join(bench.work, "casync-make")
    for run in range(bench.runs):
        os.makedirs(store)
        for label, options in ((delta, []), (plain, ["--delta-min", "0"])):
            folder = f"publish-{run}-{len(options)}"
            f.take(label, lambda: bench.publish(corpus.v1, folder, options=options))
            sizes[label] = folder_size(os.path.join(bench.www, folder))
            shutil.rmtree(os.path.join(bench.www, folder))
        f.take(casync, lambda: run_ok(["casync", "make", f"--store={store}/store.castr", f"{store}/{NAME}.caibx", v1],
                                      bench.log))
        sizes[casync] = folder_size(store)
        shutil.rmtree(store)
    f.show_all()
    for label, size in sizes.items():
        print(f"  {'served: ' + label:<46}{size / MIB:9.1f} MiB")
    f.ratio("time: mkupdate publish / casync make", delta, casync, 1.5)
    f.goal("served: with indexes / --delta-min 0", sizes[delta] / sizes[plain], 1.10)
    show_load()


SCENARIOS = {"patch": patch, "fresh": fresh, "publish": publish}


if __name__ == "__main__":
    main(__doc__, SCENARIOS, DeltaBench, "deltabench")
