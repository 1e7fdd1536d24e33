#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

# Builds the libFuzzer targets and runs each for a fixed time, starting from
# the seed corpus in fuzz/corpus. Usage: tools/fuzz.sh [seconds per target]
# (default 20). A finding stops the run with the crashing input saved under
# build/fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"

bash tools/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p build/fuzz/artifacts
for target in profile_reader mountinfo sysfs_attribute; do
    echo "=== fuzzing ${target} for ${seconds} s"
    mkdir -p "$work/$target"
    cp fuzz/corpus/"$target"/* "$work/$target/"
    build/fuzz/fuzz/"${target}_fuzz" -max_total_time="$seconds" -max_len=4096 \
        -print_final_stats=1 -artifact_prefix="build/fuzz/artifacts/${target}-" \
        "$work/$target" 2>&1 | grep -E '^(#[0-9]+[[:space:]]+DONE|Done [0-9]+ runs|stat::number_of_executed_units|stat::peak_rss_mb|==[0-9]+==ERROR|SUMMARY)' || true
    if ls build/fuzz/artifacts/"${target}"-* >/dev/null 2>&1; then
        echo "fuzzing ${target} found a failing input:" build/fuzz/artifacts/"${target}"-*
        exit 1
    fi
done
