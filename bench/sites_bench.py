#!/usr/bin/python3
"""The list workload: many small sites, each at its own loopback address, every answer 50 ms
late, crawled by tarnwick-crawl --sites and by wget2 -i LIST in paired rounds.

Usage: sites_bench.py BUILD_DIR [--sites 200] [--rounds 3] [--big 2000] [--polite 20]
       sites_bench.py --serve --sites N --delay-ms 50 (the server, started by the above)

One server process listens on one port of N loopback addresses (127.1.x.y), one site each: a
start page linking 12 pages (13 pages a site), each page naming an address of its own and a PDF
that neither crawler fetches. It tells every request apart by the crawler's user agent (each
round's crawlers send their own) and counts, per agent, the requests, the most requests it had
open to one site at once, and the least time between two request starts to one site.

Measured, medians of paired rounds (both crawlers in each round):
  - tarnwick-crawl --sites 10 -c 5 -d 2 --ignore-robots against
    wget2 -r --level=1 -i LIST --max-threads=50 --robots=off --filter-urls --reject=... (a
    paired ratio stands only where both made the same requests);
  - tarnwick-crawl --sites 50 -c 1 in the same rounds: 50 in flight as wget2, one per server;
  - tarnwick-crawl --sites 10 -c 5 -d 2 --contact-pages in the same rounds (3 of a site's 12
    pages are contact pages: impressum, kontakt, team);
  - tarnwick-crawl --sites 1 once, for the sequential time;
  - BIG sites at --sites 10 -c 5 against the bound (requests x 50 ms / 50 in flight);
  - --delay 1 on POLITE sites: --sites POLITE against --sites 1.
Peak memory per running site: (peak RSS at --sites 10 - peak RSS at --sites 1) / 9.
Prints Markdown lines; run_bench.py puts them into bench/RESULTS.md.
"""

import argparse
import json
import os
import selectors
import signal
import socket
import statistics
import subprocess
import sys
import threading
import time

from benchlib import run_measured, same_requests_note, scratch_folder, wget2_cmd

PAGES_PER_SITE = 12
# The pages of a site; the first three are what --contact-pages looks for.
PAGE_NAMES = ["impressum", "kontakt", "team"] + ["p%d" % k for k in range(4, PAGES_PER_SITE + 1)]
CONTACT_PAGES = 3


def address(i):
    return "127.1.%d.%d" % (i // 250, i % 250 + 1)


def page(site, name, links):
    body = "".join('<a href="%s">%s</a>\n' % (link, link) for link in links)
    return ("<html><head><title>%s</title></head><body>\n"
            '<a href="mailto:%s@site%d.example">mail</a>\n<a href="/doc.pdf">pdf</a>\n%s'
            "</body></html>\n" % (name, name, site, body)).encode()


# ---- the server

class Counter:
    def __init__(self):
        self.lock = threading.Lock()
        self.requests = {}    # agent -> count
        self.open = {}        # (agent, site) -> requests open now
        self.most_open = {}   # agent -> most requests open to one site at once
        self.last_start = {}  # (agent, site) -> time of the last request start
        self.least_gap = {}   # agent -> least time between two starts to one site

    def begin(self, agent, site):
        now = time.monotonic()
        with self.lock:
            self.requests[agent] = self.requests.get(agent, 0) + 1
            key = (agent, site)
            self.open[key] = self.open.get(key, 0) + 1
            self.most_open[agent] = max(self.most_open.get(agent, 0), self.open[key])
            if key in self.last_start:
                gap = now - self.last_start[key]
                self.least_gap[agent] = min(self.least_gap.get(agent, gap), gap)
            self.last_start[key] = now

    def end(self, agent, site):
        with self.lock:
            self.open[(agent, site)] -= 1

    def snapshot(self):
        with self.lock:
            return {"requests": self.requests, "most_open": self.most_open,
                    "least_gap": self.least_gap}


def read_head(conn):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = conn.recv(4096)
        if not chunk:
            return None
        data += chunk
    return data.split(b"\r\n\r\n", 1)[0].decode("latin-1")


def serve_connection(conn, site, delay, counter):
    conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    try:
        while True:
            head = read_head(conn)
            if head is None:
                return
            lines = head.split("\r\n")
            method, target, version = (lines[0].split(" ") + ["", "", ""])[:3]
            headers = {}
            for line in lines[1:]:
                name, _, value = line.partition(":")
                headers[name.strip().lower()] = value.strip()
            agent = headers.get("user-agent", "")
            counter.begin(agent, site)
            time.sleep(delay)
            path = target.split("?", 1)[0]
            name = path[1:-5] if path.endswith(".html") else ""
            if path in ("/", "/index.html"):
                body = page(site, "index", ["/%s.html" % n for n in PAGE_NAMES])
                status = "200 OK"
            elif name in PAGE_NAMES:
                following = PAGE_NAMES[(PAGE_NAMES.index(name) + 1) % len(PAGE_NAMES)]
                body = page(site, name, ["/", "/%s.html" % following])
                status = "200 OK"
            else:
                body, status = b"not here\n", "404 Not Found"
            keep = version == "HTTP/1.1" and headers.get("connection", "").lower() != "close"
            keep = keep or headers.get("connection", "").lower() == "keep-alive"
            conn.sendall(("%s %s\r\nContent-Type: text/html\r\nContent-Length: %d\r\n"
                          "Connection: %s\r\n\r\n" % (version or "HTTP/1.0", status, len(body),
                                                      "keep-alive" if keep else "close")).encode()
                         + (body if method != "HEAD" else b""))
            counter.end(agent, site)
            if not keep:
                return
    except OSError:
        pass
    finally:
        conn.close()


def serve(args):
    counter = Counter()
    listeners = []
    port = 0
    while not listeners:
        try:
            for i in range(args.sites):
                s = socket.socket()
                s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
                s.bind((address(i), port))
                port = s.getsockname()[1]
                s.listen(512)
                s.setblocking(False)
                listeners.append((s, i))
        except OSError:
            for s, _ in listeners:
                s.close()
            listeners, port = [], 0
    selector = selectors.DefaultSelector()
    for s, i in listeners:
        selector.register(s, selectors.EVENT_READ, i)
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *a: stop.set())
    # The counts are asked for on standard input, one line each; its end stops the server.
    def answer_queries():
        for _ in sys.stdin:
            print(json.dumps(counter.snapshot()), flush=True)
        stop.set()
    threading.Thread(target=answer_queries, daemon=True).start()
    print("PORT %d" % port, flush=True)
    while not stop.is_set():
        for key, _ in selector.select(timeout=0.2):
            try:
                conn, _ = key.fileobj.accept()
            except OSError:
                continue
            conn.setblocking(True)
            threading.Thread(target=serve_connection,
                             args=(conn, key.data, args.delay_ms / 1000.0, counter),
                             daemon=True).start()


class Server:
    def __init__(self, sites, delay_ms=50):
        self.sites = sites
        self.proc = subprocess.Popen([sys.executable, os.path.abspath(__file__), "--serve",
                                      "--sites", str(sites), "--delay-ms", str(delay_ms)],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        line = self.proc.stdout.readline()
        if not line.startswith("PORT "):
            raise RuntimeError("the sites server did not start")
        self.port = int(line.split()[1])

    def counts(self):
        self.proc.stdin.write("?\n")
        self.proc.stdin.flush()
        return json.loads(self.proc.stdout.readline())

    def write_list(self, path, count=None):
        with open(path, "w") as f:
            for i in range(count or self.sites):
                f.write("http://%s:%d/\n" % (address(i), self.port))

    def stop(self):
        self.proc.stdin.close()
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()


# ---- the crawls

def tarnwick(build, agent, listfile, out, sites, extra=(), concurrent=5):
    return [os.path.join(build, "cli", "tarnwick-crawl"), "--no-proxy", "-q", "--agent", agent,
            "--sites", str(sites), "-c", str(concurrent), "-d", "2", "--ignore-robots", "-o", out,
            *extra, "--list", listfile]


def wget2(agent, listfile, out):
    return wget2_cmd(None, out, 1, 50, ["-U", agent, "-i", listfile])


def addresses_in(path):
    with open(path) as f:
        return sum(1 for line in f if line.strip())


class Measure:
    """One crawl: its figures and what the server counted for its agent."""

    def __init__(self, server, cmd, agent, out=None):
        before = server.counts()
        m = run_measured(cmd)
        self.wall, self.code, self.rss_kib, self.err = m.wall, m.code, m.peak_kib, m.err
        after = server.counts()
        self.requests = after["requests"].get(agent, 0) - before["requests"].get(agent, 0)
        self.most_open = after["most_open"].get(agent, 0)
        self.least_gap = after["least_gap"].get(agent)
        self.found = addresses_in(out) if out and os.path.exists(out) else None


def med(values):
    return statistics.median(values) if values else float("nan")


def section(build, args):
    work = scratch_folder("tarnwick-sites-")
    lines = ["## Many sites at once (--sites)", "",
             "%d sites x 13 pages, each site at its own loopback address, every answer 50 ms "
             "late (bench/sites_bench.py); %d paired rounds, medians. Requests and the most "
             "requests open to one site at once are counted by the server per crawler."
             % (args.sites, args.rounds), "",
             "| crawler | runs | wall s (median) | requests | most open to one site | "
             "addresses found | peak MB |", "|---|---:|---:|---:|---:|---:|---:|"]
    expected = args.sites * (PAGES_PER_SITE + 1)
    server = Server(args.sites)
    listfile = os.path.join(work, "list.txt")
    server.write_list(listfile)
    ours, peers, gentle, contact = [], [], [], []
    try:
        for r in range(args.rounds):
            out = os.path.join(work, "found-%d.txt" % r)
            agent = "tarnwick-bench-%d/1.0" % r
            ours.append(Measure(server, tarnwick(build, agent, listfile, out, 10), agent, out))
            agent = "wget2-bench-%d" % r
            peers.append(Measure(server, wget2(agent, listfile, os.path.join(work, "w%d" % r)),
                                 agent))
            # As many downloads in flight as wget2's 50 threads, one to each server.
            out = os.path.join(work, "found-gentle-%d.txt" % r)
            agent = "tarnwick-bench-gentle-%d/1.0" % r
            gentle.append(Measure(server, tarnwick(build, agent, listfile, out, 50, concurrent=1),
                                  agent, out))
            # The same crawl as ours, for contact pages only.
            out = os.path.join(work, "found-contact-%d.txt" % r)
            agent = "tarnwick-bench-contact-%d/1.0" % r
            contact.append(Measure(server, tarnwick(build, agent, listfile, out, 10,
                                                    ["--contact-pages"]), agent, out))
            print("round %d: tarnwick %.2f s (%d requests), wget2 %.2f s (%d requests), "
                  "tarnwick --sites 50 -c 1 %.2f s (%d requests), --contact-pages %.2f s "
                  "(%d requests)"
                  % (r + 1, ours[-1].wall, ours[-1].requests, peers[-1].wall, peers[-1].requests,
                     gentle[-1].wall, gentle[-1].requests, contact[-1].wall,
                     contact[-1].requests), file=sys.stderr)
        out = os.path.join(work, "found-seq.txt")
        sequential = Measure(server, tarnwick(build, "tarnwick-bench-seq/1.0", listfile, out, 1),
                             "tarnwick-bench-seq/1.0", out)
    finally:
        server.stop()

    def note(runs):
        return same_requests_note([m.requests for m in runs], [p.requests for p in peers])

    def against_wget2(runs):
        # A paired ratio stands only where both crawlers asked the server the same.
        if note(runs):
            return "not claimed (%s)" % note(runs)
        return "%.2f" % med([m.wall / p.wall for m, p in zip(runs, peers)])

    def row(name, runs, paired=False):
        found = [m.found for m in runs if m.found is not None]
        requests = "/".join(str(v) for v in sorted({m.requests for m in runs}))
        if paired and note(runs):
            requests += "; **%s**" % note(runs)
        return "| %s | %d | %.2f | %s | %d | %s | %.1f |" % (
            name, len(runs), med([m.wall for m in runs]), requests,
            max(m.most_open for m in runs),
            "/".join(str(v) for v in sorted(set(found))) if found else "-",
            med([m.rss_kib for m in runs]) / 1024)

    lines += [row("tarnwick-crawl --sites 10 -c 5", ours, True),
              row("wget2 --max-threads=50", peers),
              row("tarnwick-crawl --sites 50 -c 1", gentle, True),
              row("tarnwick-crawl --sites 10 -c 5 --contact-pages", contact),
              row("tarnwick-crawl --sites 1 -c 5", [sequential]), ""]
    lines += ["- paired wall-time ratio tarnwick-crawl --sites 50 -c 1 / wget2 (50 downloads in "
              "flight each): %s" % against_wget2(gentle),
              "- --contact-pages against the full crawl of the same depth: %.1f against %.1f "
              "requests a site (%d contact pages and the start page expected), paired wall-time "
              "ratio %.2f" % (med([c.requests for c in contact]) / args.sites,
                              med([o.requests for o in ours]) / args.sites, CONTACT_PAGES,
                              med([c.wall / o.wall for c, o in zip(contact, ours)]))]
    per_site = (med([m.rss_kib for m in ours]) - sequential.rss_kib) / 9 / 1024
    lines += ["- paired wall-time ratio tarnwick-crawl / wget2: %s (goal: at most 1); "
              "--sites 1 / --sites 10: %.1f"
              % (against_wget2(ours), sequential.wall / med([m.wall for m in ours])),
              "- requests: %d expected; most open to one site at once: %d (goal: at most 5)"
              % (expected, max(m.most_open for m in ours)),
              "- addresses found: %d expected" % expected,
              "- peak memory per running site: %.2f MB ((peak at --sites 10 - peak at --sites 1) "
              "/ 9)" % per_site, ""]
    if ours[0].code != 0:
        lines.append("- tarnwick-crawl ended with status %d: %s" % (ours[0].code, ours[0].err[-300:]))

    if args.big:
        server = Server(args.big)
        try:
            big_list = os.path.join(work, "big.txt")
            server.write_list(big_list)
            out = os.path.join(work, "found-big.txt")
            m = Measure(server, tarnwick(build, "tarnwick-bench-big/1.0", big_list, out, 10),
                        "tarnwick-bench-big/1.0", out)
        finally:
            server.stop()
        bound = args.big * (PAGES_PER_SITE + 1) * 0.05 / 50
        lines += ["%d sites, --sites 10 -c 5, once: %.1f s for %d requests (%d addresses, most "
                  "open to one site %d, peak %.1f MB); bound %.1f s, goal at most %.1f s" % (
                      args.big, m.wall, m.requests, m.found or 0, m.most_open,
                      m.rss_kib / 1024, bound, 2 * bound), ""]

    if args.polite:
        server = Server(args.polite)
        try:
            polite_list = os.path.join(work, "polite.txt")
            server.write_list(polite_list)
            runs = {}
            for sites in (args.polite, 1):
                agent = "tarnwick-bench-polite-%d/1.0" % sites
                out = os.path.join(work, "found-polite-%d.txt" % sites)
                runs[sites] = Measure(server, tarnwick(build, agent, polite_list, out, sites,
                                                       ["--delay", "1"]), agent, out)
        finally:
            server.stop()
        fast, slow = runs[args.polite], runs[1]
        lines += ["--delay 1 on %d sites, once each: --sites %d %.1f s, --sites 1 %.1f s "
                  "(ratio %.3f, goal at most 0.1); least gap between two requests to one site "
                  "%.3f s and %.3f s (goal at least 1 s); %d and %d requests" % (
                      args.polite, args.polite, fast.wall, slow.wall, fast.wall / slow.wall,
                      fast.least_gap or 0, slow.least_gap or 0, fast.requests, slow.requests),
                  ""]
    return lines


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build", nargs="?")
    parser.add_argument("--serve", action="store_true")
    parser.add_argument("--sites", type=int, default=200)
    parser.add_argument("--delay-ms", type=int, default=50)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--big", type=int, default=2000)
    parser.add_argument("--polite", type=int, default=20)
    args = parser.parse_args()
    if args.serve:
        serve(args)
        return
    print("\n".join(section(os.path.abspath(args.build), args)))


if __name__ == "__main__":
    main()
