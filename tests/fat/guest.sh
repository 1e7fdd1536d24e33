#!/bin/bash

# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

# The init program of the user-mode Linux guest: mounts the cards the host
# prepared with the kernel's own vfat driver and runs the transfer on them.
# Everything it needs comes as kernel parameters (environment variables):
#   MODE      success | pulls | logwrites | pace
#   OUT       host folder for the log, the results and the card copies
#   DRIVER    the transfer program;  SOURCE  the folder with the new files
#   CARDS     the host files behind /dev/ubdb, /dev/ubdc, ... (comma-separated)
#   NAMES     one name per card (old, fresh) used in result file names
#   DELAY_MS  pulls: how long the card takes to answer each request
#   PERCENTS  pulls: when to pull the card, in percent of the time a whole
#             transfer takes here (measured first, from the program's start)
#   CHANGED   success: the index of one more card, on which the firmware
#             image is changed under the file system as its read-back begins
#   DEST      the destination folder on the cards ("/" for the top folder)
#   WRITE_BPS, READ_BPS, BASELINE, OLD, STOP_MS   pace: see there
exec >"$OUT/guest.log" 2>&1
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mountpoint -q /dev || mount -t devtmpfs dev /dev
modules=/usr/lib/uml/modules/$(uname -r)/kernel
for module in fs/nls/nls_cp437 fs/nls/nls_iso8859-1 fs/nls/nls_utf8 fs/fat/fat fs/fat/vfat \
    drivers/md/dm-mod drivers/md/dm-delay drivers/md/dm-log-writes; do
    insmod "$modules/$module.ko"
done
mkdir -p /media/CAMERA
# The options a desktop automounter uses for a FAT card.
options=rw,nosuid,nodev,shortname=mixed,utf8=1,flush

IFS=, read -ra cards <<<"$CARDS"
IFS=, read -ra names <<<"$NAMES"
IFS=, read -ra percents <<<"${PERCENTS:-}"
disk() { printf '/dev/ubd%s' "$(printf "\\$(printf '%03o' $((98 + $1)))")"; }

transfer() {  # transfer RESULT-FILE [CARD-FILE COPY]
    local result=$1
    shift
    local status=0
    "$DRIVER" /media/CAMERA "$SOURCE" "$@" >"$result" 2>>"$OUT/guest.log" || status=$?
    echo "exit $status" >>"$result"
}

# Pulls the card: from now on every read and write of it fails. The failing
# table is loaded beforehand (arm_pull), so the pull itself is quick.
arm_pull() {
    dmsetup --noudevsync load cam --table "0 $(blockdev --getsz /dev/mapper/cam) error"
}
pull() {
    dmsetup --noudevsync suspend --noflush --nolockfs cam
    dmsetup --noudevsync resume cam
}

# What a camera sees after the card comes back: the kernel's driver mounts
# it afresh (read-only, so the look changes nothing) and reads every file.
remount_listing() {  # remount_listing DEVICE FILE
    blockdev --flushbufs "$1"
    if mount -t vfat -o ro "$1" /media/CAMERA; then
        (cd /media/CAMERA && find . -type f | sort | while read -r file; do
            sha256sum "$file" || echo "unreadable $file"
        done) >"$2"
        umount /media/CAMERA
    else
        echo "unmountable" >"$2"
    fi
}

case $MODE in
success)
    # Each card is mounted directly; the copy is taken at the success instant.
    for i in "${!cards[@]}"; do
        device=$(disk "$i")
        mount -t vfat -o "$options" "$device" /media/CAMERA
        transfer "$OUT/success-${names[$i]}.txt" "${cards[$i]}" "$OUT/success-${names[$i]}.img"
        umount /media/CAMERA
    done
    if [ -n "${CHANGED:-}" ]; then
        device=$(disk "$CHANGED")
        mount -t vfat -o "$options" "$device" /media/CAMERA
        CORRUPT_DEVICE=$device transfer "$OUT/changed.txt"
        umount /media/CAMERA
    fi
    ;;
pulls)
    # One card file, reset from each name's starting image before each run.
    device=$(disk 0)
    # The card answers each request after a few milliseconds, as a card
    # behind a USB cable does, so a pull can fall anywhere in the transfer.
    attach() {  # attach NAME: the card as it was at the start, mounted
        cp "$OUT/start-$1.img" "${cards[0]}"
        blockdev --flushbufs "$device"
        dmsetup --noudevsync create cam --table "0 $(blockdev --getsz "$device") delay $device 0 $DELAY_MS"
        dmsetup --noudevsync mknodes
        mount -t vfat -o "$options" /dev/mapper/cam /media/CAMERA
    }
    detach() {
        umount /media/CAMERA || umount -l /media/CAMERA
        dmsetup --noudevsync remove cam
    }
    # The quickest of three whole transfers; the first also loads the program.
    whole=
    for run in 1 2 3; do
        attach old
        start=$(date +%s%N)
        transfer "$OUT/calibration.txt"
        took=$((($(date +%s%N) - start) / 1000000))
        detach
        [ -n "$whole" ] && [ "$whole" -le "$took" ] || whole=$took
    done
    echo "a whole transfer takes $whole ms from the program's start"
    for name in "${names[@]}"; do
        for percent in "${percents[@]}"; do
            ms=$((whole * percent / 100))
            attach "$name"
            arm_pull
            result=$OUT/pull-$name-$percent.txt
            start=$(date +%s%N)
            transfer "$result" &
            worker=$!
            sleep "$(printf '%d.%03d' $((ms / 1000)) $((ms % 1000)))"
            pull
            echo "pulled after $((($(date +%s%N) - start) / 1000000)) ms" >"${result%.txt}.pull"
            wait "$worker"
            detach
            cp "${cards[0]}" "$OUT/pull-$name-$percent.img"
            remount_listing "$device" "$OUT/pull-$name-$percent.remount"
        done
    done
    ;;
logwrites)
    # Cards and their logs in pairs: ubdb logged on ubdc, ubdd on ubde.
    for i in "${!names[@]}"; do
        device=$(disk $((2 * i))) log=$(disk $((2 * i + 1)))
        dmsetup --noudevsync create cam \
            --table "0 $(blockdev --getsz "$device") log-writes $device $log"
        dmsetup --noudevsync mknodes
        mount -t vfat -o "$options" /dev/mapper/cam /media/CAMERA
        result=$OUT/log-${names[$i]}.txt
        transfer "$result"
        # Every state logged after this mark must hold the new files.
        grep -qx success "$result" && dmsetup --noudevsync message cam 0 mark success
        umount /media/CAMERA
        dmsetup --noudevsync remove cam
    done
    ;;
pace)
    # One card, its writes held to WRITE_BPS and its reads to READ_BPS bytes
    # a second (0: as fast as it goes), and each way of putting the files on
    # it timed RUNS times from a cold cache on a card without them. BASELINE, when set,
    # is an earlier build of the transfer program, timed the same way.
    device=$(disk 0)
    if [ "${WRITE_BPS:-0}" != 0 ]; then
        mount -t tmpfs cgroups /sys/fs/cgroup
        mkdir /sys/fs/cgroup/blkio
        mount -t cgroup -o blkio blkio /sys/fs/cgroup/blkio
        number=$(printf '%d:%d' "0x$(stat -c %t "$device")" "0x$(stat -c %T "$device")")
        echo "$number $WRITE_BPS" >/sys/fs/cgroup/blkio/blkio.throttle.write_bps_device
        echo "$number $READ_BPS" >/sys/fs/cgroup/blkio/blkio.throttle.read_bps_device
    fi
    mount -t vfat -o "$options" "$device" /media/CAMERA
    folder=/media/CAMERA/FIRMWARE
    timed() {  # timed LABEL COMMAND...
        local label=$1
        shift
        rm -rf "$folder"
        sync
        echo 3 >/proc/sys/vm/drop_caches
        local start status=0
        start=$(date +%s%N)
        "$@" >"$OUT/$label.out" 2>&1 || status=$?
        echo "$label $status $((($(date +%s%N) - start) / 1000000))" >>"$OUT/pace.txt"
    }
    careful() {
        mkdir "$folder" && cp "$SOURCE/vorm.bin" "$SOURCE/dsccmd.ini" "$folder/" && sync &&
            echo 3 >/proc/sys/vm/drop_caches && cmp "$SOURCE/vorm.bin" "$folder/vorm.bin" &&
            cmp "$SOURCE/dsccmd.ini" "$folder/dsccmd.ini"
    }
    plain() { mkdir "$folder" && cp "$SOURCE/vorm.bin" "$SOURCE/dsccmd.ini" "$folder/" && sync; }
    for run in $(seq "${RUNS:-2}"); do
        PROGRESS_LOG=$OUT/progress-orvane-$run.txt timed "orvane-$run" "$DRIVER" /media/CAMERA "$SOURCE"
        if [ -n "${BASELINE:-}" ]; then
            PROGRESS_LOG=$OUT/progress-baseline-$run.txt timed "baseline-$run" \
                "$BASELINE" /media/CAMERA "$SOURCE"
        fi
        timed "careful-$run" careful
        timed "plain-$run" plain
    done
    # Cancel STOP_MS into the update (SIGINT stands for it; unset: none), on
    # a card that holds the previous update's files (OLD): from the signal to
    # the program's end, and whether the card then holds the old files and
    # no temporary one. RUNS times while the image is written, and once while
    # it is read back (at 85 % of a whole update's time); the BASELINE too
    # while the image is written.
    stopped() {  # stopped LABEL MS [PROGRAM]
        # Read straight from EPOCHREALTIME, in microseconds: a command
        # substitution would start a process, which takes a while here.
        rm -rf "$folder"
        mkdir "$folder" && cp "$OLD"/* "$folder/" && sync
        echo 3 >/proc/sys/vm/drop_caches
        local start pressed ended status=0 verdict=ok
        start=${EPOCHREALTIME/./}
        "${3:-$DRIVER}" /media/CAMERA "$SOURCE" >"$OUT/$1.out" 2>&1 &
        local pid=$!
        sleep "$(printf '%d.%03d' $(($2 / 1000)) $(($2 % 1000)))"
        pressed=${EPOCHREALTIME/./}
        kill -INT "$pid"
        wait "$pid" || status=$?
        ended=${EPOCHREALTIME/./}
        for file in "$OLD"/*; do cmp -s "$file" "$folder/$(basename "$file")" || verdict=old-files-changed; done
        if compgen -G "$folder/*.orvtmp" >/dev/null; then verdict=temporary-left; fi
        echo "$1 $status $(((pressed - start) / 1000)) $(((ended - pressed) / 1000)) $verdict $pressed" \
            >>"$OUT/stops.txt"
    }
    if [ -n "${STOP_MS:-}" ]; then
        for run in $(seq "${RUNS:-2}"); do
            stopped "stop-$run" "$STOP_MS"
            [ -z "${BASELINE:-}" ] || stopped "baseline-stop-$run" "$STOP_MS" "$BASELINE"
        done
        whole=$(sed -n 's/^took \([0-9]*\) ms$/\1/p' "$OUT/orvane-1.out")
        stopped stop-checking $((whole * 85 / 100))
    fi
    umount /media/CAMERA
    ;;
esac
echo "guest done"
sync
echo o >/proc/sysrq-trigger
sleep 10
