#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

# The transfer on the kernel's own vfat driver, in user-mode Linux, with the
# card pulled at many instants and every write the card received replayed.
#
#   run-bench.sh ci|all|replay DRIVER WORK-DIR
#   run-bench.sh pace DRIVER WORK-DIR [EARLIER-DRIVER]
#
# DRIVER is the built orvane_fat_transfer. pace times a 64 MiB transfer on a
# slow card and a fast one against copying by hand, and EARLIER-DRIVER the
# same way where given, and stops it on the slow card; tools/card_report.py
# reads the figures it leaves in WORK-DIR. Three checks, each on a card that
# already holds old files and on a fresh one:
#   success    the card copied the instant the transfer reports success holds
#              both new files whole and no temporary file; and a card whose
#              firmware image is changed under the cache as its read-back
#              begins fails the check and keeps its old files
#   pulls      the card is pulled (its device-mapper table switched to
#              "error") at instants spread over the transfer; whatever was
#              reported, the card then holds a sound set (check_card.py)
#   logwrites  every write is recorded with dm-log-writes, and the card is
#              checked at every flush or FUA point of the record, and after
#              every single write in the order the writes completed; in the
#              files' own folder, in a crowded one and in the card's top
#              folder
# ci runs the first two with a few pull instants and the third on one card;
# all runs everything with many; replay only the third. Exits 77 (skipped)
# where user-mode Linux cannot run.
set -euo pipefail

mode=$1 driver=$(realpath "$2") work=$(realpath -m "$3")
baseline=${4:+$(realpath "$4")}
here=$(cd "$(dirname "$0")" && pwd)
check=$here/check_card.py

for tool in linux.uml mkfs.vfat fsck.fat mcopy dmsetup; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIPPED: $tool is missing (bash tools/install-deps.sh installs it)"
        exit 77
    fi
done

rm -rf "$work"
mkdir -p "$work/new" "$work/old"
# The update files, and older ones of other sizes: a firmware image of some
# megabytes, so that a pull can fall inside its write.
python3 - "$work" "$mode" <<'PY'
import random, sys
work = sys.argv[1]
def write(path, size, seed):
    with open(path, "wb") as f:
        f.write(random.Random(seed).randbytes(size))
write(f"{work}/new/vorm.bin", (64 if sys.argv[2] == "pace" else 6) * 1024 * 1024 + 12345, 1)
write(f"{work}/old/vorm.bin", 5 * 1024 * 1024 + 777, 2)
open(f"{work}/new/dsccmd.ini", "w").write("[CMD]\r\nUPDATE=1\r\n")
open(f"{work}/old/dsccmd.ini", "w").write("[CMD]\r\nUPDATE=0\r\nOLD=1\r\n")
PY
export MTOOLS_SKIP_CHECK=1
# The starting cards, in three layouts, each with the previous update's files
# (old) and without them (fresh):
#   plain    the files' own folder FIRMWARE, holding nothing else
#   crowded  FIRMWARE among many other entries, so that a temporary name and
#            the final one lie in different sectors of the folder; the fresh
#            card has a hole near the start where a deleted entry was
#   top      the card's top folder, beside the camera's own folders
layouts="plain crowded top"
folder_of() { [ "$1" = top ] && echo "" || echo FIRMWARE; }
dest_of() { [ "$1" = top ] && echo / || echo FIRMWARE; }
mkdir -p "$work/crowd"
for i in $(seq -w 1 48); do echo "picture $i" >"$work/crowd/picture-$i-from-an-older-card.jpg"; done
for layout in $layouts; do
    for name in fresh old; do
        image=$work/start-$layout-$name.img
        truncate -s 64M "$image"
        mkfs.vfat -F 32 -n CAMERA "$image" >/dev/null
        folder=$(folder_of $layout)
        if [ -n "$folder" ]; then mmd -i "$image" "::/$folder"; fi
        if [ $layout = top ]; then mmd -i "$image" ::/DCIM ::/MISC; fi
        if [ $name = old ]; then
            mcopy -i "$image" "$work/old/vorm.bin" "$work/old/dsccmd.ini" "::/$folder"
        fi
        if [ $layout != plain ]; then
            mcopy -i "$image" "$work"/crowd/* "::/$folder"
            if [ $name = fresh ]; then
                mdel -i "$image" "::/$folder/picture-02-from-an-older-card.jpg"
            fi
        fi
    done
done
failures=0
# The guest's memory is a file in TMPDIR; a small /dev/shm cannot hold it.
export TMPDIR=$work
# boot RUN-FOLDER MODE "ubdb=... ubdc=..." VAR=VALUE...: one guest run.
boot() {
    local out=$1 guest_mode=$2 disks=$3
    shift 3
    mkdir -p "$out"
    # The guest's root is the host's own, so it runs our programs as they are.
    if ! timeout 900 linux.uml mem=${MEM:-256M} rootfstype=hostfs rw $disks init="$here/guest.sh" \
        con=null con0=null MODE="$guest_mode" OUT="$out" DRIVER="$driver" SOURCE="$work/new" \
        "$@" >"$out/console.log" 2>&1 || ! grep -q "guest done" "$out/guest.log"; then
        echo "FAIL: the $guest_mode guest did not finish; see $out/guest.log"
        tail -n 20 "$out/guest.log" "$out/console.log" 2>/dev/null || true
        exit 1
    fi
}

# A guest that only says it is up: where even that fails, this machine
# cannot run user-mode Linux (no room for its memory, system calls it may
# not trace), which is no fault of the transfer.
printf '#!/bin/sh\nmount -t proc proc /proc\necho up >"%s/probe.ok"\necho o >/proc/sysrq-trigger\nsleep 10\n' \
    "$work" >"$work/probe.sh"
chmod +x "$work/probe.sh"
timeout 120 linux.uml mem=64M rootfstype=hostfs rw init="$work/probe.sh" con=null con0=null \
    >"$work/probe.log" 2>&1 || true
if [ ! -f "$work/probe.ok" ]; then
    echo "SKIPPED: user-mode Linux does not start on this machine:"
    tail -n 5 "$work/probe.log"
    exit 77
fi
fresh_flag() { [ "$1" = fresh ] && echo --fresh || true; }

# ---- The pace of a 64 MiB transfer on a card that takes about 5 MB/s of
# writes and 20 MB/s of reads, and on one as fast as this machine
if [ "$mode" = pace ]; then
    for card in ${PACE_CARDS:-slow fast}; do
        out=$work/pace-$card
        mkdir -p "$out"
        # As a camera formats a 4 GB card: FAT32 with 32 KiB clusters. A
        # small image would get 512-byte ones, whose allocation table is 64
        # times larger per file than any camera card's. The image is sparse.
        truncate -s 4G "$out/card.img"
        mkfs.vfat -F 32 -s 64 -n CAMERA "$out/card.img" >/dev/null
        [ $card = slow ] && bps="WRITE_BPS=5000000 READ_BPS=20000000 RUNS=3 STOP_MS=3000" ||
            bps="WRITE_BPS=0 RUNS=5"
        # shellcheck disable=SC2086
        MEM=768M boot "$out" pace "ubdb=$out/card.img" $bps OLD="$work/old" \
            ${baseline:+BASELINE=$baseline}
    done
    exit 0
fi

# ---- At success
if [ "$mode" != replay ]; then
out=$work/success
mkdir -p "$out"
cp "$work/start-plain-old.img" "$out/card-old.img"
cp "$work/start-plain-fresh.img" "$out/card-fresh.img"
# A card whose firmware image is changed under the file system as its
# read-back begins, while its pages stay in memory: the check must see it.
cp "$work/start-plain-old.img" "$out/card-changed.img"
boot "$out" success "ubdb=$out/card-old.img ubdc=$out/card-fresh.img ubdd=$out/card-changed.img" \
    CARDS="$out/card-old.img,$out/card-fresh.img" NAMES=old,fresh CHANGED=2
for name in old fresh; do
    grep -qx success "$out/success-$name.txt" ||
        { echo "FAIL: the transfer on the $name card failed:"; cat "$out/success-$name.txt"; exit 1; }
    python3 "$check" check "$out/success-$name.img" --result "$out/success-$name.txt" \
        --old "$work/old" --new "$work/new" $(fresh_flag $name) || failures=$((failures + 1))
done
if grep -q "read back from the camera differs from the update file" "$out/changed.txt"; then
    echo "ok: a card changed under the cache failed the read-back"
    python3 "$check" check "$out/card-changed.img" --result "$out/changed.txt" \
        --old "$work/old" --new "$work/new" || failures=$((failures + 1))
else
    echo "FAIL: a card changed under the cache passed the read-back:"
    cat "$out/changed.txt"
    failures=$((failures + 1))
fi

# ---- Pulls, at instants spread over the transfer and just past its end
if [ "$mode" = ci ]; then
    percents="5 40 75 90 95 98 100 103 110"
else
    percents="$(seq 0 4 80) $(seq 81 1 112)"
fi
percents=$(echo $percents | tr ' ' ,)
out=$work/pulls
mkdir -p "$out"
cp "$work/start-plain-old.img" "$out/start-old.img"
cp "$work/start-plain-fresh.img" "$out/start-fresh.img"
cp "$work/start-plain-old.img" "$out/card.img"
boot "$out" pulls "ubdb=$out/card.img" CARDS="$out/card.img" NAMES=old,fresh PERCENTS="$percents" \
    DELAY_MS=10
grep "a whole transfer takes" "$out/guest.log"
pulls=0 successes=0
for name in old fresh; do
    for percent in ${percents//,/ }; do
        pulls=$((pulls + 1))
        result=$out/pull-$name-$percent.txt
        grep -qx success "$result" && successes=$((successes + 1))
        python3 "$check" check "$out/pull-$name-$percent.img" --result "$result" \
            --remount "$out/pull-$name-$percent.remount" \
            --old "$work/old" --new "$work/new" $(fresh_flag $name) || failures=$((failures + 1))
    done
done
echo "pulls: $pulls instants checked, $successes of them after success was reported"
fi

# ---- Every flush or FUA point of a recorded transfer, and every write, in
# each layout
# ci replays only the fresh card in the crowded folder, where the order of a
# new name's two entry writes matters most.
replays="$layouts" names="old fresh"
[ "$mode" = ci ] && replays=crowded names=fresh
for layout in $replays; do
    out=$work/logwrites-$layout
    mkdir -p "$out"
    # Each card and its log in a pair of disks: ubdb and ubdc, ubdd and ubde.
    disks=() letters=(b c d e)
    for name in $names; do
        cp "$work/start-$layout-$name.img" "$out/card-$name.img"
        truncate -s 256M "$out/log-$name.img"
        disks+=("ubd${letters[${#disks[@]}]}=$out/card-$name.img")
        disks+=("ubd${letters[${#disks[@]}]}=$out/log-$name.img")
    done
    boot "$out" logwrites "${disks[*]}" NAMES="${names// /,}" DEST="$(dest_of $layout)"
    for name in $names; do
        echo "$layout folder, $name card:"
        python3 "$check" replay "$out/log-$name.img" "$work/start-$layout-$name.img" \
            --old "$work/old" --new "$work/new" $(fresh_flag $name) \
            --folder "$(folder_of $layout)" --every-write || failures=$((failures + 1))
    done
done

if [ $failures -ne 0 ]; then
    echo "FAIL: $failures checks failed; the cards are in $work"
    exit 1
fi
echo "all cards sound"
