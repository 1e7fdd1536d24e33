# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

# What the Linux program's process tests share; sourced, after `work` names
# the test's scratch folder and `cleanup_more` what else goes at the end.
# Every process a test starts goes into started_pids, and is ended with it.

started_pids=()
failures=0

cleanup() {
    cleanup_more
    for pid in "${started_pids[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${started_pids[@]}"; do wait "$pid" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
# Job control: without it a background command starts with SIGINT ignored,
# and the program rightly keeps it so (as under nohup).
set -m

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# wait_for_line FILE PATTERN [SECONDS]: until a line of a target's output
# matches; the ceiling (30 s unless given) only guards a hang.
wait_for_line() {
    local file=$1 pattern=$2 tenths=$((${3:-30} * 10))
    for _ in $(seq "$tenths"); do
        grep -q "$pattern" "$file" && return 0
        sleep 0.1
    done
    return 1
}

# Ends the test: PASS when nothing failed.
finish() {
    [ "$failures" -eq 0 ] && echo "PASS" && exit 0
    exit 1
}
