#!/usr/bin/python3
"""A site larger than the queue: every page and address found, and what the overflow costs.

Usage: queue_bench.py BUILD_DIR [--fanout 25] [--levels 5] [--runs 1] [--work DIR]
                      [--results bench/RESULTS.md]

Generates a site with gensite.py (fanout 25 and five levels: 31,901 pages, about 400 MB of
HTML), serves it with nginx on a free port of 127.0.0.1 and crawls it to depth 5, the whole
site, with tarnwick-crawl at the default queue limit (5000: most links wait in the overflow,
and beyond 1,000 of them in its spill file), with tarnwick-crawl --max-queue 1000000 (the
queue never fills) and with wget2 (--level=4, the same pages), in paired rounds. Pages fetched
and fetched more than once are counted from nginx's log; addresses found are checked against
gensite's list; wall time is the child's, CPU time and peak memory come from the kernel's
accounting of the crawler (GNU time, wait4). The spill file's folder (TMPDIR) must be empty
after each tarnwick-crawl run. nginx is stopped before the script ends.
"""

import argparse
import collections
import datetime
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from run_bench import Servers, Site  # noqa: E402  (the servers and sites of every benchmark)
DEPTH = 5
SKIPPED_TYPES = "pdf,zip,mp3,doc,jpg"  # wget2 fetches pages only, as the engine does


def commands(build, start, out):
    crawl = os.path.join(build, "cli", "tarnwick-crawl")
    tarnwick = [crawl, "--depth", str(DEPTH), "--no-proxy", "--format", "tsv", "-q", "-o",
                os.path.join(out, "harvest.tsv")]
    return {
        "tarnwick-crawl": tarnwick + [start],
        "tarnwick-crawl --max-queue 1000000": tarnwick + ["--max-queue", "1000000", start],
        "wget2": ["wget2", "-r", "--level=%d" % (DEPTH - 1), "--max-threads=6", "--robots=off",
                  "-q", "-nH", "-P", out, "--reject=" + SKIPPED_TYPES, start],
    }


def run_measured(cmd, work, env):
    """Runs cmd; returns (exit code, wall s, cpu s, peak RSS in KiB, stderr) of the crawler."""
    peak_file = os.path.join(work, "peak.txt")
    begin = time.monotonic()
    proc = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", peak_file] + cmd,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
    err = proc.stderr.read().decode(errors="replace")
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.monotonic() - begin
    proc.stderr.close()
    with open(peak_file) as f:
        peak = int(f.read().split()[-1])
    return os.waitstatus_to_exitcode(status), wall, usage.ru_utime + usage.ru_stime, peak, err


def pages_in_log(log, offset):
    """HTML pages answered 200 since offset: (all, distinct)."""
    with open(log) as f:
        f.seek(offset)
        lines = f.read().splitlines()
    counts = collections.Counter()
    for line in lines:
        status, _, uri = line.partition(" ")
        if status == "200" and uri.split("?")[0].endswith(".html"):
            counts[uri] += 1
    return sum(counts.values()), len(counts)


def addresses(expected, out, wget):
    """Addresses expected at depth <= DEPTH, and how many of them were found: in the harvest
    for tarnwick-crawl, in the pages saved for wget2 (which harvests nothing itself)."""
    want = {m for d, items in expected["mail"].items() if int(d) <= DEPTH for m in items}
    got = set()
    if wget:
        for folder, _, files in os.walk(out):
            for name in files:
                if name.endswith(".html") or "?" in name:
                    with open(os.path.join(folder, name), encoding="latin-1") as f:
                        got.update(re.findall(r'href="mailto:([^"]+)"', f.read()))
    else:
        with open(os.path.join(out, "harvest.tsv"), encoding="latin-1") as f:
            for line in f:
                fields = line.rstrip("\n").split("\t")
                if len(fields) >= 2 and fields[0] == "mail":
                    got.add(fields[1])
    return len(want), len(want & got)


def crawl_once(name, build, start, work, log, expected):
    out = tempfile.mkdtemp(prefix="crawl-", dir=work)
    spill = tempfile.mkdtemp(prefix="spill-", dir=work)
    env = dict(os.environ, TMPDIR=spill)
    offset = os.path.getsize(log) if os.path.exists(log) else 0
    code, wall, cpu, rss, err = run_measured(commands(build, start, out)[name], work, env)
    time.sleep(0.2)  # lets nginx finish writing its log lines
    fetched, distinct = pages_in_log(log, offset)
    want, found = addresses(expected, out, name == "wget2")
    result = {"name": name, "code": code, "wall": wall, "cpu": cpu, "rss_mb": rss / 1024.0,
              "pages": fetched, "distinct": distinct, "addresses": found, "expected": want,
              "spill_left": len(os.listdir(spill))}
    if code != 0 and name != "wget2":  # wget2's 8 only means a 404 somewhere
        result["error"] = err.strip()[-300:]
    shutil.rmtree(out, ignore_errors=True)
    shutil.rmtree(spill, ignore_errors=True)
    return result


def table(results, site_pages, runs):
    by_name = collections.defaultdict(list)
    for r in results:
        by_name[r["name"]].append(r)
    wget2 = by_name["wget2"]
    unlimited = by_name["tarnwick-crawl --max-queue 1000000"]

    def paired(rows, ref, key):
        return statistics.median(r[key] / w[key] for r, w in zip(rows, ref))

    lines = ["| crawler | runs | pages fetched (distinct) | addresses found | wall s | CPU s | "
             "peak MB | peak / wget2 | peak / unlimited | CPU / unlimited | spill files left |",
             "|---|---:|---|---|---:|---:|---:|---:|---:|---:|---:|"]
    for name, rows in by_name.items():
        med = lambda key: statistics.median(r[key] for r in rows)
        last = rows[-1]
        lines.append("| %s | %d | %d (%d) of %d | %d of %d | %.2f | %.2f | %.1f | %.2f | %.3f "
                     "| %.3f | %s |" % (
                         name, len(rows), last["pages"], last["distinct"], site_pages,
                         last["addresses"], last["expected"], med("wall"), med("cpu"),
                         med("rss_mb"), paired(rows, wget2, "rss_mb"),
                         paired(rows, unlimited, "rss_mb"), paired(rows, unlimited, "cpu"),
                         "-" if name == "wget2" else max(r["spill_left"] for r in rows)))
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build")
    parser.add_argument("--fanout", type=int, default=25)
    parser.add_argument("--levels", type=int, default=5)
    parser.add_argument("--runs", type=int, default=1)
    parser.add_argument("--work", help="scratch folder (default: a new temporary folder)")
    parser.add_argument("--results", default=os.path.join(HERE, "RESULTS.md"))
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="queue-bench-", dir=args.work)
    os.chmod(work, 0o755)
    servers = Servers(work)
    try:
        site = Site(work, "queue", (args.fanout, args.levels))
        expected = site.expected
        site_pages = site.pages_to(DEPTH)
        log = site.log
        servers.nginx(site)
        start = site.start_url()
        results = []
        for _ in range(args.runs):
            for name in ("tarnwick-crawl", "tarnwick-crawl --max-queue 1000000", "wget2"):
                r = crawl_once(name, args.build, start, work, log, expected)
                print(json.dumps(r), flush=True)
                results.append(r)
        text = table(results, site_pages, args.runs)
        print(text)
        with open(args.results, "a") as f:
            f.write("\n## A site larger than the queue (queue_bench.py, %s)\n\n"
                    "`bench/queue_bench.py build --fanout %d --levels %d --runs %d`: %d pages, "
                    "crawled to depth %d from nginx on 127.0.0.1; tarnwick-crawl with its "
                    "defaults apart from `--depth %d`, its spill folder TMPDIR a fresh folder "
                    "per run; wget2 `-r --level=%d --max-threads=6`. Pages fetched from "
                    "nginx's log (the last run's), medians of wall, CPU and peak memory, peak "
                    "memory and CPU paired with the runs of the same round.\n\n%s\n"
                    % (datetime.date.today().isoformat(), args.fanout, args.levels, args.runs,
                       site_pages, DEPTH, DEPTH, DEPTH - 1, text))
    finally:
        servers.stop()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
