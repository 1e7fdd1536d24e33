#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

# Times a 64 MiB transfer on a FAT32 card in user-mode Linux, held to about
# 5 MB/s of writes and on a fast one, against copying by hand, and writes the
# figures into docs/benchmarks.md (its last section, which tools/bench.sh
# keeps). Usage: tools/card-bench.sh [EARLIER-COMMIT]
# With EARLIER-COMMIT, that commit's transfer is timed the same way.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh

build() {  # build SOURCE-DIR BUILD-DIR
    cmake -S "$1" -B "$2" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANE_BUILD_QT=OFF >/dev/null
    cmake --build "$2" --target orvane_fat_transfer >/dev/null
}
build . build/card-bench
earlier=()
if [ $# -ge 1 ]; then
    tree=$PWD/build/card-bench-earlier
    rm -rf "$tree"
    git worktree add -f --detach "$tree" "$1" >/dev/null
    # The earlier transfer, driven by today's bench program.
    cp tests/fat/fat_transfer.cpp "$tree/tests/fat/"
    build "$tree" "$tree/build"
    earlier=("$tree/build/tests/fat/orvane_fat_transfer")
fi
work=build/card-bench-work
report=$(bash tests/fat/run-bench.sh pace build/card-bench/tests/fat/orvane_fat_transfer "$work" \
    "${earlier[@]}" | sed -n '/^### /,$p')
[ $# -ge 1 ] && git worktree remove --force "$tree"

heading="## On a FAT32 card at its own pace"
kept=$(sed "/^$heading/,\$d" docs/benchmarks.md)
{
    printf '%s\n\n' "$kept"
    printf '%s\n\n' "$heading"
    printf 'Produced by `bash tools/card-bench.sh%s` on %s: the kernel'"'"'s own vfat\n' \
        "${1:+ $1}" "$(date -u +%Y-%m-%d)"
    cat <<'TEXT'
driver in user-mode Linux, a 256 MiB card image; the slow card's throughput
is held by the block cgroup's throttle. Each way is timed from a cold cache
on a card without the files, the median of its runs (2 on the slow card, 5
on the fast one); the careful copy is what a user would do by hand: `cp` both
files, `sync`, drop the caches, `cmp` both. Progress reports and stop
requests are the transfer's own (the dialog shows at most one every 100 ms).

TEXT
    printf '%s\n' "$report"
} >docs/benchmarks.md.new
mv docs/benchmarks.md.new docs/benchmarks.md
echo "Figures written to docs/benchmarks.md"
