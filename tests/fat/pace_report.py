#!/usr/bin/env python3

# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

"""Turns the pace runs of run-bench.sh into a Markdown section.

Usage: pace_report.py WORK-DIR

Reads WORK-DIR/pace-slow and WORK-DIR/pace-fast: pace.txt (one line per run:
label, exit status, milliseconds), progress-LABEL.txt (one line per progress
report: milliseconds since the start, phase, bytes done, total) and
stop-PERCENT.out (the transfer's standard error, with "stop took N ms").
"""
import os
import re
import statistics
import sys

CARDS = (("slow", "about 5 MB/s writes, 10 MB/s reads"), ("fast", "unthrottled"))


def runs(folder):
    times = {}
    with open(os.path.join(folder, "pace.txt")) as f:
        for line in f:
            label, status, ms = line.split()
            if status != "0" and not label.startswith("stop-"):
                sys.exit(f"{folder}: {label} failed (exit {status})")
            times[label] = int(ms)
    return times


def median_of(times, method):
    values = [ms for label, ms in times.items() if re.fullmatch(method + r"-\d+", label)]
    return statistics.median(values) if values else None


def longest_gap(folder, method):
    """The longest time without a progress report, over the method's runs."""
    gaps = []
    for name in sorted(os.listdir(folder)):
        if not re.fullmatch(f"progress-{method}-\\d+\\.txt", name):
            continue
        with open(os.path.join(folder, name)) as f:
            stamps = [int(line.split()[0]) for line in f if line.strip()]
        gaps.append(max(b - a for a, b in zip(stamps, stamps[1:])))
    return max(gaps) if gaps else None


def stops(folder):
    found = []
    for name in sorted(os.listdir(folder)):
        match = re.fullmatch(r"stop-(\d+)\.out", name)
        if not match:
            continue
        with open(os.path.join(folder, name)) as f:
            took = re.search(r"stop took (-?\d+) ms", f.read())
        found.append((int(match.group(1)), int(took.group(1)) if took else None))
    return sorted(found)


def seconds(ms):
    return f"{ms / 1000:.2f} s"


def main():
    work = sys.argv[1]
    out = ["### A 64 MiB image on a FAT32 card in user-mode Linux", ""]
    out.append("| card | Orvane | earlier build | `cp`, `sync`, drop caches, `cmp` "
               "| `cp` + `sync` | Orvane against the careful copy | against `cp` + `sync` "
               "| against the earlier build |")
    out.append("|---|---:|---:|---:|---:|---:|---:|---:|")
    notes = []
    for card, what in CARDS:
        folder = os.path.join(work, f"pace-{card}")
        if not os.path.isdir(folder):
            continue
        times = runs(folder)
        orvane, careful, plain = (median_of(times, m) for m in ("orvane", "careful", "plain"))
        earlier = median_of(times, "baseline")
        out.append(f"| {card} ({what}) | {seconds(orvane)} | "
                   f"{seconds(earlier) if earlier else '-'} | {seconds(careful)} | "
                   f"{seconds(plain)} | {orvane / careful:.2f}x | {orvane / plain:.2f}x | "
                   f"{f'{orvane / earlier:.2f}x' if earlier else '-'} |")
        gap = longest_gap(folder, "orvane")
        line = f"- {card} card: longest time without a progress report {gap} ms"
        earlier_gap = longest_gap(folder, "baseline")
        if earlier_gap is not None:
            line += f" (earlier build: {earlier_gap} ms)"
        stopped = ", ".join(f"{ms} ms at {percent} %" if ms >= 0 else
                            f"none at {percent} % (the transfer had ended)"
                            for percent, ms in stops(folder))
        notes.append(line + f"; a stop request took effect in {stopped} of the transfer's "
                     "time.")
    out += [""] + notes
    print("\n".join(out))


if __name__ == "__main__":
    main()
