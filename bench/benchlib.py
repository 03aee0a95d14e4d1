"""What the whole-crawl benchmarks share: scratch folders, generated sites and their servers, a
measured run of a crawler, the requests its server answered during that run, and wget2's
command line.

A comparison between two crawlers stands only where both made the same requests, so every run
is paired with the requests counted at the server between the run's start and its end."""

import collections
import json
import os
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
# The file types the generated sites link (gensite.py: pdf, zip, mp3, doc and jpg pictures). All
# are in tarnwick-crawl's file catalogue, so it reports them without fetching; the peers are told
# to leave them alone too, before the request (wget2 --filter-urls), so both ask for pages only.
PEER_REJECT = "pdf,zip,mp3,doc,jpg"
TMPFS = "/dev/shm"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_listening(port, timeout=10.0):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.5):
                return True
        except OSError:
            time.sleep(0.05)
    return False


def median(values):
    values = list(values)
    return statistics.median(values) if values else float("nan")


# ---- scratch folders

def tmpfs_available():
    return os.path.isdir(TMPFS) and os.access(TMPFS, os.W_OK) and filesystem_of(TMPFS) == "tmpfs"


def filesystem_of(path):
    """The type of the file system that holds path, from /proc/mounts."""
    path = os.path.realpath(path)
    best, kind = "", "unknown"
    with open("/proc/mounts") as f:
        for line in f:
            fields = line.split()
            point = fields[1]
            inside = path == point or path.startswith(point.rstrip("/") + "/")
            if inside and len(point) > len(best):
                best, kind = point, fields[2]
    return kind


def scratch_folder(prefix):
    """A new folder for sites and crawl output, on tmpfs where there is one: wget2 must save the
    pages it parses, and a disk under other developers' builds would time that, not the crawl."""
    folder = tempfile.mkdtemp(prefix=prefix, dir=TMPFS if tmpfs_available() else None)
    os.chmod(folder, 0o755)
    return folder


def readable(folder):
    # nginx's workers may run as another user: they must be able to read the site.
    for dirpath, _, files in os.walk(folder):
        os.chmod(dirpath, 0o755)
        for name in files:
            os.chmod(os.path.join(dirpath, name), 0o644)


# ---- sites and servers

class Site:
    """A generated site with its own port (absolute links hold it) and its request log."""

    def __init__(self, work, name, shape):
        self.port = free_port()
        self.root = os.path.join(work, "site-" + name)
        self.log = os.path.join(work, name + "-access.log")
        self.shape = shape
        fanout, levels = shape
        subprocess.run([sys.executable, os.path.join(HERE, "gensite.py"), "--out", self.root,
                        "--base", "http://127.0.0.1:%d" % self.port, "--fanout", str(fanout),
                        "--levels", str(levels)], check=True, stdout=subprocess.DEVNULL)
        with open(os.path.join(self.root, "expected.json")) as f:
            self.expected = json.load(f)
        self.levels = levels
        readable(work)

    def start_url(self):
        return "http://127.0.0.1:%d/index.html" % self.port

    def pages_to(self, depth):
        return sum(len(v) for d, v in self.expected["pages"].items() if int(d) <= depth)


class StaticSite:
    """A folder of the project (the demo site) served as it is."""

    def __init__(self, work, name, root, start):
        self.port = free_port()
        self.root = root
        self.log = os.path.join(work, name + "-access.log")
        self.start = start

    def start_url(self):
        return "http://127.0.0.1:%d/%s" % (self.port, self.start)


class Servers:
    """nginx and slowserver.py instances, each logging "STATUS URI" per answered request."""

    def __init__(self, work):
        self.work = work
        self.procs = []

    def nginx(self, site):
        prefix = os.path.join(self.work, "nginx-%d" % site.port)
        os.makedirs(prefix, exist_ok=True)
        os.chmod(prefix, 0o755)
        conf = os.path.join(prefix, "nginx.conf")
        with open(conf, "w") as f:
            f.write("""
worker_processes 1;
daemon off;
pid %(p)s/nginx.pid;
error_log %(p)s/error.log;
events { worker_connections 1024; }
http {
    types { text/html html htm; image/jpeg jpg; image/gif gif; application/pdf pdf;
            application/zip zip; audio/mpeg mp3; application/msword doc; }
    default_type application/octet-stream;
    log_format bench '$status $request_uri';
    access_log %(log)s bench;
    client_body_temp_path %(p)s/body;
    proxy_temp_path %(p)s/proxy;
    fastcgi_temp_path %(p)s/fastcgi;
    uwsgi_temp_path %(p)s/uwsgi;
    scgi_temp_path %(p)s/scgi;
    sendfile on;
    keepalive_timeout 65;
    server { listen 127.0.0.1:%(port)d; root %(root)s; index index.html; }
}
""" % {"p": prefix, "log": site.log, "port": site.port, "root": site.root})
        self.procs.append(subprocess.Popen(["nginx", "-e", prefix + "/error.log", "-p", prefix,
                                            "-c", conf], stdout=subprocess.DEVNULL))
        self.wait(site)

    def slow(self, site, delay_ms=50):
        self.procs.append(subprocess.Popen(
            [sys.executable, os.path.join(HERE, "slowserver.py"), "--root", site.root,
             "--port", str(site.port), "--delay-ms", str(delay_ms), "--log", site.log],
            stdout=subprocess.DEVNULL))
        self.wait(site)

    @staticmethod
    def wait(site):
        if not wait_listening(site.port):
            raise RuntimeError("the server on port %d did not start" % site.port)

    def stop(self):
        for proc in self.procs:
            if proc.poll() is None:
                proc.send_signal(signal.SIGTERM)
        for proc in self.procs:
            try:
                proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
        self.procs = []


# ---- requests answered by a server

class Requests:
    """What a server answered between two points of its log."""

    def __init__(self, lines):
        self.by_status = collections.Counter()
        self.pages = collections.Counter()  # HTML pages answered 200, by URI
        self.other = collections.Counter()  # anything else answered, by URI
        for line in lines:
            status, _, uri = line.partition(" ")
            self.by_status[status] += 1
            if status == "200" and uri.split("?")[0].split("#")[0].endswith(".html"):
                self.pages[uri] += 1
            else:
                self.other[uri] += 1
        self.total = sum(self.by_status.values())

    def text(self):
        """The count, with what was not answered 200 (a peer's requests for bad URLs) named."""
        failed = sorted((s, n) for s, n in self.by_status.items() if s != "200")
        if not failed:
            return str(self.total)
        return "%d (%s)" % (self.total, ", ".join("%d × %s" % (n, s) for s, n in failed))


class RequestLog:
    """A server's log of answered requests; mark() before a run, since(mark) after it."""

    def __init__(self, path):
        self.path = path

    def size(self):
        return os.path.getsize(self.path) if os.path.exists(self.path) else 0

    def mark(self):
        return self.size()

    def since(self, offset, quiet=0.05, limit=5.0):
        # The server writes a line after its answer, so the last lines may lag the client's
        # end: read once the log has stopped growing.
        end = time.monotonic() + limit
        size = self.size()
        while time.monotonic() < end:
            time.sleep(quiet)
            now = self.size()
            if now == size:
                break
            size = now
        if not os.path.exists(self.path):
            return Requests([])
        with open(self.path) as f:
            f.seek(offset)
            return Requests(f.read().splitlines())


def same_requests_note(ours, peers):
    """None when every pair made the same number of requests; else the text that says not."""
    for a, b in zip(ours, peers):
        if a != b:
            return "not the same requests: %d vs %d" % (a, b)
    return None


# ---- measured runs

class Measured:
    """One child's figures: exit code, wall s, user and system CPU s, peak RSS KiB, stderr."""

    def __init__(self, code, wall, user, system, peak_kib, err):
        self.code, self.wall, self.user, self.system = code, wall, user, system
        self.peak_kib, self.err = peak_kib, err

    @property
    def cpu(self):
        return self.user + self.system


def run_measured(cmd, work=None, env=None, stdout=subprocess.DEVNULL):
    """Runs cmd to its end and measures it; stdout may be subprocess.PIPE (then in .out). work:
    a folder for GNU time's note (the system's temporary folder when None)."""
    # A process forked from this script starts with the script's memory, which the kernel
    # counts in its peak. GNU time forks the crawler from its own small image and reports the
    # crawler's peak alone; the CPU time comes from wait4 (microseconds, crawler included).
    fd, peak_file = tempfile.mkstemp(prefix="peak-", dir=work)
    os.close(fd)
    begin = time.monotonic()
    proc = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", peak_file] + cmd,
                            stdout=stdout, stderr=subprocess.PIPE, env=env)
    out = proc.stdout.read().decode(errors="replace") if stdout == subprocess.PIPE else ""
    err = proc.stderr.read().decode(errors="replace")
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.monotonic() - begin
    proc.returncode = os.waitstatus_to_exitcode(status)
    for stream in (proc.stdout, proc.stderr):
        if stream:
            stream.close()
    with open(peak_file) as f:
        peak = int(f.read().split()[-1])
    os.remove(peak_file)
    result = Measured(proc.returncode, wall, usage.ru_utime, usage.ru_stime, peak, err)
    result.out = out
    return result


# ---- the peer

def wget2_cmd(start, out, level, threads=6, extra=()):
    """wget2 crawling pages only: rejected URLs are never fetched (--filter-urls), rather than
    fetched and deleted. It counts levels below the start page, where tarnwick-crawl counts the
    start page as depth 1. start may be None when extra names the start URLs (-i LIST)."""
    return ["wget2", "-r", "--level=%d" % level, "--max-threads=%d" % threads, "--robots=off",
            "-q", "-P", out, "--filter-urls", "--reject=" + PEER_REJECT] + list(extra) + \
        ([start] if start else [])
