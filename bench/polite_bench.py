#!/usr/bin/python3
"""Per-server pacing over several servers: a generated site of PAGES pages spread over SERVERS
local servers (slowserver.py on distinct ports of 127.0.0.1, answering at once), crawled by
tarnwick-crawl with --delay DELAY. Only requests to one server wait for each other, so the bound
is SERVERS / DELAY pages per second; the crawl should reach 90 % of it and fetch every page.

Usage: polite_bench.py BUILD_DIR [--pages 3000] [--servers 4] [--delay 0.2] [--runs 1]
Prints one line per run and a summary; the figures are written into bench/RESULTS.md by hand.
"""

import argparse
import os
import socket
import subprocess
import sys
import tempfile
import time

from benchlib import HERE, RequestLog, free_port

FANOUT = 5


def write_site(folder, pages, ports):
    """Page i lives on server i % len(ports) and links pages FANOUT*i+1 ... FANOUT*i+FANOUT, each
    on its own server: a tree whose every level is spread over all servers."""
    for i in range(pages):
        links = []
        for child in range(FANOUT * i + 1, min(FANOUT * i + FANOUT + 1, pages)):
            port = ports[child % len(ports)]
            links.append('<a href="http://127.0.0.1:%d/p%d.html">page %d</a>' % (port, child, child))
        body = ("<html><head><title>Page %d</title></head><body>\n<p>%s</p>\n"
                '<a href="mailto:page%d@example.org">mail</a>\n%s\n</body></html>\n'
                % (i, "filler text " * 40, i, "\n".join(links)))
        with open(os.path.join(folder, "p%d.html" % i), "w") as f:
            f.write(body)


def wait_listening(port, timeout=10.0):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.5):
                return
        except OSError:
            time.sleep(0.05)
    sys.exit("server on port %d did not start" % port)


def fetched_pages(logs):
    pages = set()
    for log in logs:
        pages.update(RequestLog(log).since(0).pages)
    return pages


def run_once(crawler, pages, servers, delay, work):
    ports = [free_port() for _ in range(servers)]
    site = os.path.join(work, "site")
    os.makedirs(site, exist_ok=True)
    write_site(site, pages, ports)
    logs, procs = [], []
    try:
        for port in ports:
            log = os.path.join(work, "server-%d.log" % port)
            logs.append(log)
            procs.append(subprocess.Popen(
                [sys.executable, os.path.join(HERE, "slowserver.py"), "--root", site, "--port",
                 str(port), "--delay-ms", "0", "--log", log],
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        for port in ports:
            wait_listening(port)
        start = "http://127.0.0.1:%d/p0.html" % ports[0]
        began = time.monotonic()
        subprocess.run([crawler, "--no-proxy", "--follow", "all", "-d", "20", "-c", "6",
                        "--delay", str(delay), "-q", "-o", os.path.join(work, "found.txt"), start],
                       check=True)
        wall = time.monotonic() - began
    finally:
        for proc in procs:
            proc.terminate()
            proc.wait()
    return len(fetched_pages(logs)), wall


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--pages", type=int, default=3000)
    parser.add_argument("--servers", type=int, default=4)
    parser.add_argument("--delay", type=float, default=0.2)
    parser.add_argument("--runs", type=int, default=1)
    args = parser.parse_args()
    crawler = os.path.join(args.build, "cli", "tarnwick-crawl")
    bound = args.servers / args.delay
    rates = []
    for run in range(args.runs):
        with tempfile.TemporaryDirectory() as work:
            fetched, wall = run_once(crawler, args.pages, args.servers, args.delay, work)
        rate = fetched / wall
        rates.append(rate)
        print("run %d: %d of %d pages in %.1f s, %.2f pages/s, %.1f %% of the bound %.1f"
              % (run + 1, fetched, args.pages, wall, rate, 100 * rate / bound, bound), flush=True)
    rates.sort()
    median = rates[len(rates) // 2]
    print("median %.2f pages/s = %.1f %% of %d servers / %.2f s" %
          (median, 100 * median / bound, args.servers, args.delay))


if __name__ == "__main__":
    main()
