#!/usr/bin/python3
"""The same harvest at any concurrency and machine load.

Usage: same_harvest.py BUILD_DIR [--pages 3000] [--depth 4] [--runs 10] [--concurrency 6,50]
                       [--busy N] [--work DIR]

Generates a site where pages are reached by paths of many lengths (each page links 26 pages
near it in a ring and 4 anywhere, so a page's shortest path is often not the first one found),
serves it with nginx on 127.0.0.1, and crawls it with tarnwick-crawl: once with one download at
a time (the reference: breadth first, so every page has the depth of its shortest path), then
RUNS times at each concurrency while N busy loops (default: one per core) load the machine.
Every crawl's sorted (type, URL) results must equal the reference and the breadth-first set the
script computes from the site itself; nginx's log gives each crawl's requests. Prints one line
per crawl and exits 1 when any crawl differs.
"""

import argparse
import collections
import json
import multiprocessing
import os
import random
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from benchlib import RequestLog, Servers, free_port, readable  # noqa: E402


class RingSite:
    def __init__(self, work, pages, seed=3):
        self.port = free_port()
        self.root = os.path.join(work, "ring-site")
        self.log = os.path.join(work, "ring-access.log")
        os.makedirs(self.root, exist_ok=True)
        rng = random.Random(seed)
        self.links = []
        for p in range(pages):
            near = [(p + rng.randint(-40, 40)) % pages for _ in range(26)]
            far = [rng.randrange(pages) for _ in range(4)]
            self.links.append(near + far)
            body = ["<html><head><title>p%d</title></head><body>" % p]
            body += ['<a href="p%d.html">page %d</a>' % (t, t) for t in self.links[-1]]
            body.append('<a href="mailto:m%d@ring.example">m</a>' % p)
            body.append('<a href="files/f%d.pdf">pdf</a> <a href="/files/f%d.zip">zip</a>' % (p, p))
            body.append("</body></html>\n")
            with open(os.path.join(self.root, "p%d.html" % p), "w") as f:
                f.write("\n".join(body))
        readable(work)

    def start_url(self):
        return "http://127.0.0.1:%d/p0.html" % self.port

    def expected(self, depth):
        """Breadth first: the results of every page within depth."""
        level = {0: 1}
        queue = collections.deque([0])
        found = set()
        base = "http://127.0.0.1:%d/" % self.port
        while queue:
            p = queue.popleft()
            found.add("mail\tm%d@ring.example" % p)
            found.add("pdf\t%sfiles/f%d.pdf" % (base, p))
            found.add("zip\t%sfiles/f%d.zip" % (base, p))
            if level[p] < depth:
                for t in self.links[p]:
                    if t not in level:
                        level[t] = level[p] + 1
                        queue.append(t)
        return found, len(level)


def crawl(build, site, depth, concurrency, out):
    cmd = [os.path.join(build, "cli", "tarnwick-crawl"), "--depth", str(depth), "--no-proxy",
           "--ignore-robots", "-t", "mail,pdf,zip", "-c", str(concurrency), "--format", "tsv",
           "-q", "-o", out, site.start_url()]
    log = RequestLog(site.log)
    mark = log.mark()
    start = time.monotonic()
    subprocess.run(cmd, check=True)
    wall = time.monotonic() - start
    requests = log.since(mark).total
    with open(out) as f:
        results = {"\t".join(line.rstrip("\n").split("\t")[:2]) for line in f if line.strip()}
    return results, requests, wall


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--pages", type=int, default=3000)
    parser.add_argument("--depth", type=int, default=4)
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--concurrency", default="6,50")
    parser.add_argument("--busy", type=int, default=multiprocessing.cpu_count())
    parser.add_argument("--work")
    args = parser.parse_args()
    work = args.work or tempfile.mkdtemp(prefix="tarnwick-same-")
    site = RingSite(work, args.pages)
    expected, pages = site.expected(args.depth)
    servers = Servers(work)
    busy = []
    failures = 0
    try:
        servers.nginx(site)
        out = os.path.join(work, "found.tsv")
        reference, requests, wall = crawl(args.build, site, args.depth, 1, out)
        print("site: %d pages, %d within depth %d, %d results expected"
              % (args.pages, pages, args.depth, len(expected)))
        same = reference == expected
        failures += not same
        print("c1   reference  %5d results  %5d requests  %6.2f s  %s"
              % (len(reference), requests, wall, "same" if same else "DIFFERS"))
        busy = [subprocess.Popen([sys.executable, "-c", "while True: pass"])
                for _ in range(args.busy)]
        for c in (int(x) for x in args.concurrency.split(",")):
            for run in range(1, args.runs + 1):
                results, requests, wall = crawl(args.build, site, args.depth, c, out)
                same = results == expected
                failures += not same
                print("c%-3d run %-3d   %5d results  %5d requests  %6.2f s  %s%s"
                      % (c, run, len(results), requests, wall, "same" if same else "DIFFERS",
                         "" if same else " (missing %d, extra %d)"
                         % (len(expected - results), len(results - expected))))
                sys.stdout.flush()
    finally:
        for proc in busy:
            proc.kill()
        servers.stop()
    print("busy loops: %d; crawls that differed: %d" % (args.busy, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
