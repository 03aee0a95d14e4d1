#!/usr/bin/python3
"""Whole-crawl comparison with wget2 at scale, the window's crawl, a cost curve, a soak and the
micro benchmarks, written as one report.

Usage: run_bench.py BUILD_DIR [--quick] [--runs 3] [--only SECTION,...] [--soak-minutes 20]
                     [--results bench/RESULTS.md]

Sections (all by default; --only picks some):
  scale    the 3,613-page site (gensite.py --fanout 12, five levels) on nginx, crawled to depth
           4 and 5 by tarnwick-crawl and wget2 (--level 3 and 4), and on the 50 ms server
           (slowserver.py) at concurrency 6 and 50, tarnwick-crawl --paced beside them;
  startup  CPU time of a run of --version of each crawler, taken out of the CPU per page;
  window   the window (bench/WindowCrawl, offscreen) on the demo site and the 3,613-page site,
           in steady 50 ms steps and as soon as there is work;
  curve    nginx sites of about 3,000, 30,000 and 100,000 pages, crawled whole by both;
  soak     one long run of tarnwick-crawl over a list that names the 30,000-page site again and
           again, its memory read every 10 s;
  sites    the list workload (sites_bench.py): 200 small sites at their own loopback addresses,
           tarnwick-crawl --sites 10 against wget2 -i LIST, --sites 1, 2,000 sites, --delay 1;
  micro    the Google Benchmark programs.
--quick crawls the small 259-page site (fanout 6) in scale and window, with wget and HTTrack
beside, and skips curve and soak: start-up then weighs heavily in every figure.

Every server and crawler is started on free ports of 127.0.0.1 and stopped before the script
ends. Pages fetched are counted from the server's request log (HTML pages answered 200), so each
crawler is measured the same way. Wall time is the child's, CPU time and peak memory come from
the kernel's accounting of the child (wait4, GNU time). Text below a line
"<!-- written by hand below -->" in the results file is kept.
"""

import argparse
import datetime
import json
import os
import platform
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time

import sites_bench

HERE = os.path.dirname(os.path.abspath(__file__))
SKIPPED_TYPES = "pdf,zip,mp3,doc,jpg"  # peers fetch pages only, as the engine does
HTTRACK_SECONDS = 30
HAND_MARKER = "<!-- written by hand below -->"
# Site shapes (fanout, levels): pages = 1 + f + f^2 + ... + f^(levels-2), twice the last level.
SCALE_SITE = (12, 5)
QUICK_SITE = (6, 5)
CURVE_SITES = [(12, 5), (11, 6), (15, 6)]


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
    return statistics.median(values) if values else float("nan")


# ---- sites and servers

class Site:
    """A generated site with its own port (absolute links hold it) and its request log."""

    def __init__(self, work, name, shape):
        self.port = free_port()
        self.root = os.path.join(work, "site-" + name)
        self.log = os.path.join(work, name + "-access.log")
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


def readable(folder):
    # nginx's workers may run as another user: they must be able to read the site.
    for dirpath, _, files in os.walk(folder):
        os.chmod(dirpath, 0o755)
        for name in files:
            os.chmod(os.path.join(dirpath, name), 0o644)


class Servers:
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


# ---- crawlers

def tarnwick_cmd(build, start, out, depth, conc=6, extra=()):
    # As the peers run here: robots.txt not asked for, every link followed.
    return [os.path.join(build, "cli", "tarnwick-crawl"), "-d", str(depth), "-c", str(conc),
            "--no-proxy", "--all-types", "--format", "tsv", "-q",
            "-o", os.path.join(out, "harvest.tsv"), "--ignore-robots", "--follow", "all"] + \
        list(extra) + [start]


def wget2_cmd(start, out, depth, conc=6):
    # wget2 counts levels below the start page; the engine counts the start page as 1.
    return ["wget2", "-r", "--level=%d" % (depth - 1), "--max-threads=%d" % conc,
            "--robots=off", "-q", "-nH", "-P", out, "--reject=" + SKIPPED_TYPES, start]


def wget_cmd(start, out, depth):
    return ["wget", "-r", "--level=%d" % (depth - 1), "-e", "robots=off", "-q", "-nH", "-P", out,
            "--reject=" + SKIPPED_TYPES, start]


def httrack_cmd(start, out, depth):
    # HTTrack counts the start page as depth 1, like the engine; its default rate limits would
    # measure the limits, not the crawler. It still paces itself at about a page a second here,
    # so its crawl is cut after HTTRACK_SECONDS and measured as far as it got.
    return ["httrack", start, "-O", out, "-r%d" % depth, "-c6", "-%c100", "-A100000000",
            "--disable-security-limits", "-q", "-s0", "-I0", "-%P0",
            "-E%d" % HTTRACK_SECONDS] + ["-*." + t for t in SKIPPED_TYPES.split(",")]


def run_measured(cmd, work):
    """Runs cmd; returns (exit code, wall s, cpu s, peak RSS in KiB, stderr) of the crawler."""
    # A process forked from this script starts with the script's memory, which the kernel
    # counts in its peak. GNU time forks the crawler from its own small image and reports the
    # crawler's peak alone; the CPU time comes from wait4 (microseconds, crawler included).
    peak_file = os.path.join(work, "peak.txt")
    begin = time.monotonic()
    proc = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", peak_file] + cmd,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    err = proc.stderr.read().decode(errors="replace")
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.monotonic() - begin
    proc.returncode = os.waitstatus_to_exitcode(status)
    proc.stderr.close()
    with open(peak_file) as f:
        peak = int(f.read().split()[-1])
    return proc.returncode, wall, usage.ru_utime + usage.ru_stime, peak, err


def pages_in_log(log, offset):
    with open(log) as f:
        f.seek(offset)
        lines = f.read().splitlines()
    pages = 0
    for line in lines:
        status, _, uri = line.partition(" ")
        if status == "200" and uri.split("?")[0].split("#")[0].endswith(".html"):
            pages += 1
    return pages, len(lines)


def completeness(expected, tsv, depth):
    """Whether the harvest holds every address and file expected to depth."""
    want_mail, want_files, too_deep = set(), set(), set()
    for d, items in expected["mail"].items():
        (want_mail if int(d) <= depth else too_deep).update(items)
    for d, items in expected["files"].items():
        if int(d) <= depth:
            want_files.update(items)
    got_mail, got_files = set(), set()
    if os.path.exists(tsv):
        with open(tsv, encoding="latin-1") as f:
            for line in f:
                fields = line.rstrip("\n").split("\t")
                if len(fields) < 2:
                    continue
                if fields[0] == "mail":
                    got_mail.add(fields[1])
                elif fields[0] != "htm":
                    got_files.add(fields[1])
    missing = len(want_mail - got_mail) + len(want_files - got_files)
    return {"missing": missing, "expected": len(want_mail) + len(want_files),
            "too_deep": len(got_mail & too_deep)}


def crawl_once(name, make_cmd, site, work, depth=None):
    out = tempfile.mkdtemp(prefix="crawl-", dir=work)
    cmd = make_cmd(site.start_url(), out)
    offset = os.path.getsize(site.log) if os.path.exists(site.log) else 0
    code, wall, cpu, rss, err = run_measured(cmd, work)
    time.sleep(0.05)  # lets the server finish writing its log lines
    pages, requests = pages_in_log(site.log, offset)
    result = {"name": name, "code": code, "wall": wall, "cpu": cpu, "rss_kib": rss,
              "pages": pages, "requests": requests, "cmd": cmd}
    if name.startswith("tarnwick") and depth is not None:
        result["complete"] = completeness(site.expected, os.path.join(out, "harvest.tsv"), depth)
    if code != 0 and not name.startswith("wget"):  # wget's 8 only means a 404 somewhere
        result["error"] = err.strip()[-300:]
    shutil.rmtree(out, ignore_errors=True)
    print("  %-34s pages %6d  wall %7.2f s  cpu %6.2f s  peak %6.1f MB"
          % (name, pages, wall, cpu, rss / 1024), file=sys.stderr)
    return result


# ---- summaries

class Startup:
    """Median CPU time of a crawler's --version run, the cost that is no crawling."""

    def __init__(self):
        self.cpu = {"tarnwick": 0.0, "wget2": 0.0}

    def of(self, name):
        return self.cpu["wget2" if name.startswith("wget2") else "tarnwick"]


def summarise(runs, startup, reference=None):
    """One row of medians; with reference (wget2's runs, paired by slot), paired ratios."""
    good = [r for r in runs if r["pages"]]
    row = {"runs": len(runs),
           "pages": median([r["pages"] for r in runs]),
           "wall": median([r["wall"] for r in runs]),
           "cpu": median([r["cpu"] for r in runs]),
           "cpu_us_page": median([r["cpu"] / r["pages"] * 1e6 for r in good]),
           "net_us_page": median([max(r["cpu"] - startup.of(r["name"]), 0) / r["pages"] * 1e6
                                  for r in good]),
           "rss_mb": median([r["rss_kib"] / 1024 for r in runs]),
           "max_rss_mb": max([r["rss_kib"] / 1024 for r in runs] or [0]),
           "rate": median([r["pages"] / r["wall"] for r in good]),
           "errors": [r["error"] for r in runs if "error" in r][:1]}
    if reference:
        ref = {w["slot"]: w for w in reference}
        pairs = [(r, ref[r["slot"]]) for r in good if r["slot"] in ref and ref[r["slot"]]["pages"]]
        row["rate_ratio"] = median([(r["pages"] / r["wall"]) / (w["pages"] / w["wall"])
                                    for r, w in pairs])
        row["cpu_ratio"] = median([(r["cpu"] / r["pages"]) / (w["cpu"] / w["pages"])
                                   for r, w in pairs])
        row["net_ratio"] = median([
            (max(r["cpu"] - startup.of(r["name"]), 0) / r["pages"]) /
            max((w["cpu"] - startup.of(w["name"])) / w["pages"], 1e-9) for r, w in pairs])
        row["rss_ratio"] = median([r["rss_kib"] / w["rss_kib"] for r, w in pairs])
    if runs and "complete" in runs[0]:
        row["missing_max"] = max(r["complete"]["missing"] for r in runs)
        row["expected"] = runs[0]["complete"]["expected"]
        row["too_deep_max"] = max(r["complete"]["too_deep"] for r in runs)
    return row


def found_text(row):
    if "missing_max" not in row:
        return ""
    text = ("all %d found" % row["expected"] if row["missing_max"] == 0
            else "%d of %d missing" % (row["missing_max"], row["expected"]))
    if row["too_deep_max"]:
        text += ", %d beyond depth" % row["too_deep_max"]
    return text


TABLE_HEAD = ["| server | crawler | runs | pages | wall s | pages/s | to wget2 | CPU s | "
              "CPU µs/page | net µs/page | net to wget2 | peak MB | expected set |",
              "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|"]


def table_line(server, name, row):
    ratio = lambda key: "%.2f" % row[key] if key in row else ""
    return ("| %s | %s | %d | %d | %.2f | %.0f | %s | %.3f | %.0f | %.0f | %s | %.1f | %s |"
            % (server, name, row["runs"], row["pages"], row["wall"], row["rate"],
               ratio("rate_ratio"), row["cpu"], row["cpu_us_page"], row["net_us_page"],
               ratio("net_ratio"), row["rss_mb"], found_text(row)))


def verdict(ok):
    return "met" if ok else "MISSED"


# ---- sections

def paired_rounds(configs, rounds, repeats, work):
    """configs: list of (name, site, make_cmd, depth). Runs each config per round and repeat,
    in an order rotated by round; returns {name: [results]} with each result's slot."""
    results = {c[0]: [] for c in configs}
    for round_no in range(rounds):
        order = configs[round_no % len(configs):] + configs[:round_no % len(configs)]
        for repeat in range(repeats):
            for name, site, make_cmd, depth in order:
                # HTTrack runs into its time limit and --paced takes minutes: once a round, and
                # --paced in the first round only.
                if repeat > 0 and name.startswith("httrack"):
                    continue
                if round_no > 0 and name.endswith("--paced"):
                    continue
                r = crawl_once(name, make_cmd, site, work, depth)
                r["slot"] = (round_no, repeat)
                results[name].append(r)
    return results


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
        cpus = [run_measured(cmd, work)[2] for _ in range(9)]
        startup.cpu[key] = median(cpus)
    lines = ["## Start-up", "",
             "CPU time of a run of `--version` (median of 9), taken out of the net CPU per page "
             "in every table: tarnwick-crawl %.1f ms, wget2 %.1f ms."
             % (startup.cpu["tarnwick"] * 1000, startup.cpu["wget2"] * 1000), ""]
    return startup, lines


def section_scale(build, work, servers, startup, args):
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
    w2 = lambda d, c=6: (lambda s, o: wget2_cmd(s, o, d, c))
    fast_configs = [("tarnwick-crawl -d %d" % shallow, fast, t(shallow), shallow),
                    ("wget2 --level=%d" % (shallow - 1), fast, w2(shallow), None),
                    ("tarnwick-crawl -d %d" % deep, fast, t(deep), deep),
                    ("wget2 --level=%d" % (deep - 1), fast, w2(deep), None)]
    slow_configs = [("tarnwick-crawl -c 6", slow, t(deep), deep),
                    ("wget2 -c 6", slow, w2(deep), None),
                    ("tarnwick-crawl -c 50", slow, t(deep, 50), deep),
                    ("wget2 -c 50", slow, w2(deep, 50), None),
                    ("tarnwick-crawl -c 6 --paced", slow, t(deep, 6, ["--paced"]), deep)]
    if args.quick:
        fast_configs += [("wget --level=%d" % (shallow - 1), fast,
                          lambda s, o: wget_cmd(s, o, shallow), None),
                         ("httrack -r%d" % shallow, fast,
                          lambda s, o: httrack_cmd(s, o, shallow), None)]
    slow_ms = answer_ms(slow)
    fast_res = paired_rounds(fast_configs, args.runs, args.fast_repeats, work)
    slow_res = paired_rounds(slow_configs, args.runs, 1, work)

    rows = {}
    ref_of = {"tarnwick-crawl -d %d" % shallow: "wget2 --level=%d" % (shallow - 1),
              "tarnwick-crawl -d %d" % deep: "wget2 --level=%d" % (deep - 1),
              "tarnwick-crawl -c 6": "wget2 -c 6", "tarnwick-crawl -c 50": "wget2 -c 50",
              "tarnwick-crawl -c 6 --paced": "wget2 -c 6"}
    lines = ["## Whole crawls at scale", "",
             "Site: `gensite.py --fanout %d --levels %d`, %d pages of depth <= %d and %d of depth "
             "<= %d. nginx: %d rounds of %d runs each; 50 ms server (to depth %d): %d rounds. "
             "Ratios are "
             "medians of paired ratios (each run against the wget2 run of the same round and "
             "repeat); \"net\" is CPU time less the crawler's start-up."
             % (shape[0], shape[1], fast.pages_to(deep), deep, fast.pages_to(shallow), shallow,
                args.runs, args.fast_repeats, deep, args.runs), ""] + TABLE_HEAD
    for server, res in (("nginx", fast_res), ("50 ms", slow_res)):
        for name, runs in res.items():
            row = summarise(runs, startup, res.get(ref_of.get(name)))
            rows[(server, name)] = row
            lines.append(table_line(server, name, row))
    lines.append("")

    goals = ["### Goals", ""]
    for d in (shallow, deep):
        r = rows[("nginx", "tarnwick-crawl -d %d" % d)]
        goals.append("- nginx, depth %d: CPU per page to wget2 %.2f whole, %.2f net (at most "
                     "1): %s; pages/s to wget2 %.2f (at least 1): %s; %s"
                     % (d, r["cpu_ratio"], r["net_ratio"],
                        verdict(r["cpu_ratio"] <= 1.0 or r["net_ratio"] <= 1.0), r["rate_ratio"],
                        verdict(r["rate_ratio"] >= 1.0), found_text(r)))
    r6, r50 = rows[("50 ms", "tarnwick-crawl -c 6")], rows[("50 ms", "tarnwick-crawl -c 50")]
    goals.append("- 50 ms server, concurrency 6: %.1f pages/s, %.0f %% of the bound of 120 "
                 "(at least 95 %%): %s; %s. The server itself takes %.1f ms a page (median of "
                 "20 asked in turn on one connection), which makes its own bound %.0f pages/s; "
                 "of that, %.0f %%." % (r6["rate"], r6["rate"] / 1.2, verdict(r6["rate"] >= 114),
                                        found_text(r6), slow_ms, 6000 / slow_ms,
                                        r6["rate"] / (6000 / slow_ms) * 100))
    goals.append("- 50 ms server, concurrency 50: pages/s to wget2 %.2f (at least 1): %s; %s"
                 % (r50["rate_ratio"], verdict(r50["rate_ratio"] >= 1.0), found_text(r50)))
    rf = rows[("nginx", "tarnwick-crawl -d %d" % deep)]
    goals.append("- nginx, depth %d: peak memory %.1f MB, %.2f times wget2's (aim: at most 2)"
                 % (deep, rf["rss_mb"], rf["rss_ratio"]))
    return fast, lines + goals + [""]


def window_once(build, site, depth, mode):
    program = os.path.join(build, "bench", "WindowCrawl")
    out = subprocess.run([program, os.path.join(os.path.dirname(HERE), "data"), site.start_url(),
                          str(depth), mode], capture_output=True, text=True, timeout=900)
    seconds, results, visited = out.stdout.split()
    print("  window %-8s %-40s %7.2f s  results %s  visited %s"
          % (mode, site.start_url(), float(seconds), results, visited), file=sys.stderr)
    return float(seconds), int(results), int(visited)


def section_window(build, work, servers, big_site, args):
    print("Window...", file=sys.stderr)
    if not os.path.exists(os.path.join(build, "bench", "WindowCrawl")):
        return ["## The window", "", "bench/WindowCrawl is not built.", ""]
    demo = StaticSite(work, "demo", os.path.join(os.path.dirname(HERE), "data", "demo"),
                      "index.htm")
    servers.nginx(demo)
    lines = ["## The window", "",
             "bench/WindowCrawl: the window (offscreen) from Start to the end of the run, the "
             "crawl in steady 50 ms steps (\"paced\", the window before this change) and as soon "
             "as there is work (\"adaptive\", the window now). Mail, PDF, ZIP and MP3 harvested.",
             "", "| site | depth | paced runs | paced s | adaptive runs | adaptive s | speed-up | "
             "same results |", "|---|---:|---:|---:|---:|---:|---:|---|"]
    cases = [("demo site", demo, 3, args.runs)]
    if big_site is not None:
        cases.append(("%d-page site" % big_site.pages_to(big_site.levels), big_site,
                      big_site.levels, 1 if not args.quick else args.runs))
    for label, site, depth, paced_runs in cases:
        paced = [window_once(build, site, depth, "paced") for _ in range(paced_runs)]
        adaptive = [window_once(build, site, depth, "adaptive") for _ in range(args.runs)]
        same = len({(r, v) for _, r, v in paced + adaptive}) == 1
        p, a = median([x[0] for x in paced]), median([x[0] for x in adaptive])
        lines.append("| %s | %d | %d | %.2f | %d | %.3f | %.1f | %s |"
                     % (label, depth, len(paced), p, len(adaptive), a, p / a,
                        "yes (%d results, %d pages)" % paced[0][1:] if same else "NO"))
    return lines + [""]


def section_curve(build, work, servers, startup, args):
    lines = ["## Cost curve on nginx", "",
             "Each site crawled whole (tarnwick-crawl to its last level, wget2 one level less, "
             "as it counts below the start page), paired runs.", ""] + TABLE_HEAD
    rows = []
    for shape in CURVE_SITES:
        site = Site(work, "curve-%d-%d" % shape, shape)
        servers.nginx(site)
        depth = site.levels
        pages = site.pages_to(depth)
        runs = args.runs if pages < 50000 else max(1, args.runs - 1)
        print("Curve: %d pages, %d runs..." % (pages, runs), file=sys.stderr)
        configs = [("tarnwick-crawl", site,
                    lambda s, o, d=depth: tarnwick_cmd(build, s, o, d), depth),
                   ("wget2", site, lambda s, o, d=depth: wget2_cmd(s, o, d), None)]
        res = paired_rounds(configs, runs, 1, work)
        t = summarise(res["tarnwick-crawl"], startup, res["wget2"])
        w = summarise(res["wget2"], startup)
        rows.append((pages, t, w))
        lines.append(table_line("%d pages" % pages, "tarnwick-crawl", t))
        lines.append(table_line("%d pages" % pages, "wget2", w))
        servers.stop()
        shutil.rmtree(site.root, ignore_errors=True)
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
    with open(listing, "w") as f:
        f.write((site.start_url() + "\n") * 10000)
    seconds = args.soak_minutes * 60
    print("Soak: %d minutes..." % args.soak_minutes, file=sys.stderr)
    cmd = [os.path.join(build, "cli", "tarnwick-crawl"), "-d", str(site.levels), "--no-proxy",
           "--ignore-robots", "--follow", "all", "-q", "--format", "tsv", "-o", os.devnull,
           "--list", listing]
    offset = 0
    proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    samples = []
    begin = time.monotonic()
    try:
        while time.monotonic() - begin < seconds and proc.poll() is None:
            time.sleep(10)
            kib = rss_kib(proc.pid)
            if kib is not None:
                samples.append((time.monotonic() - begin, kib))
    finally:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
    pages, _ = pages_in_log(site.log, offset)
    servers.stop()
    after = [k for t, k in samples if t >= 60]
    lines = ["## Soak", "",
             "tarnwick-crawl --list over the %d-page site named again and again, for %d "
             "minutes: %d pages fetched (%.0f pages/s). Resident memory every 10 s, in MB:"
             % (site.pages_to(site.levels), args.soak_minutes, pages,
                pages / max(samples[-1][0] if samples else 1, 1)), "",
             " ".join("%.1f" % (k / 1024) for _, k in samples), ""]
    if after:
        growth = max(after) / after[0] - 1
        lines.append("- after the first minute: %.1f MB at first, %.1f MB at most, %.1f MB at "
                     "the end; growth %.1f %% (at most 5 %%): %s"
                     % (after[0] / 1024, max(after) / 1024, after[-1] / 1024, growth * 100,
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


def hand_written(path):
    if not os.path.exists(path):
        return ""
    with open(path) as f:
        text = f.read()
    at = text.find(HAND_MARKER)
    return text[at:] if at >= 0 else ""


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build")
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--fast-repeats", type=int, default=3)
    parser.add_argument("--only", default="scale,startup,window,curve,soak,sites,micro")
    parser.add_argument("--soak-minutes", type=float, default=20)
    parser.add_argument("--results", default=os.path.join(HERE, "RESULTS.md"))
    args = parser.parse_args()
    sections = set(args.only.split(","))
    if args.quick:
        sections -= {"curve", "soak"}
    build = os.path.abspath(args.build)
    when = datetime.datetime.now().astimezone().strftime("%Y-%m-%d %H:%M %Z")
    report = ["# Benchmark results", "",
              "Written by `bench/run_bench.py` (`make bench`); numbers from one invocation.", "",
              "- Date: " + when, "- Machine: " + machine(), "- Peers: " + "; ".join(versions()),
              "- Sections: " + ", ".join(s for s in ("startup", "scale", "window", "curve", "soak",
                                                     "sites", "micro") if s in sections)
              + (" (quick)" if args.quick else ""), ""]
    work = tempfile.mkdtemp(prefix="tarnwick-bench-")
    servers = Servers(work)
    try:
        startup = Startup()
        if "startup" in sections or "scale" in sections or "curve" in sections:
            startup, lines = section_startup(build, work)
            report += lines
        big = None
        if "scale" in sections:
            big, lines = section_scale(build, work, servers, startup, args)
            report += lines
        if "window" in sections:
            if big is None and not args.quick:
                big = Site(work, "window-big", SCALE_SITE)
                servers.nginx(big)
            report += section_window(build, work, servers, big, args)
        servers.stop()
        if "curve" in sections:
            report += section_curve(build, work, servers, startup, args)
        if "soak" in sections:
            report += section_soak(build, work, servers, args)
        if "sites" in sections:
            print("Many sites at once...", file=sys.stderr)
            report += sites_bench.section(build, argparse.Namespace(
                sites=50 if args.quick else 200, rounds=max(args.runs, 3),
                big=0 if args.quick else 2000, polite=0 if args.quick else 20))
    finally:
        servers.stop()
        shutil.rmtree(work, ignore_errors=True)
    if "micro" in sections:
        print("Micro benchmarks...", file=sys.stderr)
        report += micro_benchmarks(build)
    text = "\n".join(report) + "\n"
    print(text)
    kept = hand_written(args.results)
    with open(args.results, "w") as f:
        f.write(text + ("\n" + kept if kept else ""))


if __name__ == "__main__":
    main()
