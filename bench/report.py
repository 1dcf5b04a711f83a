"""Turns what bench/run measured into benchmarks.md and benchmarks.svg.

  report.py WORK_DIR OUT_DIR

WORK_DIR holds manifest.tsv (one line per measured command: workload id,
title, label, kind, hyperfine export, index in it, peak KiB), machine.json,
editing.json, and where measured io.tsv (workload id, label, bytes read,
bytes written, CPU seconds of one run) and growth.json. Kinds: ours, peer, floor (what no tool can beat), and
reference (ours again, under other conditions). Everything below the notes
marker of an existing benchmarks.md is kept: that is where the reading of
the figures goes.
"""
import json
import os
import statistics
import subprocess
import sys
from collections import OrderedDict

NOTES_MARKER = "<!-- Everything below this line is kept when bench/run rewrites the file. -->"
COLOURS = {"ours": "#d95f02", "reference": "#fdb863", "peer": "#1b9e77", "floor": "#999999"}


def load_rows(work):
    workloads = OrderedDict()
    exports = {}
    with open(os.path.join(work, "manifest.tsv")) as f:
        for line in f:
            wid, title, label, kind, export, index, peak_kib = line.rstrip("\n").split("\t")
            if export == "-":  # the tool failed on the input; peak_kib says how
                workloads.setdefault(wid, {"title": title, "rows": []})["rows"].append({
                    "label": label, "kind": kind, "failure": peak_kib})
                continue
            if export not in exports:
                with open(os.path.join(work, export)) as e:
                    exports[export] = json.load(e)["results"]
            result = exports[export][int(index)]
            times = result["times"]
            workloads.setdefault(wid, {"title": title, "rows": []})["rows"].append({
                "label": label, "kind": kind, "median": statistics.median(times),
                "cpu": result["user"] + result["system"],
                "min": min(times), "max": max(times), "runs": len(times),
                "peak_mib": int(peak_kib) / 1024 if peak_kib.isdigit() else None,
            })
    return workloads


def measured(rows):
    return [r for r in rows if "failure" not in r]


def best(rows, kind):
    medians = [r["median"] for r in measured(rows) if r["kind"] == kind]
    return min(medians) if medians else None


def row_of(workloads, wid, label):
    for r in measured(workloads.get(wid, {}).get("rows", [])):
        if r["label"] == label:
            return r
    return None


def seconds(t):
    return "%.3f s" % t if t < 10 else "%.1f s" % t


def ratio_text(a, b):
    return "%.2f×" % (a / b) if a is not None and b else "–"


def workload_table(w):
    rows = w["rows"]
    peer = best(rows, "peer")
    floor = best(rows, "floor")
    lines = ["| tool | kind | median | min – max | runs | CPU time | peak memory | vs best peer | vs floor |",
             "|---|---|---:|---:|---:|---:|---:|---:|---:|"]
    for r in rows:
        if "failure" in r:
            lines.append("| %s | %s | %s | | | | | | |" % (r["label"], r["kind"], r["failure"]))
            continue
        mem = "%.1f MiB" % r["peak_mib"] if r["peak_mib"] is not None else "–"
        lines.append("| %s | %s | %s | %s – %s | %d | %s | %s | %s | %s |" % (
            r["label"], r["kind"], seconds(r["median"]), seconds(r["min"]), seconds(r["max"]),
            r["runs"], seconds(r["cpu"]), mem, ratio_text(r["median"], peer),
            ratio_text(r["median"], floor)))
    return "\n".join(lines)


def load_io(work):
    """{workload id: [(label, bytes read, bytes written, CPU seconds)]} from io.tsv."""
    io = OrderedDict()
    path = os.path.join(work, "io.tsv")
    if os.path.exists(path):
        with open(path) as f:
            for line in f:
                wid, label, read, written, cpu = line.rstrip("\n").split("\t")
                io.setdefault(wid, []).append((label, int(read), int(written), float(cpu)))
    return io


def mib(n):
    return "%.2f MiB" % (n / 2**20)


def io_table(rows):
    lines = ["Bytes the process read and wrote (its read and write calls, one run):", "",
             "| tool | read | written | CPU time |", "|---|---:|---:|---:|"]
    lines += ["| %s | %s | %s | %s |" % (label, mib(read), mib(written), seconds(cpu))
              for label, read, written, cpu in rows]
    return "\n".join(lines)


def growth_per_cycle(growth):
    return (growth["after_bytes"][-1] - growth["before_bytes"]) / growth["cycles"]


def growth_section(growth):
    sizes = [growth["before_bytes"]] + growth["after_bytes"]
    lines = ["", "## File growth when a stream is deleted and added again", "",
             "One stream of %.0f KiB in the storage of many streams, deleted and added again "
             "through `wcxhost`, %d times." % (
                 growth["stream_bytes"] / 1024, growth["cycles"]), "",
             "| cycle | file size | grown |", "|---:|---:|---:|"]
    lines += ["| %d | %d | %+d |" % (i, size, size - sizes[i - 1])
              for i, size in enumerate(sizes) if i > 0]
    lines += ["", "Per cycle: %+.0f bytes, against the stream's %d bytes." % (
        growth_per_cycle(growth), growth["stream_bytes"])]
    return lines


def growth_goal(growth):
    limit = growth["stream_bytes"] + 16 * 1024
    value = growth_per_cycle(growth)
    return ("a delete and re-add grows the file by at most the stream's size and 16 KiB a cycle",
            "%+.0f bytes a cycle (stream %d bytes)" % (value, growth["stream_bytes"]), value <= limit)


def goals(workloads, editing):
    """(goal, measured, met) for each goal that the figures answer."""
    out = []

    def ratio_goal(text, wid, ours, other, limit):
        a, b = row_of(workloads, wid, ours), row_of(workloads, wid, other)
        if a and b:
            value = a["median"] / b["median"]
            out.append((text, "%.2f× (%s / %s; CPU time %.2f×)" % (
                value, seconds(a["median"]), seconds(b["median"]), a["cpu"] / b["cpu"]), value <= limit))

    ratio_goal("extraction within 1.2× of `7zz x`", "extract", "wcxhost extract", "7zz x", 1.2)
    ratio_goal("extraction within 1.5× of the `cp` floor", "extract", "wcxhost extract", "cp", 1.5)
    ratio_goal("listing no slower than `7zz l` (file written by wcxhost)", "list",
               "wcxhost list", "7zz l", 1.0)
    ratio_goal("listing no slower than `7zz l` (file written by gsf)", "list-gsf",
               "wcxhost list", "7zz l", 1.0)
    ratio_goal("testing no slower than `7zz t`", "test", "wcxhost test", "7zz t", 1.0)
    ratio_goal("packing one large file within 1.5× of the `dd` floor", "pack-one", "wcxhost add",
               "dd conv=fsync", 1.5)
    ratio_goal("packing a folder of small files no slower than `gsf createole`", "pack-many", "wcxhost add",
               "gsf createole", 1.0)
    for verb in ("add", "delete"):
        r = row_of(workloads, "edit-large", "wcxhost %s, large archive" % verb)
        if r:
            out.append(("`wcxhost %s` of one 1 KiB file on the large archive under 0.1 s" % verb,
                        seconds(r["median"]), r["median"] < 0.1))
    # The directory of a million entries alone outgrows 32 MiB: those rows
    # are held to their peers' memory instead.
    def entry_bound(wid):
        return wid.startswith(("list-flat", "list-wide")) or (
            wid.startswith("pack-small-") and int(wid.rsplit("-", 1)[1]) >= 100000)
    ours = [(w["title"], r) for wid, w in workloads.items() if not entry_bound(wid)
            for r in measured(w["rows"]) if r["kind"] == "ours" and r["peak_mib"] is not None]
    if ours:
        worst_title, worst = max(ours, key=lambda item: item[1]["peak_mib"])
        out.append(("peak memory under 32 MiB in every row but those of a million streams or 100,000 files or more",
                    "largest %.1f MiB (%s: %s)" % (
            worst["peak_mib"], worst_title, worst["label"]), worst["peak_mib"] < 32))
    def memory_goal(text, wid):
        a, b = row_of(workloads, wid, "wcxhost list"), row_of(workloads, wid, "7zz l")
        if a and b and a["peak_mib"] and b["peak_mib"]:
            out.append((text, "%.1f MiB against %.1f MiB (%.2f×)" % (
                a["peak_mib"], b["peak_mib"], a["peak_mib"] / b["peak_mib"]), a["peak_mib"] <= b["peak_mib"]))

    memory_goal("listing needs no more memory than `7zz l`", "list")
    for wid, written in (("list-flat", "an independent writer"), ("list-flat-q", "wcxhost")):
        ratio_goal("listing one huge storage no slower than `7zz l` (file written by %s)" % written, wid,
                   "wcxhost list", "7zz l", 1.0)
        memory_goal("listing one huge storage needs no more memory than `7zz l` (file written by %s)" % written,
                    wid)
    if editing:
        value = editing["edited_bytes"] / editing["fresh_bytes"]
        out.append(("file after long editing at most 1.5× a fresh write", "%.2f× (%.1f MiB against %.1f MiB)" % (
            value, editing["edited_bytes"] / 2**20, editing["fresh_bytes"] / 2**20), value <= 1.5))
    return out


def chart(workloads, out_path):
    """One panel per workload: the median as a bar, min to max as a line."""
    row, title, tics, margin = 24, 30, 34, 20  # pixels
    panels = [{"title": w["title"], "rows": measured(w["rows"])} for w in workloads.values()]
    height = margin * 2 + sum(len(w["rows"]) * row + title + tics for w in panels)
    script = ["set terminal svg size 900,%d dynamic font 'sans,11' background '#ffffff'" % height,
              "set output '%s'" % out_path, "set multiplot",
              "set style fill solid 0.85 noborder", "set grid xtics lc '#dddddd'", "set border 3",
              "set xtics nomirror out", "set ytics nomirror scale 0", "set lmargin at screen 0.30",
              "set rmargin at screen 0.95", "unset key", "set format x '%g s'"]
    y = height - margin
    for w in panels:
        n = len(w["rows"])
        top = y - title
        bottom = top - n * row
        # A tool many times slower than the fastest would flatten every other
        # bar: its bar runs off the edge, with its time written on it.
        medians = [r["median"] for r in w["rows"]]
        xmax = min(max(medians) * 1.1, min(medians) * 6)
        script += ["set tmargin at screen %f" % (top / height), "set bmargin at screen %f" % (bottom / height),
                   "set title \"%s\" offset 0,-0.4" % w["title"].replace('"', "'"),
                   "set yrange [-0.6:%f]" % (n - 0.4), "set xrange [0:%g]" % xmax, "$d << EOD"]
        for i, r in enumerate(reversed(w["rows"])):
            script.append('%d "%s" %g %g %g 0x%s' % (i, r["label"], r["median"], r["min"], r["max"],
                                                    COLOURS[r["kind"]][1:]))
        script += ["EOD",
                   "plot $d using (0):1:(0):3:($1-0.35):($1+0.35):6:ytic(2) with boxxyerror lc rgb variable, "
                   "$d using 3:1:4:5 with xerrorbars pt -1 lc rgb '#333333', "
                   "$d using ($3 > %g ? %g : 1/0):1:(sprintf('%%.3g s ', $3)) with labels right "
                   "textcolor rgb '#ffffff'" % (xmax, xmax)]
        y = bottom - tics
    script.append("unset multiplot")
    subprocess.run(["gnuplot"], input="\n".join(script), text=True, check=True)


def main(work, out_dir):
    workloads = load_rows(work)
    with open(os.path.join(work, "machine.json")) as f:
        machine = json.load(f)
    editing = None
    if os.path.exists(os.path.join(work, "editing.json")):
        with open(os.path.join(work, "editing.json")) as f:
            editing = json.load(f)

    os.makedirs(out_dir, exist_ok=True)
    md_path = os.path.join(out_dir, "benchmarks.md")
    notes = ""
    if os.path.exists(md_path):
        with open(md_path) as f:
            text = f.read()
        if NOTES_MARKER in text:
            notes = text.split(NOTES_MARKER, 1)[1].lstrip("\n")
    chart(workloads, os.path.join(out_dir, "benchmarks.svg"))

    md = ["# Benchmarks", "",
          "The plug-in, driven by `wcxhost` as a file manager drives it, against the tools a user "
          "would pick instead, on the same files in one run. Written by `bench/run`%s; do not edit "
          "above the notes line." % (" --quick (inputs scaled down)" if machine["quick"] else ""), "",
          "![time per workload](benchmarks.svg)", "",
          "Bars: median time; lines: fastest to slowest run. Ours in orange (light: ours under "
          "other conditions), other tools in green, floors that no tool can beat in grey. Times "
          "are wall-clock; CPU time (user + system, mean) is given too, as it suffers less "
          "when other work shares the machine.", "",
          "## Machine", ""]
    md += ["- %s: %s" % (k, v) for k, v in machine["described"]]
    md += ["", "## Goals", "", "| goal | measured | met |", "|---|---|---|"]
    io = load_io(work)
    growth = None
    if os.path.exists(os.path.join(work, "growth.json")):
        with open(os.path.join(work, "growth.json")) as f:
            growth = json.load(f)
    listed_goals = goals(workloads, editing) + ([growth_goal(growth)] if growth else [])
    md += ["| %s | %s | %s |" % (g, m, "yes" if ok else "**no**") for g, m, ok in listed_goals]
    for wid, w in workloads.items():
        md += ["", "## %s" % w["title"], "", workload_table(w)]
        if wid in io:
            md += ["", io_table(io[wid])]
    if growth:
        md += growth_section(growth)
    if editing:
        md += ["", "## File size after long editing", "",
               "%d random steps through `wcxhost add` and `wcxhost delete` (mostly adding and replacing "
               "in the first half, mostly deleting in the second), then the same content packed afresh. "
               "Content extracted from the edited file matches: %s." % (
                   editing["steps"], "yes" if editing["content_intact"] else "**no**"), "",
               "| | size |", "|---|---:|",
               "| largest content held during the run | %.1f MiB |" % (editing["peak_content_bytes"] / 2**20),
               "| content at the end (%d streams) | %.1f MiB |" % (editing["streams"], editing["content_bytes"] / 2**20),
               "| edited file | %.1f MiB |" % (editing["edited_bytes"] / 2**20),
               "| fresh write of the same content | %.1f MiB |" % (editing["fresh_bytes"] / 2**20),
               "| edited / fresh | %.2f× |" % (editing["edited_bytes"] / editing["fresh_bytes"])]
    md += ["", NOTES_MARKER, ""]
    with open(md_path, "w") as f:
        f.write("\n".join(md) + "\n" + notes)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
