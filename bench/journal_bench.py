#!/usr/bin/python3
"""What the run journal costs, and whether a crawl killed again and again still ends whole.

Usage: journal_bench.py BUILD_DIR [--rounds 5] [--kills 20] [--series 3] [--work DIR]
                        [--results bench/RESULTS.md]

Cost: the 3,613-page site of the scale benchmark on nginx, crawled to depth 5 by tarnwick-crawl
without and with --journal, in paired rounds (the order alternates by round); wall and CPU time,
the journal's size. Kills: the site of gensite.py --fanout 8 --levels 5 to depth 4 (585 pages) on
the 50 ms server; an uninterrupted crawl first, then series in which tarnwick-crawl --journal is
killed (SIGKILL) at a random moment 0.2 to 0.4 s after each start, and resumed with --resume,
KILLS times, then resumed until it ends. Each series' harvest is compared, as a set, with the
uninterrupted one, and the server's log of arriving requests tells how often each page was
asked for in the series (downloads cut short by a kill included).
The results are appended to RESULTS.md under their own heading.
"""

import argparse
import collections
import datetime
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from benchlib import Servers, Site, median, run_measured  # noqa: E402
from run_bench import SCALE_SITE, tarnwick_cmd  # noqa: E402

KILL_SITE = (8, 5)
KILL_DEPTH = 4


def harvest(path):
    with open(path, encoding="latin-1") as f:
        lines = f.read().splitlines()
    return set(lines), len(lines) - len(set(lines))


def cost(build, work, servers, rounds):
    site = Site(work, "journal-cost", SCALE_SITE)
    servers.nginx(site)
    depth = site.levels
    out = tempfile.mkdtemp(prefix="cost-", dir=work)
    journal = os.path.join(out, "crawl.journal")
    plain = tarnwick_cmd(build, site.start_url(), out, depth)
    journalled = plain[:-1] + ["--journal", journal, plain[-1]]
    runs = {"without": [], "with": []}
    sizes = []
    print("Journal cost: %d pages on nginx, %d rounds..." % (site.pages_to(depth), rounds),
          file=sys.stderr)
    for r in range(rounds):
        order = [("without", plain), ("with", journalled)]
        for name, cmd in (order if r % 2 == 0 else order[::-1]):
            m = run_measured(cmd, work)
            wall, cpu = m.wall, m.cpu
            if m.code != 0:
                raise RuntimeError("%s failed: %s" % (name, m.err))
            runs[name].append((wall, cpu))
            if name == "with":
                sizes.append(os.path.getsize(journal))
            print("  %-8s wall %.2f s  cpu %.2f s" % (name, wall, cpu), file=sys.stderr)
    ratios = [w[0] / p[0] for w, p in zip(runs["with"], runs["without"])]
    cpu_ratios = [w[1] / p[1] for w, p in zip(runs["with"], runs["without"])]
    shutil.rmtree(out, ignore_errors=True)
    pages = site.pages_to(depth)
    lines = ["### Cost", "",
             "%d pages on nginx to depth %d, %d paired rounds (medians):" % (pages, depth, rounds),
             "",
             "| run | wall s | CPU s | journal |",
             "|---|---:|---:|---:|",
             "| without journal | %.3f | %.3f | |" % (median([w for w, _ in runs["without"]]),
                                                   median([c for _, c in runs["without"]])),
             "| `--journal` | %.3f | %.3f | %.1f MB, %d bytes a page |"
             % (median([w for w, _ in runs["with"]]), median([c for _, c in runs["with"]]),
                median(sizes) / 1e6, median(sizes) / pages),
             "",
             "Wall time with the journal to without, median of paired ratios: %.3f (goal: at "
             "most 1.10, %s); CPU time: %.3f." % (median(ratios), "met" if median(ratios) <= 1.10
                                                  else "NOT met", median(cpu_ratios)), ""]
    return lines


def run_until(cmd, seconds):
    """Starts cmd; kills it after seconds unless it ended first. True when it was killed."""
    proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    try:
        proc.wait(timeout=seconds)
        err = proc.stderr.read().decode(errors="replace")
        if proc.returncode != 0:
            raise RuntimeError("%s ended with %d: %s" % (cmd, proc.returncode, err))
        return False
    except subprocess.TimeoutExpired:
        proc.send_signal(signal.SIGKILL)
        proc.wait()
        return True
    finally:
        proc.stderr.close()


def fetches_since(log, offset):
    with open(log) as f:
        f.seek(offset)
        lines = f.read().splitlines()
    counts = collections.Counter()
    for uri in lines:
        if uri.split("?")[0].endswith(".html"):
            counts[uri] += 1
    return counts


def kills(build, work, servers, kill_count, series):
    site = Site(work, "journal-kills", KILL_SITE)
    # Requests are counted as they arrive: a download cut short by a kill is a fetch too.
    arrivals = os.path.join(work, "kills-arrivals.log")
    servers.procs.append(subprocess.Popen(
        [sys.executable, os.path.join(HERE, "slowserver.py"), "--root", site.root,
         "--port", str(site.port), "--delay-ms", "50", "--log", site.log, "--arrivals", arrivals],
        stdout=subprocess.DEVNULL))
    servers.wait(site)
    out = tempfile.mkdtemp(prefix="kills-", dir=work)
    cmd = tarnwick_cmd(build, site.start_url(), out, KILL_DEPTH)
    output = os.path.join(out, "harvest.tsv")
    journal = os.path.join(out, "crawl.journal")
    begin = time.monotonic()
    run_until(cmd, 600)
    whole_time = time.monotonic() - begin
    whole, _ = harvest(output)
    pages = site.pages_to(KILL_DEPTH)
    print("Kills: %d pages on the 50 ms server, uninterrupted %.1f s, %d results..."
          % (pages, whole_time, len(whole)), file=sys.stderr)
    rows = []
    for s in range(series):
        rng = random.Random(s + 1)
        os.remove(output)
        offset = os.path.getsize(arrivals)
        start = cmd[:-1] + ["--journal", journal, cmd[-1]]
        resume = [cmd[0], "--resume", journal, "--format", "tsv", "-q", "-o", output]
        killed = 0
        ended = False
        while killed < kill_count and not ended:
            ended = not run_until(resume if killed else start, rng.uniform(0.2, 0.4))
            killed += 0 if ended else 1
        resumes = killed
        if not ended:
            run_until(resume, 600)
        got, duplicates = harvest(output)
        counts = fetches_since(arrivals, offset)
        most = max(counts.values())
        rows.append((s + 1, killed, resumes, got == whole, len(got), duplicates, len(counts),
                     sum(counts.values()), sum(1 for c in counts.values() if c == 2), most))
        print("  series %d: %d kills, harvest %s, most fetches of a page %d"
              % (s + 1, killed, "equal" if got == whole else "DIFFERENT", most), file=sys.stderr)
    shutil.rmtree(out, ignore_errors=True)
    lines = ["### Kills", "",
             "%d pages (gensite `--fanout %d --levels %d`, depth %d) on the 50 ms server; the "
             "uninterrupted crawl took %.1f s and found %d results. Each series kills "
             "tarnwick-crawl %d times, 0.2 to 0.4 s after each start, and resumes it until it "
             "ends." % (pages, KILL_SITE[0], KILL_SITE[1], KILL_DEPTH, whole_time, len(whole),
                        kill_count), "",
             "| series | kills | harvest equal | results | duplicate lines | pages fetched | "
             "fetches | pages fetched twice | most fetches of one page |",
             "|---:|---:|---|---:|---:|---:|---:|---:|---:|"]
    for s, k, _, equal, n, dup, distinct, total, twice, most in rows:
        lines.append("| %d | %d | %s | %d | %d | %d | %d | %d | %d |"
                     % (s, k, "yes" if equal else "NO", n, dup, distinct, total, twice, most))
    ok = all(r[3] for r in rows) and all(r[9] <= 2 for r in rows)
    lines += ["", "Every harvest equals the uninterrupted one and no page was fetched more than "
              "twice: %s." % ("met" if ok else "NOT met"), ""]
    return lines


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--kills", type=int, default=20)
    parser.add_argument("--series", type=int, default=3)
    parser.add_argument("--work")
    parser.add_argument("--results", default=os.path.join(HERE, "RESULTS.md"))
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    work = args.work or tempfile.mkdtemp(prefix="journal-bench-")
    os.makedirs(work, exist_ok=True)
    servers = Servers(work)
    try:
        lines = ["## Run journal (journal_bench.py, %s)" % datetime.datetime.now(
            datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC"), ""]
        lines += cost(build, work, servers, args.rounds)
        lines += kills(build, work, servers, args.kills, args.series)
    finally:
        servers.stop()
    text = "\n".join(lines) + "\n"
    print(text)
    with open(args.results, "a") as f:
        f.write("\n" + text)
    if not args.work:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
