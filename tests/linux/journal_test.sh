#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

# Runs the journal tests (TEST-BINARY) against a systemd-journald of their
# own, in a private mount namespace: a tmpfs over /run holds its sockets and
# its journal, which journalctl reads back from that folder. The case with
# no journal to reach runs first, before journald starts. Needs root; exits
# 77 (skipped) where that, or journald, cannot be had.
set -euo pipefail
binary=$1
journald=/lib/systemd/systemd-journald
if [ ! -x "$journald" ] || ! command -v journalctl >/dev/null; then
    echo "SKIPPED: systemd-journald and journalctl are not installed"
    exit 77
fi
if ! unshare -m --propagation private true 2>/dev/null; then
    echo "SKIPPED: a private mount namespace needs root (unshare -m)"
    exit 77
fi
exec unshare -m --propagation private bash -c '
    set -euo pipefail
    mount -t tmpfs orvane-journal /run
    mkdir -p /run/systemd/journal /run/log/journal
    ORVANE_JOURNAL=none "$1" --gtest_filter="JournalUnreachable.*"
    start=$(date +%s%N)
    "$2" &
    journald=$!
    trap "kill $journald 2>/dev/null; wait $journald 2>/dev/null || true" EXIT
    for _ in $(seq 200); do [ -S /run/systemd/journal/socket ] && break; sleep 0.025; done
    echo "journald answers after $((($(date +%s%N) - start) / 1000000)) ms"
    ORVANE_JOURNAL=/run/log/journal "$1" --gtest_filter="Journal.*"
' _ "$binary" "$journald"
