"""The window's crawl (bench/WindowCrawl, offscreen): paced against adaptive ticks on the demo
site, and its CPU against the command line's for the same crawl of the generated site.

WindowCrawl prints the CPU time its process spent from Start to the end of the run; the rest of
its whole-process CPU is the window's start-up (Qt's widgets, the settings, the window itself),
shown apart. tarnwick-crawl runs the same crawl (depth, 6 downloads, mail, PDF, ZIP and MP3,
robots.txt obeyed as the window does by default) in the same rounds; its start-up is the CPU of
its --version run. Both are counted at the server, so the comparison says when their requests
differ. WindowCrawl keeps its settings and results under the scratch folder (TMPDIR), as
tarnwick-crawl writes its output there."""

import os
import shutil
import subprocess
import sys
import tempfile

from benchlib import HERE, RequestLog, StaticSite, median, run_measured, same_requests_note
from pairs import verdict

WINDOW_TYPES = "mail,pdf,zip,mp3"  # what WindowCrawl asks the window to harvest
CPU_GOAL = 1.2


def window_once(build, site, depth, mode, work):
    program = os.path.join(build, "bench", "WindowCrawl")
    log = RequestLog(site.log)
    mark = log.mark()
    m = run_measured([program, os.path.join(os.path.dirname(HERE), "data"), site.start_url(),
                      str(depth), mode], work, env=dict(os.environ, TMPDIR=work),
                     stdout=subprocess.PIPE)
    requests = log.since(mark)
    seconds, results, visited, crawl_cpu = m.out.split()[:4]
    run = {"wall": float(seconds), "results": int(results), "visited": int(visited),
           "crawl_cpu": float(crawl_cpu), "cpu": m.cpu, "requests": requests.total,
           "requests_text": requests.text(), "rss_kib": m.peak_kib}
    print("  window %-8s %7.3f s  results %s  visited %s  requests %s  cpu %.3f s (crawl %.3f)"
          % (mode, run["wall"], results, visited, requests.text(), m.cpu, run["crawl_cpu"]),
          file=sys.stderr)
    return run


def command_line_once(build, site, depth, work):
    out = tempfile.mkdtemp(prefix="cli-", dir=work)
    log = RequestLog(site.log)
    mark = log.mark()
    m = run_measured([os.path.join(build, "cli", "tarnwick-crawl"), "-d", str(depth), "-c", "6",
                      "-t", WINDOW_TYPES, "--follow", "all", "--no-proxy", "-q", "--format",
                      "tsv", "-o", os.path.join(out, "harvest.tsv"), site.start_url()], work)
    requests = log.since(mark)
    # The window's result list holds the files; its addresses go elsewhere.
    with open(os.path.join(out, "harvest.tsv"), encoding="latin-1") as f:
        results = sum(1 for line in f if line.strip() and not line.startswith("mail\t"))
    shutil.rmtree(out, ignore_errors=True)
    print("  tarnwick-crawl        %7.3f s  files %d  requests %s  cpu %.3f s"
          % (m.wall, results, requests.text(), m.cpu), file=sys.stderr)
    return {"wall": m.wall, "cpu": m.cpu, "requests": requests.total,
            "requests_text": requests.text(), "results": results, "rss_kib": m.peak_kib}


def texts(runs, key="requests_text"):
    return " / ".join(sorted({str(r[key]) for r in runs}))


def paced_against_adaptive(build, work, site, label, depth, runs):
    paced = [window_once(build, site, depth, "paced", work) for _ in range(runs)]
    adaptive = [window_once(build, site, depth, "adaptive", work) for _ in range(runs)]
    same = len({(r["results"], r["visited"], r["requests"]) for r in paced + adaptive}) == 1
    p, a = median(r["wall"] for r in paced), median(r["wall"] for r in adaptive)
    return ("| %s | %d | %d | %.2f | %.3f | %.1f | %s | %s |"
            % (label, depth, runs, p, a, p / a, texts(paced + adaptive),
               "yes (%d results, %d pages)" % (paced[0]["results"], paced[0]["visited"])
               if same else "NO"))


def window_against_command_line(build, work, site, depth, pairs, startup_cpu):
    """Rows of the window's CPU beside the command line's, paired by round, and the goal."""
    window, cli = [], []
    for k in range(pairs):
        order = [("w", window), ("c", cli)]
        for which, runs in (order if k % 2 == 0 else order[::-1]):
            runs.append(window_once(build, site, depth, "adaptive", work) if which == "w"
                        else command_line_once(build, site, depth, work))
    note = same_requests_note([w["requests"] for w in window], [c["requests"] for c in cli])
    crawl_ratio = median(w["crawl_cpu"] / max(c["cpu"] - startup_cpu, 1e-9)
                         for w, c in zip(window, cli))
    whole_ratio = median(w["cpu"] / c["cpu"] for w, c in zip(window, cli))
    for c in cli:
        c["crawl_cpu"] = c["cpu"] - startup_cpu
    rows = []
    for name, runs in (("window (adaptive)", window), ("tarnwick-crawl", cli)):
        requests = texts(runs)
        if note and runs is window:
            requests += "; **%s**" % note
        rows.append("| %s | %d | %s | %.3f | %.3f | %.3f | %.3f | %.1f | %s |"
                    % (name, len(runs), requests, median(r["wall"] for r in runs),
                       median(r["cpu"] for r in runs), median(r["crawl_cpu"] for r in runs),
                       median(r["cpu"] - r["crawl_cpu"] for r in runs),
                       median(r["rss_kib"] / 1024 for r in runs), texts(runs, "results")))
    if note:
        goal = "window's CPU to the command line's: %s" % verdict(False, {"mismatch": note})
    else:
        goal = ("%d pairs: window's crawl CPU to the command line's (start-up apart in both) "
                "%.2f (at most %.1f): %s; whole processes %.2f"
                % (pairs, crawl_ratio, CPU_GOAL, verdict(crawl_ratio <= CPU_GOAL), whole_ratio))
    return rows, goal


def section(build, work, servers, big_site, args, startup, goals):
    print("Window...", file=sys.stderr)
    if not os.path.exists(os.path.join(build, "bench", "WindowCrawl")):
        return ["## The window", "", "bench/WindowCrawl is not built.", ""]
    demo = StaticSite(work, "demo", os.path.join(os.path.dirname(HERE), "data", "demo"),
                      "index.htm")
    servers.nginx(demo)
    lines = ["## The window", "",
             "bench/WindowCrawl: the window (offscreen) from Start to the end of the run, the "
             "crawl in steady 50 ms steps (\"paced\") and as soon as there is work "
             "(\"adaptive\", the window's default). Mail, PDF, ZIP and MP3 harvested.", "",
             "| site | depth | runs each | paced s | adaptive s | speed-up | requests | "
             "same results |", "|---|---:|---:|---:|---:|---:|---|---|",
             paced_against_adaptive(build, work, demo, "demo site", 3, args.runs)]
    if big_site is not None and args.with_paced:
        lines.append(paced_against_adaptive(build, work, big_site, "%d-page site"
                                            % big_site.pages_to(big_site.levels), big_site,
                                            big_site.levels, 1))
    lines.append("")
    if big_site is None:
        return lines
    depth = big_site.levels
    rows, goal = window_against_command_line(build, work, big_site, depth, args.window_pairs,
                                             startup.cpu["tarnwick"])
    goals.append("- The window (adaptive) on the %d-page site: %s"
                 % (big_site.pages_to(depth), goal))
    return lines + [
        "### The window's CPU against the command line's", "",
        "The %d-page site on nginx, depth %d, %d rounds, window and tarnwick-crawl (`-c 6 -t %s "
        "--follow all`, robots.txt obeyed as in the window) in alternating order. \"Crawl CPU\" "
        "is the window's process CPU from Start to the end of the run (WindowCrawl's own "
        "getrusage), and tarnwick-crawl's CPU less its --version start-up (%.1f ms); "
        "\"start-up\" is the rest of the process. Medians." % (
            big_site.pages_to(depth), depth, args.window_pairs, WINDOW_TYPES,
            startup.cpu["tarnwick"] * 1000), "",
        "| crawler | runs | requests | wall s | CPU s | crawl CPU s | start-up CPU s | peak MB | "
        "files found |", "|---|---:|---|---:|---:|---:|---:|---:|---|"] + rows + ["", goals[-1], ""]
