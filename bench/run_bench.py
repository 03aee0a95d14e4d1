#!/usr/bin/python3
"""Whole crawls against wget2 with the same requests, the window's crawl, a cost curve, a soak
and the micro benchmarks, written as one report with its goals.

Usage: run_bench.py BUILD_DIR [--quick] [--runs 3] [--fast-repeats 5] [--large-runs 7]
                     [--window-pairs 5] [--with-paced] [--only SECTION,...]
                     [--soak-minutes 3] [--results bench/RESULTS.md]

Sections (all by default; --only picks some):
  startup  CPU time of a run of --version of each crawler: the start-up, shown apart;
  scale    the 3,613-page site (gensite.py --fanout 12, five levels) on nginx, crawled to depth
           4 and 5 by tarnwick-crawl and wget2 (--level 3 and 4), RUNS rounds of FAST_REPEATS
           pairs; and on the 50 ms server (slowserver.py) at concurrency 6 and 50, RUNS pairs;
  large    the 30,746-page site (fanout 11, six levels) on nginx, crawled whole, LARGE_RUNS
           pairs;
  window   the window (bench/WindowCrawl, offscreen) on the demo site, paced and adaptive, and
           on the 3,613-page site against tarnwick-crawl's same crawl, WINDOW_PAIRS pairs;
  curve    nginx sites of about 3,000, 30,000 and 100,000 pages, crawled whole by both (sizes
           already measured by scale and large are taken from there);
  soak     one long run of tarnwick-crawl over a list that names the 30,000-page site again and
           again, its memory read every 10 s;
  sites    the list workload (sites_bench.py): 200 small sites at their own loopback addresses;
  micro    the Google Benchmark programs, and the whole analysis pipeline against 1 GB/s.
--with-paced adds tarnwick-crawl --paced on the 50 ms server and the paced window on the
3,613-page site (two minutes each). --quick crawls the small 259-page site (fanout 6) in scale
and window, with wget and HTTrack beside, and skips large, curve and soak: start-up then weighs
heavily in every figure.

wget2 runs with --filter-urls and the reject list of benchlib.PEER_REJECT, so it never fetches
the files that tarnwick-crawl only reports. Every server logs each request it answers; each
run's requests are read from that log between the run's start and end, and shown in every row.
A row whose requests differ from its paired peer's says so and claims no ratio and no goal.
Sites and crawl output live on tmpfs (/dev/shm) when there is one. Wall time is the child's,
CPU time (user and system apart) and peak memory come from the kernel's accounting of the child
(wait4, GNU time). Goals are reported met or not met; they never fail anything. Text below a
line "<!-- written by hand below -->" in the results file is kept.
"""

import argparse
import datetime
import json
import os
import platform
import shutil
import signal
import subprocess
import sys
import time

import sites_bench
import window_bench
from benchlib import (PEER_REJECT, TMPFS, RequestLog, Servers, Site, median, run_measured,
                      scratch_folder, tmpfs_available, wget2_cmd)
from pairs import (TABLE_HEAD, Startup, found_text, paired_rounds, ratio_goal, summarise,
                   table_line, verdict)

HTTRACK_SECONDS = 30
HAND_MARKER = "<!-- written by hand below -->"
# Site shapes (fanout, levels): pages = 1 + f + f^2 + ... + f^(levels-2), twice the last level.
SCALE_SITE = (12, 5)
QUICK_SITE = (6, 5)
LARGE_SITE = (11, 6)
CURVE_SITES = [SCALE_SITE, LARGE_SITE, (15, 6)]
SLOW_BOUND = 120  # pages/s: 6 downloads, each answer 50 ms late
PIPELINE_GOAL = 1e9  # bytes/s of the whole analysis pipeline on the 1 MB page
SECTIONS = ("startup", "scale", "large", "window", "curve", "soak", "sites", "micro")


# ---- crawlers

def tarnwick_cmd(build, start, out, depth, conc=6, extra=()):
    # As the peers run here: robots.txt not asked for, every link followed.
    return [os.path.join(build, "cli", "tarnwick-crawl"), "-d", str(depth), "-c", str(conc),
            "--no-proxy", "--all-types", "--format", "tsv", "-q",
            "-o", os.path.join(out, "harvest.tsv"), "--ignore-robots", "--follow", "all"] + \
        list(extra) + [start]


def peer_cmd(depth, conc=6):
    # wget2 counts levels below the start page; the engine counts the start page as 1.
    return lambda start, out: wget2_cmd(start, out, depth - 1, conc, ["-nH"])


def wget_cmd(start, out, depth):
    return ["wget", "-r", "--level=%d" % (depth - 1), "-e", "robots=off", "-q", "-nH", "-P", out,
            "--reject=" + PEER_REJECT, start]


def httrack_cmd(start, out, depth):
    # HTTrack counts the start page as depth 1, like the engine; its default rate limits would
    # measure the limits, not the crawler. It still paces itself at about a page a second here,
    # so its crawl is cut after HTTRACK_SECONDS and measured as far as it got.
    return ["httrack", start, "-O", out, "-r%d" % depth, "-c6", "-%c100", "-A100000000",
            "--disable-security-limits", "-q", "-s0", "-I0", "-%P0",
            "-E%d" % HTTRACK_SECONDS] + ["-*." + t for t in PEER_REJECT.split(",")]


# ---- sections

def answer_ms(site, pages=20):
    """Median time the server takes for one page, asked one after another on one connection."""
    import http.client
    conn = http.client.HTTPConnection("127.0.0.1", site.port, timeout=10)
    times = []
    for _ in range(pages):
        begin = time.monotonic()
        conn.request("GET", "/index.html")
        conn.getresponse().read()
        times.append((time.monotonic() - begin) * 1000)
    conn.close()
    return median(times)


def section_startup(build, work):
    print("Start-up (--version)...", file=sys.stderr)
    startup = Startup()
    for key, cmd in (("tarnwick", [os.path.join(build, "cli", "tarnwick-crawl"), "--version"]),
                     ("wget2", ["wget2", "--version"])):
        startup.cpu[key] = median(run_measured(cmd, work).cpu for _ in range(9))
    lines = ["## Start-up", "",
             "CPU time of a run of `--version` (median of 9), taken out of the net CPU per page "
             "in every table: tarnwick-crawl %.1f ms, wget2 %.1f ms."
             % (startup.cpu["tarnwick"] * 1000, startup.cpu["wget2"] * 1000), ""]
    return startup, lines


def nginx_goals(label, row, goals, memory=False):
    """The goals of a whole crawl on nginx at concurrency 6 against wget2."""
    optional = lambda key: "%.2f" % row[key] if key in row else "—"
    goals.append("- nginx, %s, c6, %d pairs: %s; %s; CPU per page to wget2 with the start-up "
                 "taken out %s; user CPU to wget2 %s, system CPU %s; %s"
                 % (label, row.get("pairs", 0),
                    ratio_goal(row, "cpu_ratio", 1, "CPU per page to wget2, start-up included,"),
                    ratio_goal(row, "wall_ratio", 1, "wall to wget2"), optional("net_ratio"),
                    optional("user_ratio"), optional("sys_ratio"),
                    found_text(row) + ("" if row.get("missing_max") == 0
                                       else " (every expected address: not met)")))
    if memory:
        goals.append("- nginx, %s: peak memory %.1f MB, %s"
                     % (label, row["rss_mb"], ratio_goal(row, "rss_ratio", 2, "to wget2")))


def section_scale(build, work, servers, startup, args, measured, goals):
    shape = QUICK_SITE if args.quick else SCALE_SITE
    fast = Site(work, "scale-nginx", shape)
    slow = Site(work, "scale-slow", shape)
    servers.nginx(fast)
    servers.slow(slow)
    deep = fast.levels
    shallow = deep - 1
    print("Scale: %d pages on nginx and on the 50 ms server..." % fast.pages_to(deep),
          file=sys.stderr)
    t = lambda d, c=6, extra=(): (lambda s, o: tarnwick_cmd(build, s, o, d, c, extra))
    peer = {"tarnwick-crawl -d %d" % shallow: "wget2 --level=%d" % (shallow - 1),
            "tarnwick-crawl -d %d" % deep: "wget2 --level=%d" % (deep - 1),
            "tarnwick-crawl -c 6": "wget2 -c 6", "tarnwick-crawl -c 50": "wget2 -c 50",
            "tarnwick-crawl -c 6 --paced": "wget2 -c 6"}
    fast_configs = [("tarnwick-crawl -d %d" % shallow, fast, t(shallow), shallow),
                    ("wget2 --level=%d" % (shallow - 1), fast, peer_cmd(shallow), None),
                    ("tarnwick-crawl -d %d" % deep, fast, t(deep), deep),
                    ("wget2 --level=%d" % (deep - 1), fast, peer_cmd(deep), None)]
    slow_configs = [("tarnwick-crawl -c 6", slow, t(deep), deep),
                    ("wget2 -c 6", slow, peer_cmd(deep), None),
                    ("tarnwick-crawl -c 50", slow, t(deep, 50), deep),
                    ("wget2 -c 50", slow, peer_cmd(deep, 50), None)]
    if args.with_paced:
        slow_configs.append(("tarnwick-crawl -c 6 --paced", slow, t(deep, 6, ["--paced"]), deep))
    if args.quick:
        fast_configs += [("wget --level=%d" % (shallow - 1), fast,
                          lambda s, o: wget_cmd(s, o, shallow), None),
                         ("httrack -r%d" % shallow, fast,
                          lambda s, o: httrack_cmd(s, o, shallow), None)]
    slow_ms = answer_ms(slow)
    once = {"httrack -r%d" % shallow, "tarnwick-crawl -c 6 --paced"}
    fast_res = paired_rounds(fast_configs, args.runs, args.fast_repeats, work, once)
    slow_res = paired_rounds(slow_configs, args.runs, 1, work, once)
    measured[shape] = (fast_res["tarnwick-crawl -d %d" % deep],
                       fast_res["wget2 --level=%d" % (deep - 1)])

    rows = {}
    lines = ["## Whole crawls at scale", "",
             "Site: `gensite.py --fanout %d --levels %d`, %d pages of depth <= %d and %d of depth "
             "<= %d. nginx: %d rounds of %d pairs each (%d pairs); 50 ms server (to depth %d): %d "
             "pairs. Ratios are medians of paired ratios (each run against the wget2 run of the "
             "same round and repeat; below 1 is better for tarnwick-crawl); \"net\" is CPU time "
             "less the crawler's start-up."
             % (shape[0], shape[1], fast.pages_to(deep), deep, fast.pages_to(shallow), shallow,
                args.runs, args.fast_repeats, args.runs * args.fast_repeats, deep, args.runs),
             ""] + TABLE_HEAD
    for server, res in (("nginx", fast_res), ("50 ms", slow_res)):
        for name, runs in res.items():
            row = summarise(runs, startup, res.get(peer.get(name)))
            rows[(server, name)] = row
            lines.append(table_line(server, name, row))
    lines.append("")

    label = "%d pages (depth %d)" % (fast.pages_to(deep), deep)
    nginx_goals(label, rows[("nginx", "tarnwick-crawl -d %d" % deep)], goals, memory=True)
    r6, r50 = rows[("50 ms", "tarnwick-crawl -c 6")], rows[("50 ms", "tarnwick-crawl -c 50")]
    goals.append("- 50 ms server, c6, %d runs: %.1f pages/s, %.0f %% of the bound of %d (at least "
                 "95 %%): %s; %s. The server itself takes %.1f ms a page (median of 20 asked in "
                 "turn on one connection), which makes its own bound %.0f pages/s; of that, %.0f %%."
                 % (r6["runs"], r6["rate"], r6["rate"] / SLOW_BOUND * 100, SLOW_BOUND,
                    verdict(r6["rate"] >= 0.95 * SLOW_BOUND), found_text(r6), slow_ms,
                    6000 / slow_ms, r6["rate"] / (6000 / slow_ms) * 100))
    goals.append("- 50 ms server, c50, %d pairs: %s; %s"
                 % (r50.get("pairs", 0), ratio_goal(r50, "wall_ratio", 1, "wall to wget2"),
                    found_text(r50)))
    return fast, lines


def section_large(build, work, servers, startup, args, measured, goals):
    site = Site(work, "large", LARGE_SITE)
    servers.nginx(site)
    depth = site.levels
    pages = site.pages_to(depth)
    print("Large: %d pages on nginx, %d pairs..." % (pages, args.large_runs), file=sys.stderr)
    configs = [("tarnwick-crawl", site, lambda s, o: tarnwick_cmd(build, s, o, depth), depth),
               ("wget2", site, peer_cmd(depth), None)]
    res = paired_rounds(configs, args.large_runs, 1, work)
    measured[LARGE_SITE] = (res["tarnwick-crawl"], res["wget2"])
    servers.stop()
    shutil.rmtree(site.root, ignore_errors=True)
    t = summarise(res["tarnwick-crawl"], startup, res["wget2"])
    nginx_goals("%d pages (depth %d)" % (pages, depth), t, goals)
    return ["## A large site on nginx", "",
            "Site: `gensite.py --fanout %d --levels %d`, %d pages, crawled whole (tarnwick-crawl "
            "-d %d, wget2 --level=%d), %d pairs in alternating order." % (
                LARGE_SITE[0], LARGE_SITE[1], pages, depth, depth - 1, args.large_runs), ""] + \
        TABLE_HEAD + [table_line("nginx", "tarnwick-crawl -d %d" % depth, t),
                      table_line("nginx", "wget2 --level=%d" % (depth - 1),
                                 summarise(res["wget2"], startup)), ""]


def section_curve(build, work, servers, startup, args, measured):
    lines = ["## Cost curve on nginx", "",
             "Each site crawled whole (tarnwick-crawl to its last level, wget2 one level less, "
             "as it counts below the start page), paired runs; sizes measured above are taken "
             "from there.", ""] + TABLE_HEAD
    rows = []
    for shape in CURVE_SITES:
        if shape in measured:
            ours, peers = measured[shape]
            pages = median(r["pages"] for r in ours)
        else:
            site = Site(work, "curve-%d-%d" % shape, shape)
            servers.nginx(site)
            depth = site.levels
            pages = site.pages_to(depth)
            runs = args.runs if pages < 50000 else max(1, args.runs - 1)
            print("Curve: %d pages, %d runs..." % (pages, runs), file=sys.stderr)
            configs = [("tarnwick-crawl", site,
                        lambda s, o, d=depth: tarnwick_cmd(build, s, o, d), depth),
                       ("wget2", site, peer_cmd(depth), None)]
            res = paired_rounds(configs, runs, 1, work)
            ours, peers = res["tarnwick-crawl"], res["wget2"]
            servers.stop()
            shutil.rmtree(site.root, ignore_errors=True)
        t, w = summarise(ours, startup, peers), summarise(peers, startup)
        rows.append((pages, t, w))
        lines.append(table_line("%d pages" % pages, "tarnwick-crawl", t))
        lines.append(table_line("%d pages" % pages, "wget2", w))
    lines.append("")
    first, last = rows[0], rows[-1]
    growth = last[1]["net_us_page"] / first[1]["net_us_page"] - 1
    lines.append("- tarnwick-crawl's net CPU per page from %d to %d pages: %.0f to %.0f µs, "
                 "%+.0f %% (at most +30 %%): %s" % (first[0], last[0], first[1]["net_us_page"],
                                                   last[1]["net_us_page"], growth * 100,
                                                   verdict(growth <= 0.30)))
    for label, index in (("tarnwick-crawl", 1), ("wget2", 2)):
        a, b = first[index], last[index]
        per_page = (b["rss_mb"] - a["rss_mb"]) * 1048576 / max(last[0] - first[0], 1)
        lines.append("- %s peak memory: %.1f MB at %d pages, %.1f MB at %d pages: %.0f bytes "
                     "per further page (each a visited URL, and a queued one on its way)"
                     % (label, a["rss_mb"], first[0], b["rss_mb"], last[0], per_page))
    return lines + [""]


def rss_kib(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def section_soak(build, work, servers, args):
    shape = CURVE_SITES[1]
    site = Site(work, "soak", shape)
    servers.nginx(site)
    listing = os.path.join(work, "soak-list.txt")
    # The list skips an entry it has had before, so each names the start page another way.
    with open(listing, "w") as f:
        f.writelines("%s?round=%d\n" % (site.start_url(), k) for k in range(10000))
    seconds = args.soak_minutes * 60
    print("Soak: %g minutes..." % args.soak_minutes, file=sys.stderr)
    cmd = [os.path.join(build, "cli", "tarnwick-crawl"), "-d", str(site.levels), "--no-proxy",
           "--ignore-robots", "--follow", "all", "-q", "--format", "tsv", "-o", os.devnull,
           "--list", listing]
    log = RequestLog(site.log)
    mark = log.mark()
    proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    samples = []
    begin = time.monotonic()
    ended = None
    try:
        while time.monotonic() - begin < seconds and proc.poll() is None:
            time.sleep(10)
            kib = rss_kib(proc.pid)
            if kib is not None:
                samples.append((time.monotonic() - begin, kib))
        if proc.poll() is not None:
            ended = time.monotonic() - begin
    finally:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
    requests = log.since(mark)
    pages = sum(requests.pages.values())
    servers.stop()
    shutil.rmtree(site.root, ignore_errors=True)
    after = [k for t, k in samples if t >= 60]
    lines = ["## Soak", "",
             "tarnwick-crawl --list over the %d-page site named again and again (a query of "
             "its own on each start page), for %g minutes: %d pages fetched (%.0f pages/s), %s "
             "requests. Resident memory every 10 s, in MB:"
             % (site.pages_to(site.levels), args.soak_minutes, pages,
                pages / max(samples[-1][0] if samples else 1, 1), requests.text()), "",
             " ".join("%.1f" % (k / 1024) for _, k in samples), ""]
    if ended is not None:
        lines.append("- the crawler ended by itself after %.0f s, before the soak's time: "
                     "not a soak" % ended)
    if len(after) >= 2:
        # Each list entry is a crawl of its own, so memory rises and falls with it: compare the
        # peaks of the two halves after the first minute, not one sample with another.
        early, late = after[:len(after) // 2], after[len(after) // 2:]
        growth = max(late) / max(early) - 1
        lines.append("- after the first minute: peak %.1f MB in the first half, %.1f MB in the "
                     "second, %.1f MB at the end; growth %.1f %% (at most 5 %%): %s"
                     % (max(early) / 1024, max(late) / 1024, after[-1] / 1024, growth * 100,
                        verdict(growth <= 0.05)))
    return lines + [""]


def micro_benchmarks(build):
    """Runs the Google Benchmark programs briefly; returns table lines."""
    lines = ["## Micro benchmarks (--benchmark_min_time=0.05)", "",
             "| program | benchmark | time | counters |", "|---|---|---:|---|"]
    for program in ("PageAnalysisBench", "PageMemoryBench", "VisitedUrlsBench", "StopFetchBench"):
        path = os.path.join(build, "bench", program)
        if not os.path.exists(path):
            lines.append("| %s | not built | | |" % program)
            continue
        proc = subprocess.run([path, "--benchmark_min_time=0.05", "--benchmark_format=json"],
                              capture_output=True, text=True)
        try:
            data = json.loads(proc.stdout)
        except ValueError:
            lines.append("| %s | failed (exit %d) | | |" % (program, proc.returncode))
            continue
        for b in data.get("benchmarks", []):
            extra = []
            if "bytes_per_second" in b:
                extra.append("%.0f MB/s" % (b["bytes_per_second"] / 1e6))
            for key in ("bytes_per_entry", "list_MB", "process_MB", "entries", "links/page"):
                if key in b:
                    extra.append("%s %.1f" % (key, b[key]))
            lines.append("| %s | %s | %.3g %s | %s |" % (program, b["name"], b["real_time"],
                                                          b["time_unit"], ", ".join(extra)))
    return lines + [""]


def pipeline_goal(build):
    """The whole analysis pipeline on the 1 MB page, median of 5 repetitions, against 1 GB/s."""
    path = os.path.join(build, "bench", "PageAnalysisBench")
    if not os.path.exists(path):
        return "- Micro: PageAnalysisBench is not built"
    proc = subprocess.run([path, "--benchmark_filter=^BM_WholePipeline$",
                           "--benchmark_min_time=0.2", "--benchmark_repetitions=5",
                           "--benchmark_report_aggregates_only=true",
                           "--benchmark_format=json"], capture_output=True, text=True)
    try:
        rates = [b["bytes_per_second"] for b in json.loads(proc.stdout)["benchmarks"]
                 if b.get("aggregate_name") == "median"]
    except (ValueError, KeyError):
        rates = []
    if not rates:
        return "- Micro: BM_WholePipeline failed (exit %d)" % proc.returncode
    return ("- Micro: BM_WholePipeline (1 MB page) %.0f MB/s, median of 5 repetitions (at least "
            "%.0f MB/s): %s" % (rates[0] / 1e6, PIPELINE_GOAL / 1e6,
                                verdict(rates[0] >= PIPELINE_GOAL)))


def machine():
    model = "unknown"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    with open("/proc/meminfo") as f:
        mem_kib = int(f.readline().split()[1])
    load = os.getloadavg()
    return ("%d CPUs (nproc), %s, %.1f GiB memory, %s; load average before the run %.2f"
            % (os.cpu_count(), model, mem_kib / 1048576, platform.platform(), load[0]))


def versions():
    out = []
    for cmd in (["nginx", "-v"], ["wget2", "--version"], ["wget", "--version"],
                ["httrack", "--version"]):
        try:
            p = subprocess.run(cmd, capture_output=True, text=True, timeout=10)
            text = (p.stdout + p.stderr).strip().splitlines()
            out.append(text[0] if text else cmd[0])
        except (OSError, subprocess.TimeoutExpired):
            out.append(cmd[0] + ": missing")
    return out


def source_commit():
    """The commit of the tree whose scripts run (the build is assumed to be of it)."""
    try:
        p = subprocess.run(["git", "-C", os.path.dirname(os.path.abspath(__file__)), "log",
                            "-1", "--format=%h %s"], capture_output=True, text=True, timeout=10)
        return p.stdout.strip() or "unknown"
    except (OSError, subprocess.TimeoutExpired):
        return "unknown"


def hand_written(path):
    if not os.path.exists(path):
        return ""
    with open(path) as f:
        text = f.read()
    at = text.find(HAND_MARKER)
    return text[at:] if at >= 0 else ""


def load_text():
    return "load average %.2f / %.2f / %.2f (1, 5, 15 min)" % os.getloadavg()


def run_sections(build, work, sections, args, goals):
    """Runs the crawling sections in an order that lets later ones reuse earlier sites."""
    servers = Servers(work)
    report, measured = [], {}
    try:
        startup = Startup()
        if sections & {"startup", "scale", "large", "window", "curve"}:
            startup, lines = section_startup(build, work)
            report += lines
        big = None
        if "scale" in sections:
            big, lines = section_scale(build, work, servers, startup, args, measured, goals)
            report += lines + ["(%s at the end of this section)" % load_text(), ""]
        if "window" in sections:
            if big is None and not args.quick:
                big = Site(work, "window-big", SCALE_SITE)
                servers.nginx(big)
            report += window_bench.section(build, work, servers, big, args, startup, goals)
        servers.stop()
        if "large" in sections:
            report += section_large(build, work, servers, startup, args, measured, goals)
            report += ["(%s at the end of this section)" % load_text(), ""]
        if "curve" in sections:
            report += section_curve(build, work, servers, startup, args, measured)
        if "soak" in sections:
            report += section_soak(build, work, servers, args)
    finally:
        servers.stop()
    if "sites" in sections:
        print("Many sites at once...", file=sys.stderr)
        report += sites_bench.section(build, argparse.Namespace(
            sites=50 if args.quick else 200, rounds=max(args.runs, 3),
            big=0 if args.quick else 2000, polite=0 if args.quick else 20))
    if "micro" in sections:
        print("Micro benchmarks...", file=sys.stderr)
        report += micro_benchmarks(build)
        goals.append(pipeline_goal(build))
    return report


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build")
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--fast-repeats", type=int, default=5)
    parser.add_argument("--large-runs", type=int, default=7)
    parser.add_argument("--window-pairs", type=int, default=5)
    parser.add_argument("--with-paced", action="store_true")
    parser.add_argument("--only", default=",".join(SECTIONS))
    parser.add_argument("--soak-minutes", type=float, default=3)
    parser.add_argument("--results", default=os.path.join(os.path.dirname(
        os.path.abspath(__file__)), "RESULTS.md"))
    args = parser.parse_args()
    sections = set(args.only.split(","))
    unknown = sections - set(SECTIONS)
    if unknown:
        parser.error("unknown sections: " + ", ".join(sorted(unknown)))
    if args.quick:
        sections -= {"large", "curve", "soak"}
    build = os.path.abspath(args.build)
    begin = time.monotonic()
    when = datetime.datetime.now().astimezone().strftime("%Y-%m-%d %H:%M %Z")
    machine_text, peers = machine(), versions()  # the load average before anything runs
    work = scratch_folder("tarnwick-bench-")
    goals = []
    try:
        body = run_sections(build, work, sections, args, goals)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    minutes = (time.monotonic() - begin) / 60
    report = ["# Benchmark results", "",
              "Written by `bench/run_bench.py` (`make bench`); numbers from one invocation.", "",
              "- Date: " + when, "- Machine: " + machine_text + "; at the end " + load_text(),
              "- Source: " + source_commit(), "- Peers: " + "; ".join(peers),
              "- Sections: " + ", ".join(s for s in SECTIONS if s in sections)
              + (" (quick)" if args.quick else "") + "; %.1f minutes in all" % minutes,
              "- Sites and crawl output on %s: both crawlers write there, so disk writes stay "
              "out of the comparison (wget2 must save the pages it parses)"
              % (TMPFS + " (tmpfs)" if tmpfs_available() else "disk (no tmpfs found)"),
              "- wget2 runs with `--filter-urls --reject=%s` (files never fetched, as "
              "tarnwick-crawl only reports them); requests are counted at the server for every "
              "run" % PEER_REJECT, ""]
    if goals:
        report += ["## Goals", "",
                   "Medians of paired runs of this invocation; a goal is met or not met and fails "
                   "nothing. Where the paired crawlers made different requests it is not "
                   "claimed.", ""] + goals + [""]
    text = "\n".join(report + body) + "\n"
    print(text)
    kept = hand_written(args.results)
    with open(args.results, "w") as f:
        f.write(text + ("\n" + kept if kept else ""))


if __name__ == "__main__":
    main()
