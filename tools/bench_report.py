#!/usr/bin/env python3

# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

"""Turns the benchmark results (JSON) into docs/benchmarks.md."""
import json
import pathlib
import statistics
import subprocess
import sys


def medians(results, aggregate="median"):
    out = {}
    for b in results["benchmarks"]:
        if b.get("aggregate_name") == aggregate:
            out[b["run_name"].split("/iterations")[0].split("/repeats")[0]] = b
    return out


def ms(b):
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
    return b["real_time"] * scale


def hash_section(m, verified, earlier):
    """The read-back's SHA-256: the hash alone, and the transfer against an earlier build."""
    print()
    print("## The firmware's SHA-256\n")
    print("Each update file is hashed as it is read back from the camera, each 1 MiB")
    print("piece on a thread beside the reading of the next, so that no pass over the")
    print("data is added; the transfers above include it.\n")
    print("| hashing 64 MiB | median | speed |")
    print("|---|---:|---:|")
    rows = (("Sha256Image/processor:1", "with the processor's SHA instructions"),
            ("Sha256Image/processor:0", "with the portable code"))
    for name, what in rows:
        b = m.get(name)
        if b is None or b.get("error_occurred"):
            print(f"| {what} | not on this processor | |")
            continue
        print(f"| {what} | {ms(b):.1f} ms | {64 * 1048576 / ms(b) / 1e3:.0f} MB/s |")
    print()
    fast = m.get("Sha256Image/processor:1")
    used = fast if fast is not None and not fast.get("error_occurred") else m["Sha256Image/processor:0"]
    print(f"- Done in one with the transfer, the hash would add {ms(used):.1f} ms, "
          f"{ms(used) / verified * 100:.0f} % of the transfer with read-back: the scratch disk "
          f"reads back about as fast as one core hashes. On a second core it overlaps the "
          f"reading of the next piece; what is left of it is the comparison below. On a card "
          f"read at 20 MB/s (3.4 s for 64 MiB) it would be {ms(used) / 3355 * 100:.1f} % even "
          f"in one with the reading.")
    print("- It holds one more 1 MiB piece, the one being hashed while the next is read; the "
          "C library keeps some more aside for the thread that hashes it (the peak memory "
          "above; with `MALLOC_ARENA_MAX=1` the difference is that one piece).")
    if not earlier:
        return
    commit, paths = earlier[0], earlier[1:]
    now = [ms(medians(json.load(open(p)))["SafeTransfer/verify:1"]) for p in paths[0::2]]
    before = [ms(medians(json.load(open(p)))["SafeTransfer/verify:1"]) for p in paths[1::2]]
    fastest_now = [ms(medians(json.load(open(p)), "min")["SafeTransfer/verify:1"])
                   for p in paths[0::2]]
    fastest_before = [ms(medians(json.load(open(p)), "min")["SafeTransfer/verify:1"])
                      for p in paths[1::2]]
    ratio = statistics.median(now) / statistics.median(before)
    print(f"- The transfer with read-back against the build of `{commit}`, which did not "
          f"hash, {len(now)} runs of each, alternately: {statistics.median(now):.1f} ms "
          f"against {statistics.median(before):.1f} ms, the medians of the runs' medians, "
          f"{ratio:.2f}x (target: at most 1.05x). By the runs' fastest repetitions, the least "
          f"disturbed by other work on the machine: {statistics.median(fastest_now):.1f} ms "
          f"against {statistics.median(fastest_before):.1f} ms, "
          f"{statistics.median(fastest_now) / statistics.median(fastest_before):.2f}x.")


def main():
    args = sys.argv[1:]
    earlier = []
    if "--earlier" in args:
        earlier = args[args.index("--earlier") + 1:]
        args = args[:args.index("--earlier")]
    sys.argv = [sys.argv[0]] + args
    results = results_all = json.load(open(sys.argv[1]))
    where = sys.argv[2]
    m = medians(results)
    plain, verified = ms(m["SafeTransfer/verify:0"]), ms(m["SafeTransfer/verify:1"])
    cp, read = ms(m["CpThenSync"]), ms(m["UncachedSequentialRead"])
    # The scratch folder is gone by now; its nearest existing parent is on
    # the same filesystem.
    folder = pathlib.Path(where)
    while not folder.exists():
        folder = folder.parent
    df = subprocess.run(["df", "-T", str(folder)], capture_output=True, text=True)
    fs = df.stdout.splitlines()[-1].split()[1]
    ctx = results["context"]
    print("# Benchmarks\n")
    print("Produced by `bash tools/bench.sh` (Google Benchmark, release build, real time,")
    print("medians of 5 repetitions, 15 for the transfers, whose repetitions are")
    print("interleaved). The scratch folder stands for the camera's drive;")
    print(f"here it was on a `{fs}` filesystem, on a machine with {ctx['num_cpus']} CPUs.\n")
    print("## Transfer of a 64 MiB firmware image\n")
    print("| what | median | against `cp` + `sync` |")
    print("|---|---:|---:|")
    print(f"| `cp` then `sync` | {cp:.1f} ms | 1.00x |")
    print(f"| safe transfer, no read-back | {plain:.1f} ms | {plain / cp:.2f}x |")
    print(f"| safe transfer with read-back | {verified:.1f} ms | {verified / cp:.2f}x |")
    print(f"| uncached sequential read of the file | {read:.1f} ms | {read / cp:.2f}x |")
    print()
    print(f"- Without read-back the transfer takes {plain / cp:.2f}x the time of `cp` + `sync` "
          f"(target: within 1.10x). It flushes only its own file and folder, while `sync` "
          f"flushes every filesystem of the machine.")
    print(f"- The read-back adds {verified - plain:.1f} ms, {(verified - plain) / read:.2f}x one "
          f"uncached sequential read of the file (target: at most 1x); it also re-reads the "
          f"source, from the cache, to compare byte for byte.")
    rss = m["SafeTransfer/verify:1"].get("peak_rss_MiB")
    if rss is not None:
        print(f"- Peak resident memory of the benchmark process during the transfers: {rss:.1f} MiB "
              f"(the copy works in 1 MiB pieces, whatever the file's size).")
    print()
    print("The scratch folder lies on the machine's own disk: a USB camera writes far")
    print("slower, so there the device's speed decides and these ratios shrink toward 1.")
    print()
    worker_plain = ms(m["TransferOnWorkerThread/verify:0/MiB:64"])
    worker = ms(m["TransferOnWorkerThread/verify:1/MiB:64"])
    large = m["TransferOnWorkerThread/verify:1/MiB:256"]
    print("## The transfer as the dialog runs it\n")
    print("On a worker thread, each change of the percentage handed back to the")
    print("benchmark's thread and formatted into the status line, as the dialog's")
    print("message loop does; beside the same transfer run directly on one thread.\n")
    print("| what | run directly | on a worker thread | ratio |")
    print("|---|---:|---:|---:|")
    print(f"| 64 MiB, no read-back | {plain:.1f} ms | {worker_plain:.1f} ms | {worker_plain / plain:.2f}x |")
    print(f"| 64 MiB with read-back | {verified:.1f} ms | {worker:.1f} ms | {worker / verified:.2f}x |")
    print(f"| 256 MiB with read-back | | {ms(large):.1f} ms | |")
    print()
    def ratios(aggregate):
        out = []
        for results in [results_all] + [json.load(open(path)) for path in sys.argv[3:]]:
            run = medians(results, aggregate)
            out.append(ms(run["TransferOnWorkerThread/verify:1/MiB:64"]) /
                       ms(run["SafeTransfer/verify:1"]))
        return out

    by_median, by_fastest = ratios("median"), ratios("min")
    listed = ", ".join(f"{r:.2f}x" for r in by_median)
    print(f"- With read-back, as the dialog runs it, the worker thread takes "
          f"{statistics.median(by_median):.2f}x the time of the direct transfer, the median of "
          f"{len(by_median)} runs of the pair ({listed}; target: within 1.05x). Compared by "
          f"their fastest repetitions, the least disturbed by other work on the machine: "
          f"{statistics.median(by_fastest):.2f}x "
          f"({', '.join(f'{r:.2f}x' for r in by_fastest)}).")
    print(f"- {large['progress_updates']:.0f} progress updates reach the user-interface thread "
          f"per 256 MiB transfer: one per phase, and a change of the percentage at most every "
          f"100 ms.")
    print(f"- Peak resident memory of the whole benchmark process, after the 256 MiB "
          f"transfers too: {large['peak_rss_MiB']:.1f} MiB; it does not grow with the image.")
    print()
    print("## Start-up and polling\n")
    print("| what | median |")
    print("|---|---:|")
    scan = m["CameraScan64Devices"]
    ini = m["ReadFirmwareIni"]
    print(f"| one camera scan over 64 USB devices (sysfs tree) | {ms(scan) * 1000:.0f} µs |")
    print(f"| reading the three values of `FirmWare.ini` | {ms(ini) * 1000:.1f} µs |")
    print()
    print("A scan runs every 5 s while the camera is absent, so it costs well under")
    print("0.1 % of one core.")
    hash_section(m, verified, earlier)


if __name__ == "__main__":
    main()
