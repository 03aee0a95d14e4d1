#!/usr/bin/python3
"""Whole-crawl comparison with peer crawlers, plus the micro benchmarks, in one table.

Usage: run_bench.py BUILD_DIR [--runs 5] [--fast-repeats 5] [--fanout 6]
                     [--results bench/RESULTS.md]

Generates the site twice (one copy per server, as absolute links hold the port), starts nginx
(fast) and slowserver.py (50 ms before each response) on free ports of 127.0.0.1, and crawls
each site to the engine's depth 4 (three levels below the start page) with tarnwick-crawl
(adaptive and --paced), wget2, wget and httrack, in paired rounds (on nginx each crawler but
httrack runs --fast-repeats times per round). Every server and crawler is
stopped before the script ends. Pages fetched are counted from the server's request log (HTML
pages answered 200), so each crawler is measured the same way. Wall time is the child's, CPU
time and peak memory come from the kernel's accounting of the child (wait4).
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

HERE = os.path.dirname(os.path.abspath(__file__))
DEPTH = 4  # the engine's depth: the start page is 1
SKIPPED_TYPES = "pdf,zip,mp3,doc,jpg"  # peers fetch pages only, as the engine does
HTTRACK_SECONDS = 30


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


class Servers:
    """nginx and the slow server, each with its own copy of the site and its request log."""

    def __init__(self, work, fanout):
        self.work = work
        self.procs = []
        self.sites = {}
        for kind in ("fast", "slow"):
            port = free_port()
            root = os.path.join(work, "site-" + kind)
            subprocess.run([sys.executable, os.path.join(HERE, "gensite.py"), "--out", root,
                            "--base", "http://127.0.0.1:%d" % port, "--fanout", str(fanout)],
                           check=True, stdout=subprocess.DEVNULL)
            with open(os.path.join(root, "expected.json")) as f:
                expected = json.load(f)
            self.sites[kind] = {"port": port, "root": root, "expected": expected,
                                "log": os.path.join(work, kind + "-access.log")}
        # nginx's workers may run as another user: they must be able to read the site.
        for dirpath, _, files in os.walk(work):
            os.chmod(dirpath, 0o755)
            for name in files:
                os.chmod(os.path.join(dirpath, name), 0o644)

    def start(self):
        self.start_nginx(self.sites["fast"])
        slow = self.sites["slow"]
        self.procs.append(subprocess.Popen(
            [sys.executable, os.path.join(HERE, "slowserver.py"), "--root", slow["root"],
             "--port", str(slow["port"]), "--delay-ms", "50", "--log", slow["log"]],
            stdout=subprocess.DEVNULL))
        for kind, site in self.sites.items():
            if not wait_listening(site["port"]):
                raise RuntimeError("the %s server did not start" % kind)

    def start_nginx(self, site):
        prefix = os.path.join(self.work, "nginx")
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
    types { text/html html; image/jpeg jpg; application/pdf pdf; application/zip zip;
            audio/mpeg mp3; application/msword doc; application/json json; }
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
    server {
        listen 127.0.0.1:%(port)d;
        root %(root)s;
        index index.html;
    }
}
""" % {"p": prefix, "log": site["log"], "port": site["port"], "root": site["root"]})
        self.procs.append(subprocess.Popen(["nginx", "-e", prefix + "/error.log", "-p", prefix,
                                            "-c", conf], stdout=subprocess.DEVNULL))

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


def crawler_commands(build, start, out):
    crawl = os.path.join(build, "cli", "tarnwick-crawl")
    tsv = os.path.join(out, "harvest.tsv")
    # As the peers run here: robots.txt not asked for, every link followed.
    tarnwick = [crawl, "-d", str(DEPTH), "-c", "6", "--no-proxy", "--all-types", "--format",
                "tsv", "-q", "-o", tsv, "--ignore-robots", "--follow", "all"]
    return {
        "tarnwick-crawl": tarnwick + [start],
        "tarnwick-crawl --paced": tarnwick + ["--paced", start],
        "wget2": ["wget2", "-r", "--level=%d" % (DEPTH - 1), "--max-threads=6", "--robots=off",
                  "-q", "-nH", "-P", out, "--reject=" + SKIPPED_TYPES, start],
        "wget": ["wget", "-r", "--level=%d" % (DEPTH - 1), "-e", "robots=off", "-q", "-nH",
                 "-P", out, "--reject=" + SKIPPED_TYPES, start],
        # HTTrack counts the start page as depth 1, like the engine; its default rate limits
        # would measure the limits, not the crawler. It still paces itself at about a page a
        # second here, so its crawl is cut after HTTRACK_SECONDS and measured as far as it got.
        "httrack": ["httrack", start, "-O", out, "-r%d" % DEPTH, "-c6", "-%c100",
                    "-A100000000", "--disable-security-limits", "-q", "-s0", "-I0", "-%P0",
                    "-E%d" % HTTRACK_SECONDS] + ["-*." + t for t in SKIPPED_TYPES.split(",")],
    }


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


def completeness(expected, tsv):
    """Whether the harvest holds every address and file expected to depth DEPTH."""
    want_mail, want_files, too_deep = set(), set(), set()
    for depth, items in expected["mail"].items():
        (want_mail if int(depth) <= DEPTH else too_deep).update(items)
    for depth, items in expected["files"].items():
        if int(depth) <= DEPTH:
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


def crawl_once(name, cmd_of, site, work):
    out = tempfile.mkdtemp(prefix="crawl-", dir=work)
    start = "http://127.0.0.1:%d/index.html" % site["port"]
    cmd = cmd_of(out, start)[name]
    offset = os.path.getsize(site["log"]) if os.path.exists(site["log"]) else 0
    code, wall, cpu, rss, err = run_measured(cmd, work)
    time.sleep(0.05)  # lets the server finish writing its log lines
    pages, requests = pages_in_log(site["log"], offset)
    result = {"code": code, "wall": wall, "cpu": cpu, "rss_kib": rss, "pages": pages,
              "requests": requests, "cmd": cmd}
    if name.startswith("tarnwick"):
        result["complete"] = completeness(site["expected"], os.path.join(out, "harvest.tsv"))
    if code != 0 and not name.startswith("wget"):  # wget's 8 only means a 404 somewhere
        result["error"] = err.strip()[-300:]
    shutil.rmtree(out, ignore_errors=True)
    return result


def run_crawls(build, runs, fast_repeats, fanout, work):
    servers = Servers(work, fanout)
    names = list(crawler_commands(build, "", "").keys())
    results = {kind: {n: [] for n in names} for kind in ("slow", "fast")}
    servers.start()
    try:
        for round_no in range(runs):
            # Rotating the order spreads any drift of the machine over every crawler.
            order = names[round_no % len(names):] + names[:round_no % len(names)]
            for kind in ("slow", "fast"):
                # A crawl of the fast server takes a tenth of a second, where scheduling noise
                # weighs most; it is repeated within the round (httrack, cut at its time
                # limit, runs once).
                for repeat in range(fast_repeats if kind == "fast" else 1):
                    for name in order:
                        if repeat > 0 and name == "httrack":
                            continue
                        r = crawl_once(name, lambda o, s: crawler_commands(build, s, o),
                                       servers.sites[kind], work)
                        r["slot"] = (round_no, repeat)
                        results[kind][name].append(r)
                        print("  round %d.%d %-4s %-22s pages %4d  wall %6.2f s  cpu %5.2f s  "
                              "peak %6.1f MB" % (round_no + 1, repeat + 1, kind, name,
                                                 r["pages"], r["wall"], r["cpu"],
                                                 r["rss_kib"] / 1024), file=sys.stderr)
    finally:
        servers.stop()
    expected_pages = sum(len(v) for d, v in servers.sites["slow"]["expected"]["pages"].items()
                         if int(d) <= DEPTH)
    return results, expected_pages


def median(values):
    return statistics.median(values) if values else float("nan")


def summarise(results):
    rows = {}
    for kind, by_name in results.items():
        for name, runs in by_name.items():
            rate = [r["pages"] / r["wall"] for r in runs]
            # Paired: each run against wget2's run of the same round and repeat.
            ref = {w["slot"]: w for w in by_name["wget2"]}
            pairs = [(r, ref[r["slot"]]) for r in runs if r["slot"] in ref]
            ratios = [(r["pages"] / r["wall"]) / (w["pages"] / w["wall"])
                      for r, w in pairs if w["pages"] and w["wall"] and r["wall"]]
            cpu_page = [r["cpu"] / r["pages"] * 1000 for r in runs if r["pages"]]
            cpu_ratios = [(r["cpu"] / r["pages"]) / (w["cpu"] / w["pages"])
                          for r, w in pairs if r["pages"] and w["pages"] and w["cpu"]]
            row = {"pages": median([r["pages"] for r in runs]),
                   "wall": median([r["wall"] for r in runs]),
                   "cpu": median([r["cpu"] for r in runs]),
                   "cpu_ms_page": median(cpu_page),
                   "rss_mb": median([r["rss_kib"] / 1024 for r in runs]),
                   "rate": median(rate), "ratio": median(ratios),
                   "cpu_ratio": median(cpu_ratios), "runs": len(runs),
                   "errors": [r["error"] for r in runs if "error" in r][:1]}
            if "complete" in runs[0]:
                row["missing_max"] = max(r["complete"]["missing"] for r in runs)
                row["expected"] = runs[0]["complete"]["expected"]
                row["too_deep_max"] = max(r["complete"]["too_deep"] for r in runs)
            rows[(kind, name)] = row
    return rows


def micro_benchmarks(build):
    """Runs the Google Benchmark programs briefly; returns table lines."""
    lines = []
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
    return lines


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


def crawl_table(rows, expected_pages):
    lines = ["| server | crawler | runs | pages | wall s | CPU s | CPU ms/page | CPU/page to "
             "wget2 | peak MB | pages/s | ratio to wget2 | expected set |",
             "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|"]
    for (kind, name), r in rows.items():
        found = ""
        if "missing_max" in r:
            found = ("all %d found" % r["expected"] if r["missing_max"] == 0
                     else "%d of %d missing" % (r["missing_max"], r["expected"]))
            if r["too_deep_max"]:
                found += ", %d beyond depth" % r["too_deep_max"]
        lines.append("| %s | %s | %d | %d | %.2f | %.3f | %.3f | %.2f | %.1f | %.1f | %.2f | %s |"
                     % ("50 ms" if kind == "slow" else "nginx", name, r["runs"], r["pages"],
                        r["wall"], r["cpu"], r["cpu_ms_page"], r["cpu_ratio"], r["rss_mb"],
                        r["rate"], r["ratio"], found))
    lines.append("")
    lines.append("Pages of depth <= %d in the site: %d. Medians of the runs; the two ratios are "
                 "medians of the paired ratios (each run against wget2's run of the same round "
                 "and repeat) of CPU time per page and of pages/s. httrack is stopped after %d s "
                 "(its own -E limit), so its pages are those it reached by then."
                 % (DEPTH, expected_pages, HTTRACK_SECONDS))
    return lines


def goals(rows):
    slow_t, slow_w = rows[("slow", "tarnwick-crawl")], rows[("slow", "wget2")]
    fast_t, fast_w = rows[("fast", "tarnwick-crawl")], rows[("fast", "wget2")]
    verdict = lambda ok: "met" if ok else "MISSED"
    return [
        "- 50 ms server, pages/s ratio to wget2 >= 1.0: %.2f (%s)"
        % (slow_t["ratio"], verdict(slow_t["ratio"] >= 1.0)),
        "- 50 ms server, every expected address and file found in every run: %s"
        % verdict(slow_t["missing_max"] == 0),
        "- 50 ms server, peak memory %.1f MB beside wget2's %.1f MB (aim: at most twice): %s"
        % (slow_t["rss_mb"], slow_w["rss_mb"], verdict(slow_t["rss_mb"] <= 2 * slow_w["rss_mb"])),
        "- nginx, CPU time per page %.3f ms vs wget2 %.3f ms, paired ratio %.2f "
        "(at most wget2's): %s"
        % (fast_t["cpu_ms_page"], fast_w["cpu_ms_page"], fast_t["cpu_ratio"],
           verdict(fast_t["cpu_ms_page"] <= fast_w["cpu_ms_page"] and fast_t["cpu_ratio"] <= 1.0)),
        "- --paced on the 50 ms server: %.1f pages/s against %.1f adaptive"
        % (rows[("slow", "tarnwick-crawl --paced")]["rate"], slow_t["rate"]),
    ]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--fast-repeats", type=int, default=5)
    parser.add_argument("--fanout", type=int, default=6)
    parser.add_argument("--results", default=os.path.join(HERE, "RESULTS.md"))
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    when = datetime.datetime.now().astimezone().strftime("%Y-%m-%d %H:%M %Z")
    host = machine()
    work = tempfile.mkdtemp(prefix="tarnwick-bench-")
    try:
        print("Whole crawls (%d rounds)..." % args.runs, file=sys.stderr)
        results, expected_pages = run_crawls(build, args.runs, args.fast_repeats, args.fanout,
                                             work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    rows = summarise(results)
    print("Micro benchmarks...", file=sys.stderr)
    micro = micro_benchmarks(build)

    sample = {name: " ".join(cmd) for name, cmd in
              crawler_commands("BUILD", "http://127.0.0.1:PORT/index.html", "OUT").items()}
    report = ["# Benchmark results", "",
              "Written by `bench/run_bench.py` (`make bench`); numbers from one invocation.", "",
              "- Date: " + when,
              "- Machine: " + host,
              "- Peers: " + "; ".join(versions()),
              "- Site: `bench/gensite.py --fanout %d` (5 levels; crawled to depth %d), served "
              "by nginx (\"nginx\") and by `bench/slowserver.py --delay-ms 50` (\"50 ms\"), "
              "both on 127.0.0.1" % (args.fanout, DEPTH),
              "- Rounds: %d, order rotated; per round each crawler runs once on the 50 ms server "
              "and %d times on nginx (httrack once)" % (args.runs, args.fast_repeats),
              "", "## Whole crawls", ""]
    report += crawl_table(rows, expected_pages)
    report += ["", "## Goals", ""] + goals(rows)
    errors = ["- %s/%s: %s" % (k, n, r["errors"][0]) for (k, n), r in rows.items() if r["errors"]]
    if errors:
        report += ["", "## Crawler errors (first of each)", ""] + errors
    report += ["", "## Commands", ""]
    report += ["- %s: `%s`" % (name, cmd) for name, cmd in sample.items()]
    report += ["", "## Micro benchmarks (--benchmark_min_time=0.05)", "",
               "| program | benchmark | time | counters |", "|---|---|---:|---|"] + micro
    text = "\n".join(report) + "\n"
    print(text)
    with open(args.results, "w") as f:
        f.write(text)


if __name__ == "__main__":
    main()
