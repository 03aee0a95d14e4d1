"""Paired whole crawls: each run of tarnwick-crawl beside a run of its peer in the same round,
the medians and paired ratios of their figures, the table rows and the goals.

A row's ratios and goals stand only where every pair made the same requests at the server;
otherwise the row says "not the same requests: N vs M" and claims nothing."""

import os
import shutil
import sys
import tempfile

from benchlib import RequestLog, median, run_measured, same_requests_note


class Startup:
    """Median CPU time of a crawler's --version run, the cost that is no crawling."""

    def __init__(self):
        self.cpu = {"tarnwick": 0.0, "wget2": 0.0}

    def of(self, name):
        return self.cpu["wget2" if name.startswith("wget2") else "tarnwick"]


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
    """One measured crawl and the requests its server answered meanwhile."""
    out = tempfile.mkdtemp(prefix="crawl-", dir=work)
    cmd = make_cmd(site.start_url(), out)
    log = RequestLog(site.log)
    mark = log.mark()
    m = run_measured(cmd, work)
    requests = log.since(mark)
    result = {"name": name, "code": m.code, "wall": m.wall, "cpu": m.cpu, "user": m.user,
              "sys": m.system, "rss_kib": m.peak_kib, "pages": sum(requests.pages.values()),
              "requests": requests.total, "requests_text": requests.text(), "cmd": cmd}
    if name.startswith("tarnwick") and depth is not None:
        result["complete"] = completeness(site.expected, os.path.join(out, "harvest.tsv"), depth)
    if m.code != 0 and not name.startswith("wget"):  # wget's 8 only means a 404 somewhere
        result["error"] = m.err.strip()[-300:]
    shutil.rmtree(out, ignore_errors=True)
    print("  %-30s requests %-14s wall %7.2f s  cpu %6.2f s (user %5.2f)  peak %6.1f MB"
          % (name, requests.text(), m.wall, m.cpu, m.user, m.peak_kib / 1024), file=sys.stderr)
    return result


def paired_rounds(configs, rounds, repeats, work, once=()):
    """configs: list of (name, site, make_cmd, depth). Runs each config per round and repeat,
    in an order rotated by round; returns {name: [results]} with each result's slot. Names in
    once run in the first repeat of the first round only (HTTrack, --paced: minutes each)."""
    results = {c[0]: [] for c in configs}
    for round_no in range(rounds):
        order = configs[round_no % len(configs):] + configs[:round_no % len(configs)]
        for repeat in range(repeats):
            for name, site, make_cmd, depth in order:
                if name in once and (round_no, repeat) != (0, 0):
                    continue
                r = crawl_once(name, make_cmd, site, work, depth)
                r["slot"] = (round_no, repeat)
                results[name].append(r)
    return results


def per_page(r, startup=None):
    cpu = r["cpu"] - (startup.of(r["name"]) if startup else 0.0)
    return max(cpu, 0.0) / r["pages"]


def summarise(runs, startup, reference=None):
    """One row of medians; with reference (the peer's runs, paired by slot), paired ratios,
    kept only when every pair made the same requests."""
    good = [r for r in runs if r["pages"]]
    row = {"runs": len(runs),
           "pages": median(r["pages"] for r in runs),
           "requests": " / ".join(sorted({r["requests_text"] for r in runs})),
           "wall": median(r["wall"] for r in runs),
           "cpu": median(r["cpu"] for r in runs),
           "user": median(r["user"] for r in runs),
           "sys": median(r["sys"] for r in runs),
           "cpu_us_page": median(per_page(r) * 1e6 for r in good),
           "net_us_page": median(per_page(r, startup) * 1e6 for r in good),
           "rss_mb": median(r["rss_kib"] / 1024 for r in runs),
           "rate": median(r["pages"] / r["wall"] for r in good),
           "errors": [r["error"] for r in runs if "error" in r][:1]}
    if reference:
        ref = {w["slot"]: w for w in reference}
        pairs = [(r, ref[r["slot"]]) for r in good if r["slot"] in ref and ref[r["slot"]]["pages"]]
        row["pairs"] = len(pairs)
        row["mismatch"] = same_requests_note([r["requests"] for r, _ in pairs],
                                             [w["requests"] for _, w in pairs])
        if not pairs:
            row["mismatch"] = "no pairs"
        if not row["mismatch"]:
            ratio = lambda f: median(f(r) / max(f(w), 1e-9) for r, w in pairs)
            row["wall_ratio"] = ratio(lambda r: r["wall"])
            row["cpu_ratio"] = ratio(per_page)
            row["net_ratio"] = ratio(lambda r: per_page(r, startup))
            row["user_ratio"] = ratio(lambda r: r["user"])
            row["sys_ratio"] = ratio(lambda r: r["sys"])
            row["rss_ratio"] = ratio(lambda r: r["rss_kib"])
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


TABLE_HEAD = ["| server | crawler | runs | requests | wall s | wall to peer | CPU µs/page | "
              "to peer | net µs/page | net to peer | user s | to peer | sys s | to peer | "
              "peak MB | to peer | expected set |",
              "|---|---|---:|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|"]


def table_line(server, name, row):
    """A row of TABLE_HEAD; ratios are empty for the peer itself, "—" where not claimed."""
    def ratio(key):
        if "pairs" not in row:
            return ""
        return "%.2f" % row[key] if key in row else "—"
    requests = row["requests"]
    if row.get("mismatch"):
        requests += "; **%s**" % row["mismatch"]
    return ("| %s | %s | %d | %s | %.3f | %s | %.0f | %s | %.0f | %s | %.3f | %s | %.3f | %s | "
            "%.1f | %s | %s |"
            % (server, name, row["runs"], requests, row["wall"], ratio("wall_ratio"),
               row["cpu_us_page"], ratio("cpu_ratio"), row["net_us_page"], ratio("net_ratio"),
               row["user"], ratio("user_ratio"), row["sys"], ratio("sys_ratio"), row["rss_mb"],
               ratio("rss_ratio"), found_text(row)))


def verdict(ok, row=None):
    """met / not met; not claimed when the row's pairs made different requests."""
    if row is not None and row.get("mismatch"):
        return "not claimed (%s)" % row["mismatch"]
    return "met" if ok else "not met"


def ratio_goal(row, key, limit, what):
    """"what X.XX (at most L): met" for a paired ratio, or why it is not claimed."""
    if key not in row:
        return "%s: %s" % (what, verdict(False, row))
    return "%s %.2f (at most %g): %s" % (what, row[key], limit, verdict(row[key] <= limit))
