#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

# The Windows program on a card at its own pace: Orvane.exe under Wine, with
# the camera's removable letter G: on a folder that writes and reads at a
# card's pace (tools/paced-folder.c, through FUSE), beside the careful user's
# copy on the same folder: `cp` both files, `sync`, drop the caches, `cmp`
# both. Each run leaves its figures in WORK-DIR/results.txt, one line each,
# for tools/card_report.py; tools/card-bench.sh runs this.
#
#   card-bench-wine.sh PROGRAM DRIVER WORK-DIR [EARLIER-PROGRAM]
#
# PROGRAM is Orvane.exe and DRIVER the test driver orvane_e2e.exe; an
# EARLIER-PROGRAM is timed the same way, by the same driver. From the
# environment: WRITE_BPS and READ_BPS, the card's pace (5 and 20 MB/s),
# IMAGE_MIB, the firmware image's size (64; the update must outlast
# STOP_MS), RUNS, how many times each way is timed (3), STOP_MS, when Cancel
# and Escape are pressed (3000), and WINE_MANAGED=Y to leave Wine's windows
# to a window manager (see below).
set -euo pipefail

program=$(realpath "$1") driver=$(realpath "$2") work=$(realpath -m "$3")
earlier=${4:+$(realpath "$4")}
root=$(cd "$(dirname "$0")/.." && pwd)
runner=$root/tests/win32/run-wine.sh
write_bps=${WRITE_BPS:-5000000} read_bps=${READ_BPS:-20000000}
runs=${RUNS:-3}
export ORVANE_CARD_IMAGE_MIB=${IMAGE_MIB:-64} ORVANE_CARD_STOP_MS=${STOP_MS:-3000}

for tool in gcc pkg-config xvfb-run /usr/lib/wine/wine64; do
    command -v "$tool" >/dev/null || { echo "card-bench-wine.sh: $tool is missing" >&2; exit 1; }
done
[ -e /dev/fuse ] || { echo "card-bench-wine.sh: FUSE is not available here" >&2; exit 1; }

mkdir -p "$work"
read -ra fuse <<<"$(pkg-config --cflags --libs fuse3)"
gcc -O2 -Wall -Wextra -Werror -o "$work/paced-folder" "$root/tools/paced-folder.c" "${fuse[@]}"

store=$work/card-store card=$work/card source=$work/source
results=$work/results.txt log=$work/card.log
umount "$card" 2>/dev/null || true
rm -rf "$store" "$source" "$results" "$log"
mkdir -p "$store" "$card" "$source"
"$work/paced-folder" "$store" "$card" --write-bps="$write_bps" --read-bps="$read_bps" \
    --log="$log"
finish() {
    umount "$card" 2>/dev/null || umount -l "$card" 2>/dev/null || true
    bash "$runner" cleanup "$work/wine" "$program" || true
}
trap finish EXIT
echo "card: $card, $write_bps bytes/s of writes and $read_bps of reads"
bash "$runner" setup "$work/wine" "$program"
# Wine's X11 driver waits up to 2 s for a window manager to confirm that a
# hidden window was withdrawn, and Xvfb runs none: every dialog's end would
# take 2 s more than on Windows. Unmanaged windows are hidden at once.
WINEPREFIX=$work/wine/prefix WINEDEBUG=-all /usr/lib/wine/wine64 reg add \
    'HKCU\Software\Wine\X11 Driver' /v Managed /d "${WINE_MANAGED:-N}" /f >/dev/null
WINEPREFIX=$work/wine/prefix /usr/lib/wine/wineserver64 -w

now() { echo "${EPOCHREALTIME/./}"; }  # microseconds, without starting a process
old_image="old firmware image"

# scenario LABEL PROGRAM KIND RUN: one run of the driver's card_KIND, then
# what it left on the card.
scenario() {
    local label=$1 exe=$2 kind=$3 run=$4 out
    out=$work/$label-$kind-$run.out
    rm -rf "${store:?}"/*
    ORVANE_E2E_DRIVER=$driver ORVANE_E2E_CAMERA=$card \
        bash "$runner" scenario "$work/wine" "$exe" "card_$kind" >"$out" 2>&1 || true
    local figures verdict=ok
    figures=$(sed -n 's/^bench \([a-z_]*\) \([-0-9.]*\)\r*$/\1=\2/p' "$out" | tr '\n' ' ')
    grep -q '^PASS' "$out" || verdict="failed:scenario"
    if compgen -G "$store/FIRMWARE/*.orvtmp" >/dev/null; then verdict="failed:temporary-left"; fi
    if [ "$kind" = update ]; then
        # The driver's sources, kept for the careful copy.
        cp "$work/wine/card_update/work/fw/"* "$source/"
        cmp -s "$store/FIRMWARE/vorm.bin" "$source/vorm.bin" || verdict="failed:image-differs"
    elif ! cmp -s "$store/FIRMWARE/vorm.bin" <(printf '%s' "$old_image"); then
        verdict="failed:old-image-changed"
    fi
    echo "$label $kind $run $figures verdict=$verdict" | tee -a "$results"
}

# What a careful user does by hand, on the same card, its old files there.
careful() {
    local run=$1 start
    rm -rf "${store:?}"/*
    mkdir -p "$card/FIRMWARE"
    printf '%s' "$old_image" >"$card/FIRMWARE/vorm.bin"
    cat "$source"/* >/dev/null
    start=$(now)
    cp "$source/vorm.bin" "$source/dsccmd.ini" "$card/FIRMWARE/" && sync &&
        echo 3 >/proc/sys/vm/drop_caches && cmp "$source/vorm.bin" "$card/FIRMWARE/vorm.bin" &&
        cmp "$source/dsccmd.ini" "$card/FIRMWARE/dsccmd.ini"
    local took
    took=$(awk -v us=$(($(now) - start)) 'BEGIN { printf "%.3f", us / 1e6 }')
    echo "careful update $run update_s=$took verdict=ok" | tee -a "$results"
}

# Interleaved, so that each way sees the same moments of a busy machine.
for run in $(seq "$runs"); do
    scenario orvane "$program" update "$run"
    careful "$run"
    [ -z "$earlier" ] || scenario earlier "$earlier" update "$run"
    for kind in cancel escape; do
        scenario orvane "$program" "$kind" "$run"
        [ -z "$earlier" ] || scenario earlier "$earlier" "$kind" "$run"
    done
done
echo "results in $results, the card's calls in $log"
