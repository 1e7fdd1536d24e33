#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

# Times a 64 MiB update on a card that writes 5 MB/s and reads 20 MB/s, on
# both systems, against copying by hand, and Cancel 3 s into it; and writes
# the figures into docs/benchmarks.md (its last section, which
# tools/bench.sh keeps). Linux: the kernel's own vfat driver in user-mode
# Linux (tests/fat/run-bench.sh pace), with a fast card too. Windows: the
# 32-bit Orvane.exe under Wine, its camera letter on a paced FUSE folder
# (tools/card-bench-wine.sh).
#
#   tools/card-bench.sh [--linux|--windows] [EARLIER-COMMIT]
#
# --linux or --windows runs that half alone; the other half's figures of
# the last run are kept. With EARLIER-COMMIT, that commit's transfer (Linux)
# and program (Windows) are timed the same way.
set -euo pipefail
cd "$(dirname "$0")/.."
only=""
case ${1:-} in --linux | --windows) only=${1#--} && shift ;; esac
bash tools/install-deps.sh

linux_work=build/card-bench-work windows_work=build/card-bench-wine
build_linux() {  # build_linux SOURCE-DIR BUILD-DIR
    cmake -S "$1" -B "$2" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANE_BUILD_QT=OFF >/dev/null
    cmake --build "$2" --target orvane_fat_transfer >/dev/null
}
build_windows() {  # build_windows SOURCE-DIR BUILD-DIR TARGET...
    local source=$1 binary=$2
    shift 2
    cmake -S "$source" -B "$binary" -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel \
        --toolchain "$source/cmake/toolchain-mingw-i686.cmake" >/dev/null
    cmake --build "$binary" --target "$@" >/dev/null
}

tree=""
if [ $# -ge 1 ]; then
    tree=$PWD/build/card-bench-earlier
    rm -rf "$tree"
    git worktree add -f --detach "$tree" "$1" >/dev/null
    trap 'git worktree remove --force "$tree"' EXIT
fi

if [ "$only" != windows ]; then
    build_linux . build/card-bench
    earlier=()
    if [ -n "$tree" ]; then
        # The earlier transfer, driven by today's bench program.
        cp tests/fat/fat_transfer.cpp "$tree/tests/fat/"
        build_linux "$tree" "$tree/build"
        earlier=("$tree/build/tests/fat/orvane_fat_transfer")
    fi
    bash tests/fat/run-bench.sh pace build/card-bench/tests/fat/orvane_fat_transfer "$linux_work" \
        "${earlier[@]}"
fi
if [ "$only" != linux ]; then
    build_windows . build/card-bench-win32 Orvane orvane_e2e
    earlier=()
    if [ -n "$tree" ]; then
        build_windows "$tree" "$tree/build-win32" Orvane
        earlier=("$tree/build-win32/bin/Orvane.exe")
    fi
    bash tools/card-bench-wine.sh build/card-bench-win32/bin/Orvane.exe \
        build/card-bench-win32/bin/orvane_e2e.exe "$windows_work" "${earlier[@]}"
fi
report=$(python3 tools/card_report.py "$linux_work" "$windows_work")

heading="## On a FAT32 card at its own pace"
kept=$(sed "/^$heading/,\$d" docs/benchmarks.md)
{
    printf '%s\n\n' "$kept"
    printf '%s\n\n' "$heading"
    printf 'Produced by `bash tools/card-bench.sh%s` on %s.\n' "${1:+ $1}" "$(date -u +%Y-%m-%d)"
    cat <<'TEXT'
A 64 MiB `vorm.bin` and a small `dsccmd.ini` go onto a card that holds the
previous update's files. Linux: the bench program drives the core's transfer
over the Linux back end, on the kernel's own vfat driver in user-mode Linux
(a 4 GB card image formatted as a camera formats one, FAT32 with 32 KiB
clusters, mounted as a desktop mounts it; its pace held by the block
cgroup's throttle); SIGINT stands for Cancel. Windows: the 32-bit
`Orvane.exe` under Wine, driven through its dialog by the test driver, the
camera's removable letter on a FUSE folder that takes each read and write at
the card's pace (`tools/paced-folder.c`, no page cache, so the read-back
reads the card; no FAT beneath it). Wine's windows are left unmanaged: under
Xvfb, with no window manager, Wine waits 2 s for one at every dialog's end,
which Windows does not (`WINE_MANAGED=Y` shows each stop 2 s longer). The
careful copy is what a user would do by hand on the same card: `cp` both
files, `sync`, drop the caches, `cmp` both. Each way is timed three times,
interleaved; Cancel (and on Windows Escape, three times more) comes 3 s into
the update, and the time runs until the program has ended. A progress update is a
progress report of the transfer's on Linux, a change of the bar or the status
line the dialog shows on Windows (a whole percent at most every 100 ms).
The steps of each stop are counted from Cancel: on Linux as the program saw
them, on Windows as the card saw them.

TEXT
    printf '%s\n' "$report"
} >docs/benchmarks.md.new
mv docs/benchmarks.md.new docs/benchmarks.md
echo "Figures written to docs/benchmarks.md"
