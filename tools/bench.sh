#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

# Builds and runs the benchmarks, and writes their figures to
# docs/benchmarks.md. Usage: tools/bench.sh [folder for the scratch files]
# (default build/bench-work; put it on the disk you want to measure).
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
# The figures of tools/all-bench.sh and tools/card-bench.sh stand last and
# are kept.
card=$(awk '/^## (Several cameras at once|On a FAT32 card at its own pace)/ { kept = 1 } kept' \
    docs/benchmarks.md)
python3 tools/bench_report.py "$json" "$ORVANE_BENCH_DIR" "${more[@]}" > docs/benchmarks.md
if [ -n "$card" ]; then printf '\n%s\n' "$card" >>docs/benchmarks.md; fi
echo "Figures written to docs/benchmarks.md"
