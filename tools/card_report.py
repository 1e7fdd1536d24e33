#!/usr/bin/env python3

# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

"""Turns the card benches' figures into a Markdown section, both programs
side by side.

Usage: card_report.py LINUX-WORK-DIR WINDOWS-WORK-DIR

LINUX-WORK-DIR is tests/fat/run-bench.sh's in pace mode: pace-slow and
pace-fast, each with pace.txt (label, exit status, milliseconds),
progress-LABEL.txt (milliseconds since the start, phase, bytes done, total),
stops.txt (label, exit status, milliseconds to the signal, milliseconds from
it to the program's end, verdict, the signal's wall-clock microseconds) and
stop-LABEL.out (the program's standard error, with "stop step NAME US us"
lines, US on the same clock). WINDOWS-WORK-DIR is
tools/card-bench-wine.sh's: results.txt (who, what, run, NAME=VALUE...) and
card.log (the paced folder's calls). Either may be missing.
"""
import os
import re
import statistics
import sys


def seconds(ms):
    return f"{ms / 1000:.2f} s"


def spread(values):
    """The median and the worst, in milliseconds."""
    return f"{statistics.median(values):.0f} ms, {max(values):.0f} ms"


# ---- Linux, in user-mode Linux ---------------------------------------------

def linux_times(folder):
    times = {}
    with open(os.path.join(folder, "pace.txt")) as f:
        for line in f:
            label, status, ms = line.split()
            if status != "0":
                sys.exit(f"{folder}: {label} failed (exit {status})")
            times[label] = int(ms)
    return times


def median_of(times, method):
    values = [ms for label, ms in times.items() if re.fullmatch(method + r"-\d+", label)]
    return statistics.median(values) if values else None


def linux_gap(folder, method):
    """The longest time without a progress report, over the method's runs."""
    gaps = []
    for name in sorted(os.listdir(folder)):
        if re.fullmatch(f"progress-{method}-\\d+\\.txt", name):
            with open(os.path.join(folder, name)) as f:
                stamps = [int(line.split()[0]) for line in f if line.strip()]
            gaps.append(max(b - a for a, b in zip(stamps, stamps[1:])))
    return max(gaps) if gaps else None


def linux_stops(folder):
    """label -> (milliseconds from the signal to the end, verdict, steps)."""
    stops = {}
    path = os.path.join(folder, "stops.txt")
    if not os.path.exists(path):
        return stops
    with open(path) as f:
        for line in f:
            label, _status, _at, took, verdict, *signal = line.split()
            with open(os.path.join(folder, f"{label}.out")) as out:
                steps = re.findall(r"^stop step (\S+) (\d+) us$", out.read(), re.M)
            steps = [(name.replace("-", " "), (int(us) - int(signal[0])) / 1000)
                     for name, us in steps if signal]
            stops[label] = (int(took), verdict, steps)
    return stops


# ---- Windows, under Wine ---------------------------------------------------

def windows_runs(work):
    runs = []
    path = os.path.join(work, "results.txt")
    if not os.path.exists(path):
        return runs
    with open(path) as f:
        for line in f:
            who, what, run, *pairs = line.split()
            figures = dict(pair.split("=", 1) for pair in pairs)
            runs.append((who, what, int(run), figures))
    return runs


def windows_steps(work, figures):
    """What the card was asked between Cancel and the program's end."""
    start, end = float(figures["stop_wall_ms"]), float(figures["end_wall_ms"])
    names = {"write": "last piece came back", "release": "temporary closed",
             "unlink": "temporary removed", "fsyncdir": "folder flushed"}
    steps = {}
    with open(os.path.join(work, "card.log")) as f:
        for line in f:
            at, call, path, *_ = line.split() + [""]
            if start <= float(at) <= end and call in names and (
                    call == "fsyncdir" or path.endswith(".orvtmp")):
                steps[names[call]] = float(at) - start  # the last of each
    return sorted(steps.items(), key=lambda step: step[1]) + [("program ended", end - start)]


def steps_line(steps):
    return ", ".join(f"{name} +{ms:.0f} ms" for name, ms in steps)


def median_run(runs, took):
    """The run whose stop took the median time."""
    ordered = sorted(runs, key=took)
    return ordered[(len(ordered) - 1) // 2]


def main():
    linux, windows = sys.argv[1], sys.argv[2]
    slow = os.path.join(linux, "pace-slow")
    out = ["### On the 5 MB/s card, both programs", ""]
    out.append("| program | whole update | careful copy | against it | longest gap between "
               "progress updates | Cancel until the program ended (median, worst) | runs |")
    out.append("|---|---:|---:|---:|---:|---:|---:|")
    notes = []

    if os.path.isdir(slow):
        times = linux_times(slow)
        careful = median_of(times, "careful")
        stops = linux_stops(slow)
        for who, label in (("orvane", "Linux, this build"), ("baseline", "Linux, earlier build")):
            whole = median_of(times, who)
            if whole is None:
                continue
            prefix = "stop-" if who == "orvane" else "baseline-stop-"
            writing = [v for k, v in stops.items()
                       if k.startswith(prefix) and k[len(prefix):].isdigit()]
            stop = spread([took for took, _, _ in writing]) if writing else "-"
            count = len([k for k in times if re.fullmatch(who + r"-\d+", k)])
            out.append(f"| {label} | {seconds(whole)} | {seconds(careful)} | "
                       f"{whole / careful:.2f}x | {linux_gap(slow, who)} ms | {stop} | {count} |")
        bad = [f"{label}: {verdict}" for label, (_, verdict, _) in sorted(stops.items())
               if verdict != "ok"]
        notes.append("- Linux: " + (", ".join(bad) if bad else
                                    "after every stop the card held the old files and no "
                                    "temporary one"))
        for prefix, build in (("stop-", "this build"), ("baseline-stop-", "earlier build")):
            writing = {k: v for k, v in stops.items()
                       if k.startswith(prefix) and k[len(prefix):].isdigit()}
            if writing:
                label = median_run(writing, lambda k: writing[k][0])
                took, _, steps = writing[label]
                notes.append(f"- Linux, {build}, where the median stop's time went: Cancel, "
                             "then " + steps_line(steps + [("program ended", took)]))
        if "stop-checking" in stops:
            took, _, steps = stops["stop-checking"]
            notes.append("- Linux, a stop while the image was read back: "
                         + steps_line(steps + [("program ended", took)]))

    runs = windows_runs(windows)
    careful = [float(f["update_s"]) * 1000 for who, _, _, f in runs if who == "careful"]
    for who, label in (("orvane", "Windows, this build"), ("earlier", "Windows, earlier build")):
        updates = [f for w, what, _, f in runs if w == who and what == "update"]
        if not updates:
            continue
        whole = statistics.median(float(f["update_s"]) * 1000 for f in updates)
        gap = max(float(f["longest_gap_ms"]) for f in updates)
        stopped = [(what, run, f) for w, what, run, f in runs if w == who and what != "update"]
        took = [float(f["stop_to_end_ms"]) for _, _, f in stopped]
        out.append(f"| {label} | {seconds(whole)} | {seconds(statistics.median(careful))} | "
                   f"{whole / statistics.median(careful):.2f}x | {gap:.0f} ms | "
                   f"{spread(took) if took else '-'} | {len(updates)} |")
        bad = [f"{what} {run}: {f['verdict']}" for w, what, run, f in runs
               if w == who and f["verdict"] != "ok"]
        notes.append(f"- {label}: " + (", ".join(bad) if bad else
                                        "after every stop the card held the old files and no "
                                        "temporary one, after every update the new ones"))
        if stopped:
            _, _, f = median_run(stopped, lambda s: float(s[2]["stop_to_end_ms"]))
            notes.append(f"- {label}, where the median stop's time went, as the card saw it: "
                         "Cancel, then " + steps_line(windows_steps(windows, f)))

    out += [""] + notes
    fast = os.path.join(linux, "pace-fast")
    if os.path.isdir(fast):
        times = linux_times(fast)
        orvane, careful, plain = (median_of(times, m) for m in ("orvane", "careful", "plain"))
        earlier = median_of(times, "baseline")
        out += ["", "### Linux on a card as fast as this machine", "",
                "| Orvane | earlier build | careful copy | `cp` + `sync` | against the careful "
                "copy | against `cp` + `sync` |", "|---:|---:|---:|---:|---:|---:|",
                f"| {seconds(orvane)} | {seconds(earlier) if earlier else '-'} | "
                f"{seconds(careful)} | {seconds(plain)} | {orvane / careful:.2f}x | "
                f"{orvane / plain:.2f}x |", "",
                f"Longest time without a progress report: {linux_gap(fast, 'orvane')} ms."]
    print("\n".join(out))


if __name__ == "__main__":
    main()
