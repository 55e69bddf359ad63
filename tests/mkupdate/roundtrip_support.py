"""What the round trips of a published set share: files, a pyftpdlib server
on loopback serving the server folder, a game folder that points at it,
mkupdate and updater-cli run with deadlines (a run that never ends fails
instead of stalling the suite), and the byte-for-byte comparison of the
release with the installed game folder."""
import os
import socket
import subprocess
import time

# Files the updater and the tests keep in the game folder beside the release.
UPDATER_FILES = {"isp0.dat", "isp1.dat", "FtpConfig.ini", "System/PKG", "update2.dat", "update3.dat", "update.lck",
                 "bulletin.htm", "import.log"}
failures = []


def expect(condition, what):
    if not condition:
        failures.append(what)


def report():
    """Prints the failures; returns the exit status of the test."""
    for failure in failures:
        print("FAIL:", failure)
    print(f"{len(failures)} failure(s)")
    return 1 if failures else 0


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


def run(what, args, deadline, env=None):
    """Runs args; None (and a failure) when it does not end within deadline seconds."""
    try:
        return subprocess.run(args, capture_output=True, timeout=deadline, env=env)
    except subprocess.TimeoutExpired:
        expect(False, f"{what} did not end within {deadline} s")
        return None


def publish(mkupdate, release, server, rules, deadline=60, options=()):
    """Publishes release into server (with further options of publish) and
    checks the set; the publish output, or None when publishing failed."""
    result = run("publish", [mkupdate, "publish", release, server, "--rules", rules, *options], deadline)
    if result is None:
        return None
    if result.returncode != 0:
        expect(False, f"publish: {result.stderr!r}")
        return None
    check = run("check", [mkupdate, "check", server], deadline)
    expect(check is not None and check.returncode == 0, f"check: {check and check.stdout!r}")
    return result.stdout.decode(errors="replace")


def accepts(port):
    """Whether a server takes connections on port of 127.0.0.1 within 10 s."""
    for _ in range(500):
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return True
        except OSError:
            time.sleep(0.02)
    return False


class ServedFolder:
    """pyftpdlib serving folder on a free port of 127.0.0.1, from entering
    until leaving the with-block; its log (one line per command and transfer)
    goes to the file log when one is given."""

    def __init__(self, folder, log=None):
        self.folder = folder
        self.log = log
        self.port = None
        self.process = None

    def __enter__(self):
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            self.port = probe.getsockname()[1]
        self.process = subprocess.Popen(["/usr/bin/python3", "-m", "pyftpdlib", "-i", "127.0.0.1", "-p",
                                         str(self.port), "-d", self.folder], stdout=subprocess.DEVNULL,
                                        stderr=self._log_file())
        if accepts(self.port):
            return self
        self.__exit__(None, None, None)
        raise RuntimeError("pyftpdlib did not come up")

    def _log_file(self):
        if not self.log:
            return subprocess.DEVNULL
        self._log = open(self.log, "wb")
        return self._log

    def __exit__(self, *_):
        self.process.terminate()
        self.process.wait()
        if self.log:
            self._log.close()


class ServedWebFolder:
    """nginx serving folder over plain http on a free port of 127.0.0.1, from
    entering until leaving the with-block, one process in the foreground
    with its configuration and logs in work. Its access log has a line per
    response as it ends: "GET 206 1048576 /Data/Big.pak"."""

    def __init__(self, folder, work):
        self.folder = folder
        self.work = work
        self.port = None
        self.process = None

    @property
    def url(self):
        return f"http://127.0.0.1:{self.port}/"

    def requests(self):
        """(method, status, body bytes, path) of each request logged so far."""
        with open(f"{self.work}/access.log") as f:
            return [(m, int(s), int(n), p) for m, s, n, p in (line.split() for line in f if line.strip())]

    def __enter__(self):
        os.makedirs(f"{self.work}/temp", exist_ok=True)
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            self.port = probe.getsockname()[1]
        temporaries = "".join(f"  {t}_temp_path {self.work}/temp/{t};\n"
                              for t in ("client_body", "proxy", "fastcgi", "uwsgi", "scgi"))
        write(f"{self.work}/nginx.conf", (
            f"daemon off;\nmaster_process off;\nworker_processes 1;\npid {self.work}/nginx.pid;\n"
            f"error_log {self.work}/error.log;\nevents {{ worker_connections 64; }}\nhttp {{\n{temporaries}"
            f"  default_type application/octet-stream;\n  sendfile on;\n"
            f"  log_format requests '$request_method $status $body_bytes_sent $uri';\n"
            f"  access_log {self.work}/access.log requests;\n"
            f"  server {{\n    listen 127.0.0.1:{self.port};\n    root {self.folder};\n  }}\n}}\n").encode())
        self.process = subprocess.Popen(["/usr/sbin/nginx", "-p", self.work, "-c", f"{self.work}/nginx.conf",
                                         "-e", f"{self.work}/error.log"], stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        if accepts(self.port):
            return self
        self.__exit__(None, None, None)
        raise RuntimeError("nginx did not come up: " + read(f"{self.work}/error.log").decode(errors="replace"))

    def __exit__(self, *_):
        self.process.terminate()
        self.process.wait()


def prepare_game(game, port=None, url=None):
    """A game folder whose only server is the FTP server on port (or the web
    server at url), with a stand-in import tool that notes each call in
    import.log."""
    line = b"Test %s 0 10000 anonymous" % url.encode() if url else b"Test 127.0.0.1 %d 10000 anonymous" % port
    write(f"{game}/isp0.dat", line + b"\r\nend\r\n")
    write(f"{game}/FtpConfig.ini", b"[EXECUTE]\r\nEXEFILE=Quelmar.exe kvx\r\n")
    write(f"{game}/System/PKG", b"#!/bin/sh\necho \"$*\" >> '%s/import.log'\n" % game.encode())
    os.chmod(f"{game}/System/PKG", 0o755)


def install(cli, game, deadline=120):
    result = run("updater-cli", [cli, "--dir", game, "--server", "0", "--update"], deadline,
                 env=dict(os.environ, LANG="C"))
    expect(result is not None and result.returncode == 0,
           f"updater-cli: {result and (result.returncode, result.stdout, result.stderr)!r}")


def compare(release, game):
    """Every release file installed byte for byte, and nothing else left in the game folder."""
    installed = {name: data for name, data in tree(game).items() if name not in UPDATER_FILES}
    released = tree(release)
    wrong = sorted(name for name, data in released.items() if installed.get(name) != data)
    expect(not wrong, f"{len(wrong)} file(s) not installed byte for byte, among them {wrong[:5]}")
    extra = sorted(set(installed) - set(released))
    expect(not extra, f"left behind in the game folder: {extra[:10]}")
    if os.environ.get("MKUPDATE_WITHOUT_EXECUTE_BITS"):
        return  # a publisher on Windows, whose files carry no execute bits
    executable = lambda folder, name: os.access(os.path.join(folder, name), os.X_OK)
    modes = sorted(name for name in released if name in installed and executable(release, name) != executable(game, name))
    expect(not modes, f"{len(modes)} file(s) installed with other execute bits than released, among them {modes[:5]}")
