#!/usr/bin/env python3
"""webbench: the whole `updater-cli --update` run from web mirrors, timed
against curl and aria2c fetching the same files in the same run from an
nginx this script starts on loopback (http and https, HTTP/2 by ALPN, a
certificate of a CA made here with openssl) and stops again.

Scenarios (all by default, or the ones named), with their goals:
  loopback  nginx, one 1 GiB file over http (HTTP/1.1) and https (HTTP/2):
            updater-cli against curl -o (<= 1.0 x curl, each protocol)
  far       1,000 files of 4 KiB over https from nginx behind
            latency_proxy.py (10 ms each way: 20 ms more per round trip):
            updater-cli against curl --parallel --parallel-max 32 over
            HTTP/2 (<= 1.0 x), aria2c -j 32 (<= 1.0 x), and updater-cli
            over FTP with its default connections (<= 0.25 x). FTP opens a
            data connection per file, which a relay of one port cannot
            carry; pyftpdlib holding every reply 20 ms (the greeting
            included) is the FTP stand-in for the same latency. Beside:
            the round trip the proxy adds, from curl's timings, and
            updater-cli from nginx without the proxy (its own cost per entry).
  cap       one 1 GiB file over https through the same proxy with
            --max-rate 51200 (50 MiB/s): the sustained rate (within 5% of
            the cap), curl --limit-rate beside it, and curl without a cap
            through the proxy: what the proxy can carry (>= 2 x the cap)
  memory    nginx over HTTP/2: the peak RSS of updater-cli for 10,000
            entries, curl --parallel beside it for reference

Every figure is the median of --runs runs (3); the programs take turns
within each run. --quick shrinks the files for a smoke run. A flag or a
server line that updater-cli refuses shows as "not available". The update
sets are published by mkupdate ("raw *") into a temporary folder that is
removed at the end (--dir says where; the full run needs about 2.5 GiB).
"""
import os
import pwd
import shutil
import subprocess
import sys
import tempfile
from dataclasses import dataclass
from pathlib import Path

from benchlib import (MIB, SMALL, Bench, BenchError, Figures, FtpServer, Service, accepts, count_label, free_port,
                      main, run_ok, size_label, steady_rate)

ONE_WAY_MS = 10       # the proxy's delay each way
FTP_HOLD_MS = 20      # the far FTP server's hold of each reply: the same round trip
RATE_CAP_KIB = 51200  # 50 MiB/s
PEER_STREAMS = 32     # curl --parallel-max, aria2c -j
PROXY = str(Path(__file__).resolve().with_name("latency_proxy.py"))


# --- certificates ----------------------------------------------------------

def make_certificates(work):
    """A CA and a certificate it signs for 127.0.0.1 and localhost; returns
    (CA PEM, certificate, key)."""
    folder = os.path.join(work, "tls")
    os.makedirs(folder)
    ca, ca_key = os.path.join(folder, "ca.pem"), os.path.join(folder, "ca.key")
    cert, key, request = (os.path.join(folder, name) for name in ("server.pem", "server.key", "server.csr"))
    extensions = os.path.join(folder, "server.ext")
    Path(extensions).write_text("subjectAltName=IP:127.0.0.1,DNS:localhost\n")
    ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
    log = os.path.join(folder, "openssl.log")
    run_ok(["openssl", "req", "-x509", *ec, "-keyout", ca_key, "-out", ca, "-days", "2", "-subj", "/CN=webbench CA",
            "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign"], log)
    run_ok(["openssl", "req", *ec, "-keyout", key, "-out", request, "-subj", "/CN=127.0.0.1"], log)
    run_ok(["openssl", "x509", "-req", "-in", request, "-CA", ca, "-CAkey", ca_key, "-CAcreateserial",
            "-days", "2", "-extfile", extensions, "-out", cert], log)
    return ca, cert, key


# --- servers ---------------------------------------------------------------

@dataclass
class Mirror:
    """Where the updater and the peers fetch a set from: a scheme and a
    port of 127.0.0.1 (nginx's, or the proxy's in front of it)."""
    scheme: str
    port: int
    ca: str

    def url(self, name=""):
        return f"{self.scheme}://127.0.0.1:{self.port}/{name}"

    def tls(self):
        return self.scheme == "https"

    def server_line(self):
        return f"Bench {self.url()} 0 10000 anonymous"

    def settings(self):
        return [f"CAFILE={os.path.basename(self.ca)}"] if self.tls() else []

    def game_files(self):
        return [self.ca] if self.tls() else []


class Nginx(Service):
    """nginx serving one folder over http and https (HTTP/2 by ALPN) on two
    ports of 127.0.0.1, everything it writes kept in the work folder. With
    sent_log, it writes there a line per answer that starts with the bytes
    it sent (headers included)."""

    def __init__(self, work, root, tls, sent_log=None):
        self.ca, cert, key = tls
        prefix = os.path.join(work, "nginx")
        os.makedirs(prefix, exist_ok=True)
        config = os.path.join(prefix, "nginx.conf")

        def argv(port):
            self.https_port = port
            self.http_port = free_port_but(port)
            Path(config).write_text(nginx_config(prefix, root, self.http_port, self.https_port, cert, key, sent_log))
            return ["/usr/sbin/nginx", "-p", prefix, "-c", config, "-e", os.path.join(prefix, "error.log")]

        super().__init__(work, "nginx", argv, lambda port: accepts(port) and accepts(self.http_port))

    def mirror(self, scheme):
        return Mirror(scheme, self.https_port if scheme == "https" else self.http_port, self.ca)


def free_port_but(taken):
    while (port := free_port()) == taken:
        pass
    return port


def nginx_config(prefix, root, http_port, https_port, cert, key, sent_log=None):
    # Running as root, nginx would hand its workers to nobody, who cannot
    # read the work folder: they stay with the user who runs the bench.
    user = f"user {pwd.getpwuid(os.geteuid()).pw_name};\n" if os.geteuid() == 0 else ""
    logging = (f"  log_format sent '$bytes_sent $status \"$request\"';\n  access_log {sent_log} sent;\n"
               if sent_log else "  access_log off;\n")
    temp = "".join(f"  {kind}_temp_path {prefix}/{kind};\n"
                   for kind in ("client_body", "proxy", "fastcgi", "uwsgi", "scgi"))
    return (f"{user}daemon off;\nworker_processes 1;\npid {prefix}/nginx.pid;\n"
            f"error_log {prefix}/error.log warn;\n"
            "events { worker_connections 1024; }\n"
            "http {\n"
            f"{logging}  default_type application/octet-stream;\n"
            "  sendfile on;\n  tcp_nopush on;\n"
            # A whole set over one connection, as a CDN's edge allows; the
            # default of 1,000 would make 10,000 entries reconnect.
            "  keepalive_requests 100000;\n"
            f"{temp}"
            "  server {\n"
            f"    listen 127.0.0.1:{http_port};\n"
            f"    listen 127.0.0.1:{https_port} ssl http2;\n"
            f"    ssl_certificate {cert};\n    ssl_certificate_key {key};\n"
            f"    root {root};\n"
            "  }\n"
            "}\n")


class LatencyProxy(Service):
    """latency_proxy.py in front of a mirror: the same scheme, a port of its own."""

    def __init__(self, work, mirror):
        self.upstream = mirror
        super().__init__(work, "latency_proxy", lambda port: [
            sys.executable, PROXY, "--port", str(port), "--upstream", str(mirror.port), "--delay-ms", str(ONE_WAY_MS)])

    def mirror(self):
        return Mirror(self.upstream.scheme, self.port, self.upstream.ca)


# --- the peers -------------------------------------------------------------

class WebBench(Bench):
    """The benchmark's programs with the web peers; every peer fetches
    update3.dat and every file of the set, as the updater does."""

    def __init__(self, args, work):
        super().__init__(args, work)
        self.tls = make_certificates(work)

    def curl(self, mirror, uset, extra=(), **options):
        """curl over one connection at a time, or as `extra` says."""
        out = tempfile.mkdtemp(dir=self.work, prefix="curl.")
        config = os.path.join(self.work, "curl.cfg")
        with open(config, "w") as file:
            for name in ["update3.dat"] + uset.names:
                file.write(f'url = "{mirror.url(name)}"\noutput = "{out}/{name}"\n')
        tls = ["--cacert", mirror.ca] if mirror.tls() else []
        cost = run_ok(["curl", "--silent", "--show-error", "--fail", *tls, *extra, "--config", config],
                      self.log, **options)
        self.check([os.path.join(out, name) for name in uset.names], uset.size, "curl")
        shutil.rmtree(out)
        return cost

    def curl_parallel(self, mirror, uset, **options):
        return self.curl(mirror, uset, ["--http2", "--parallel", "--parallel-max", str(PEER_STREAMS)], **options)

    def aria2c(self, mirror, uset):
        out = tempfile.mkdtemp(dir=self.work, prefix="aria2c.")
        listing = os.path.join(self.work, "aria2c.list")
        with open(listing, "w") as file:
            for name in ["update3.dat"] + uset.names:
                file.write(f"{mirror.url(name)}\n  out={name}\n")
        tls = [f"--ca-certificate={mirror.ca}"] if mirror.tls() else []
        cost = run_ok(["aria2c", "-j", str(PEER_STREAMS), "-i", listing, "-d", out, *tls, "--quiet=true",
                       "--allow-overwrite=true", "--auto-file-renaming=false"], self.log)
        self.check([os.path.join(out, name) for name in uset.names], uset.size, "aria2c")
        shutil.rmtree(out)
        return cost

    def round_trip(self, mirror, uset):
        """Seconds from the request to the first byte of the answer for one
        small file, from curl's timings: the round trip and the server."""
        fields = subprocess.run(["curl", "--silent", "--show-error", "--fail", "--cacert", mirror.ca,
                                 "--output", os.devnull, "--write-out", "%{time_pretransfer} %{time_starttransfer}",
                                 mirror.url(uset.names[0])], capture_output=True, text=True)
        if fields.returncode != 0:
            raise BenchError(f"curl ended with {fields.returncode}: {fields.stderr.strip()}")
        pretransfer, first_byte = map(float, fields.stdout.split())
        return first_byte - pretransfer


# --- scenarios -------------------------------------------------------------

def loopback(bench, quick):
    uset = bench.update_set(1, (64 if quick else 1024) * MIB)
    case = size_label(uset.size)
    f = Figures(f"loopback: nginx, {case}; medians of {bench.runs} runs")
    protocols = (("http", "HTTP/1.1"), ("https", "HTTP/2"))
    with Nginx(bench.work, uset.folder, bench.tls) as nginx:
        for _ in range(bench.runs):
            for scheme, version in protocols:
                mirror = nginx.mirror(scheme)
                f.take(f"{scheme} ({version}): updater-cli --update", lambda: bench.updater(mirror, uset))
                f.take(f"{scheme} ({version}): curl -o", lambda: bench.curl(mirror, uset))
    f.show_all()
    for scheme, version in protocols:
        f.ratio(f"{scheme}: updater / curl", f"{scheme} ({version}): updater-cli --update",
                f"{scheme} ({version}): curl -o", 1.0)


def far(bench, quick):
    uset = bench.update_set(100 if quick else 1000, SMALL)
    f = Figures(f"far: {count_label(len(uset.names))}, {2 * ONE_WAY_MS} ms more per round trip; "
                f"medians of {bench.runs} runs")
    with Nginx(bench.work, uset.folder, bench.tls) as nginx, \
            LatencyProxy(bench.work, nginx.mirror("https")) as proxy, \
            FtpServer(bench.work, uset.folder, "pyftpdlib", hold_ms=FTP_HOLD_MS) as ftp:
        far_mirror = proxy.mirror()
        trips = {"first byte through the proxy": far_mirror, "first byte from nginx itself": nginx.mirror("https")}
        updater, curl = "https: updater-cli --update", f"https: curl --parallel-max {PEER_STREAMS} (HTTP/2)"
        aria2c = f"https: aria2c -j {PEER_STREAMS} (HTTP/1.1)"
        ftp_updater = f"ftp, replies held {FTP_HOLD_MS} ms: updater-cli"
        near = "https from nginx itself: updater-cli (reference)"
        for _ in range(bench.runs):
            for label, mirror in trips.items():
                f.take(label, lambda: bench.round_trip(mirror, uset))
            f.take(near, lambda: bench.updater(nginx.mirror("https"), uset))
            f.take(updater, lambda: bench.updater(far_mirror, uset))
            f.take(curl, lambda: bench.curl_parallel(far_mirror, uset))
            f.take(aria2c, lambda: bench.aria2c(far_mirror, uset))
            f.take(ftp_updater, lambda: bench.updater(ftp, uset))
    for label in trips:
        f.show(label, None, "ms")
    for label in (updater, curl, aria2c, ftp_updater, near):
        f.show(label)
    f.ratio("updater / curl --parallel", updater, curl, 1.0)
    f.ratio("updater / aria2c", updater, aria2c, 1.0)
    f.ratio("updater https / updater ftp", updater, ftp_updater, 0.25)


def cap(bench, quick):
    uset = bench.update_set(1, (128 if quick else 1024) * MIB)
    f = Figures(f"cap: {size_label(uset.size)} over https through the proxy, rate from 5% to 95% of the file; "
                f"medians of {bench.runs} runs")
    updater, limited, free = "updater-cli --update --max-rate", "curl --limit-rate", "curl, no cap (the proxy)"
    with Nginx(bench.work, uset.folder, bench.tls) as nginx, LatencyProxy(bench.work, nginx.mirror("https")) as proxy:
        mirror = proxy.mirror()
        for _ in range(bench.runs):
            f.take(updater, lambda: steady_rate(
                lambda watch: bench.updater(mirror, uset, ["--max-rate", str(RATE_CAP_KIB)], watch=watch), uset.size))
            f.take(limited, lambda: steady_rate(
                lambda watch: bench.curl(mirror, uset, ["--limit-rate", f"{RATE_CAP_KIB}K"], watch=watch), uset.size))
            f.take(free, lambda: steady_rate(lambda watch: bench.curl(mirror, uset, watch=watch), uset.size))
    f.show_all(None, "KiB/s")
    for label in (updater, limited):
        value = f.median(label)
        f.goal(f"{label.split()[0]}: achieved / cap", value / RATE_CAP_KIB if value else None, 0.05, within=True)
    value = f.median(free)
    f.goal("proxy: carried / cap", value / RATE_CAP_KIB if value else None, 2.0, at_least=True)


def memory(bench, quick):
    uset = bench.update_set(1000 if quick else 10000, SMALL)
    case = f"{len(uset.names):,} entries"
    f = Figures(f"memory: nginx over HTTP/2, peak RSS; medians of {bench.runs} runs")
    with Nginx(bench.work, uset.folder, bench.tls) as nginx:
        mirror = nginx.mirror("https")
        for _ in range(bench.runs):
            f.take(f"{case}: updater-cli --update", lambda: bench.updater(mirror, uset, rss=True))
            f.take(f"{case}: curl --parallel (for reference)", lambda: bench.curl_parallel(mirror, uset, rss=True))
    f.show_all("rss", "MiB")


SCENARIOS = {"loopback": loopback, "far": far, "cap": cap, "memory": memory}


if __name__ == "__main__":
    main(__doc__, SCENARIOS, WebBench, "webbench")
