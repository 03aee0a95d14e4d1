#!/usr/bin/python3
"""A site larger than the queue: every page and address found, and what the overflow costs.

Usage: queue_bench.py BUILD_DIR [--fanout 25] [--levels 5] [--runs 1] [--work DIR]
                      [--results bench/RESULTS.md]

Generates a site with gensite.py (fanout 25 and five levels: 31,901 pages, about 400 MB of
HTML), serves it with nginx on a free port of 127.0.0.1 and crawls it to depth 5, the whole
site, with tarnwick-crawl --ignore-robots (as wget2 runs) at the default queue limit (5000:
most links wait in the overflow, and beyond 1,000 of them in its spill file), with
tarnwick-crawl --max-queue 1000000 (the queue never fills) and with wget2 (--level=4
--filter-urls, the same pages), in paired rounds. Requests, pages fetched and pages fetched more
than once are counted from nginx's log, and a ratio to wget2 stands only where both made the
same requests; addresses found are checked against gensite's list; wall time is the child's,
CPU time and peak memory come from the kernel's accounting of the crawler (GNU time, wait4).
The spill file's folder (TMPDIR) must be empty after each tarnwick-crawl run. The scratch
folder (sites, output, spill) is on tmpfs when there is one. nginx is stopped before the script
ends.
"""

import argparse
import collections
import datetime
import json
import os
import re
import shutil
import statistics
import tempfile

from benchlib import (HERE, RequestLog, Servers, Site, run_measured, same_requests_note,
                      scratch_folder, wget2_cmd)

DEPTH = 5


def commands(build, start, out):
    crawl = os.path.join(build, "cli", "tarnwick-crawl")
    # robots.txt not asked for, as wget2 runs here, so that both make the same requests.
    tarnwick = [crawl, "--depth", str(DEPTH), "--no-proxy", "--ignore-robots", "--format", "tsv",
                "-q", "-o", os.path.join(out, "harvest.tsv")]
    return {
        "tarnwick-crawl": tarnwick + [start],
        "tarnwick-crawl --max-queue 1000000": tarnwick + ["--max-queue", "1000000", start],
        "wget2": wget2_cmd(start, out, DEPTH - 1, 6, ["-nH"]),
    }


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
    mark = log.mark()
    m = run_measured(commands(build, start, out)[name], work, env)
    requests = log.since(mark)
    want, found = addresses(expected, out, name == "wget2")
    result = {"name": name, "code": m.code, "wall": m.wall, "cpu": m.cpu,
              "rss_mb": m.peak_kib / 1024.0, "requests": requests.total,
              "requests_text": requests.text(), "pages": sum(requests.pages.values()),
              "distinct": len(requests.pages), "addresses": found, "expected": want,
              "spill_left": len(os.listdir(spill))}
    if m.code != 0 and name != "wget2":  # wget2's 8 only means a 404 somewhere
        result["error"] = m.err.strip()[-300:]
    shutil.rmtree(out, ignore_errors=True)
    shutil.rmtree(spill, ignore_errors=True)
    return result


def table(results, site_pages, runs):
    by_name = collections.defaultdict(list)
    for r in results:
        by_name[r["name"]].append(r)
    wget2 = by_name["wget2"]
    unlimited = by_name["tarnwick-crawl --max-queue 1000000"]

    def paired(rows, ref, key, digits):
        # A ratio stands only where both runs of every pair made the same requests.
        if same_requests_note([r["requests"] for r in rows], [w["requests"] for w in ref]):
            return "—"
        return "%.*f" % (digits, statistics.median(r[key] / w[key] for r, w in zip(rows, ref)))

    lines = ["| crawler | runs | requests | pages fetched (distinct) | addresses found | wall s | "
             "CPU s | peak MB | peak / wget2 | peak / unlimited | CPU / unlimited | "
             "spill files left |", "|---|---:|---|---|---|---:|---:|---:|---:|---:|---:|---:|"]
    for name, rows in by_name.items():
        med = lambda key: statistics.median(r[key] for r in rows)
        last = rows[-1]
        requests = " / ".join(sorted({r["requests_text"] for r in rows}))
        note = same_requests_note([r["requests"] for r in rows], [w["requests"] for w in wget2])
        if note:
            requests += "; **%s** (wget2)" % note
        lines.append("| %s | %d | %s | %d (%d) of %d | %d of %d | %.2f | %.2f | %.1f | %s | %s "
                     "| %s | %s |" % (
                         name, len(rows), requests, last["pages"], last["distinct"], site_pages,
                         last["addresses"], last["expected"], med("wall"), med("cpu"),
                         med("rss_mb"), paired(rows, wget2, "rss_mb", 2),
                         paired(rows, unlimited, "rss_mb", 3), paired(rows, unlimited, "cpu", 3),
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

    work = (tempfile.mkdtemp(prefix="queue-bench-", dir=args.work) if args.work
            else scratch_folder("queue-bench-"))
    os.chmod(work, 0o755)
    servers = Servers(work)
    try:
        site = Site(work, "queue", (args.fanout, args.levels))
        expected = site.expected
        site_pages = site.pages_to(DEPTH)
        log = RequestLog(site.log)
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
                    "defaults apart from `--depth %d --ignore-robots`, its spill folder TMPDIR a "
                    "fresh folder per run; wget2 `-r --level=%d --max-threads=6 --filter-urls`. "
                    "Requests and pages fetched from nginx's log (the last run's), medians of "
                    "wall, CPU and peak memory, peak memory and CPU paired with the runs of the "
                    "same round.\n\n%s\n"
                    % (datetime.date.today().isoformat(), args.fanout, args.levels, args.runs,
                       site_pages, DEPTH, DEPTH, DEPTH - 1, text))
    finally:
        servers.stop()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
