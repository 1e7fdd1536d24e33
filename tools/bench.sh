#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

# Builds and runs the benchmarks, and writes their figures to
# docs/benchmarks.md. Usage: tools/bench.sh [SCRATCH-FOLDER [EARLIER-COMMIT]]
# SCRATCH-FOLDER (default build/bench-work) lies on the disk you want to
# measure. With EARLIER-COMMIT, the transfer with read-back of that commit's
# build is timed too, alternately with today's: what has changed its cost
# since (the hash of what is read back, for one).
set -euo pipefail
cd "$(dirname "$0")/.."
export ORVANE_BENCH_DIR="${1:-$PWD/build/bench-work}"

bash tools/install-deps.sh
cmake --preset bench >/dev/null
cmake --build --preset bench

json="build/bench/results.json"
# Interleaved, so that the transfer run directly and on a worker thread see
# the same moments of a busy machine.
build/bench/bench/orvane_bench --benchmark_out="$json" --benchmark_out_format=json \
    --benchmark_enable_random_interleaving=true
# The direct and the worker-thread transfers twice more: their ratio is
# reported as the median of the three runs.
more=()
for run in 2 3; do
    out="build/bench/transfers-$run.json"
    build/bench/bench/orvane_bench --benchmark_filter='^(SafeTransfer|TransferOnWorkerThread)/' \
        --benchmark_out="$out" --benchmark_out_format=json \
        --benchmark_enable_random_interleaving=true >/dev/null
    more+=("$out")
done
earlier=()
if [ $# -ge 2 ]; then
    tree=build/bench-earlier
    rm -rf "$tree"
    mkdir -p "$tree"
    git archive "$2" | tar -x -C "$tree"
    cmake -S "$tree" -B "$tree/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANE_BUILD_TESTS=OFF \
        -DORVANE_BUILD_QT=OFF -DORVANE_BUILD_BENCHMARKS=ON >/dev/null
    cmake --build "$tree/build" --target orvane_bench >/dev/null
    earlier=(--earlier "$(git rev-parse --short "$2")")
    for run in 1 2 3 4 5; do
        for build in now earlier; do
            program=build/bench/bench/orvane_bench
            [ "$build" = now ] || program=$tree/build/bench/orvane_bench
            out="build/bench/readback-$build-$run.json"
            "$program" --benchmark_filter='^SafeTransfer/verify:1/' \
                --benchmark_out="$out" --benchmark_out_format=json >/dev/null
            earlier+=("$out")
        done
    done
fi
# The figures of tools/all-bench.sh and tools/card-bench.sh stand last and
# are kept.
card=$(awk '/^## (Several cameras at once|On a FAT32 card at its own pace)/ { kept = 1 } kept' \
    docs/benchmarks.md)
python3 tools/bench_report.py "$json" "$ORVANE_BENCH_DIR" "${more[@]}" "${earlier[@]}" \
    > docs/benchmarks.md
if [ -n "$card" ]; then printf '\n%s\n' "$card" >>docs/benchmarks.md; fi
echo "Figures written to docs/benchmarks.md"
