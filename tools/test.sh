#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

# Builds every program and runs the whole test suite: the core and the Linux
# program (debug), the same under AddressSanitizer and UBSan, the Windows
# program end to end under Wine, and the release checks.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh

run_preset() {
    echo "=== $1"
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1"
    ctest --preset "$@"
}

# The debug build also builds the benchmarks, so they keep compiling;
# `bash tools/bench.sh` runs them optimised and writes docs/benchmarks.md.
run_preset debug
run_preset asan

# The Windows program: win64 is the same sources as the deliverable, run
# under 64-bit Wine on every scenario; win32 is the 32-bit deliverable,
# checked from its file and run under Wine on the scenarios labelled `ci`
# (natively where the kernel runs i386 code, through qemu-user emulation
# elsewhere, which is slow), driven by the 64-bit test driver. On both, the
# smoke scenarios run copies signed with a throwaway certificate (win32_signed).
# `ctest --preset win32` runs every scenario on the 32-bit build.
windows_start=$(date +%s)
run_preset win64
win32_start=$(date +%s)
rm -f build/win32/wine/skipped build/win32/wine/how
ORVANE_E2E_DRIVER=$PWD/build/win64/bin/orvane_e2e.exe run_preset win32 -L ci
echo "=== 32-bit program built and tested in $(($(date +%s) - win32_start)) s"
echo "=== Windows program built and tested in $(($(date +%s) - windows_start)) s"

# The release checks: licence headers, packages and their checksums,
# hardening, reproducible builds, signing, and the transfer's threads under
# ThreadSanitizer (tools/release-check.sh).
release_start=$(date +%s)
bash tools/release-check.sh
echo "=== release checks done in $(($(date +%s) - release_start)) s"

# The text readers under libFuzzer, a short fixed run; a longer one is
# `bash tools/fuzz.sh 600`.
echo "=== fuzz"
bash tools/fuzz.sh 20

# How the 32-bit program ran stands last, so that a run that could not start
# it is seen at once.
if [ -s build/win32/wine/skipped ]; then
    echo "=== NOT RUN: the 32-bit program's scenarios were skipped on this machine:"
    sort -u build/win32/wine/skipped | sed 's/^/===   /'
else
    case $(cat build/win32/wine/how 2>/dev/null) in
        qemu) echo "=== 32-bit program: its scenarios ran under qemu-user emulation" ;;
        native) echo "=== 32-bit program: its scenarios ran natively" ;;
    esac
fi
