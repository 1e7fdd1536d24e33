#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

# orvane-cli's UDisks2 mounter against the real services, on a system bus of
# the test's own: first with no bus at all and on a bus without UDisks2 (the
# message must name the device), then with systemd-udevd and udisksd on it,
# where an ext4 image on a loop device is the camera's storage: mounted
# through the mounter, the update written, unmounted; mounted and updated
# by the dialog the same way; and as a user whom polkit does not let mount
# it, which must be said. Before the real services, a UDisks2 that never
# answers, which Ctrl-C must not wait for.
#
# Needs root (loop devices, udevd, udisksd); exits 77 where the services or
# their tools are missing or cannot start. Everything it starts it ends by
# process id, and it detaches its loop device, on any exit.
#
# Usage: udisks_test.sh TEST-BINARY
set -uo pipefail

binary=$1
work=$(mktemp -d /tmp/orvane-udisks-XXXXXX)
chmod 711 "$work"  # the bus's socket is in it, for the unprivileged case too
started_pids=()  # in the order started; ended in the reverse order
loop=""
failures=0

# Folders the services create where there were none: removed again, once
# the test has started them.
leftovers=()
services_started=no
for folder in /run/udev /run/udisks2 /media/root; do
    [ -e "$folder" ] || leftovers+=("$folder")
done

cleanup() {
    if [ -n "$loop" ]; then
        # A volume a failed case left mounted is unmounted before the device goes.
        findmnt -rn -S "$loop" -o TARGET | while read -r target; do umount "$target"; done
    fi
    for ((i = ${#started_pids[@]} - 1; i >= 0; i--)); do
        kill "${started_pids[i]}" 2>/dev/null
        wait "${started_pids[i]}" 2>/dev/null
    done
    [ -n "$loop" ] && losetup -d "$loop"
    [ "$services_started" = yes ] || leftovers=()
    for folder in "${leftovers[@]}"; do
        case "$folder" in /media/root) rmdir "$folder" 2>/dev/null ;; *) rm -rf "$folder" ;; esac
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# Skips what is left; a case that already failed still fails the test.
skip() {
    echo "SKIPPED: $*"
    [ "$failures" -eq 0 ] || exit 1
    exit 77
}

# run_case NAME FILTER [COMMAND...]: one case of the test binary, with the
# environment as it is now, run through COMMAND where one is given.
run_case() {
    local name=$1 filter=$2
    shift 2
    echo "== $name"
    if ! "$@" "$binary" --gtest_filter="$filter" --gtest_brief=1; then
        echo "FAIL: $name"
        failures=$((failures + 1))
    fi
}

# Waits for a condition; the ceiling only guards against a hang.
await() {
    for _ in $(seq 100); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/no-bus" \
    run_case "no system bus" 'UDisks.WithoutTheServiceTheDeviceIsNamed'

[ "$(id -u)" -eq 0 ] || skip "the rest needs root: loop devices, systemd-udevd and udisksd"
udevd=/lib/systemd/systemd-udevd
udisksd=/usr/libexec/udisks2/udisksd
for tool in dbus-daemon udevadm udisksctl busctl losetup mkfs.ext4 findmnt runuser \
    "$udevd" "$udisksd"; do
    command -v "$tool" >/dev/null || skip "$tool is missing (packages dbus, udev, udisks2)"
done
if [ -S /run/udev/control ]; then
    skip "a udev of the machine's own runs already; a second one would fight it"
fi

# The system bus's configuration, with a socket of the test's own, the
# services' policies from their absolute folder, and no services started on
# demand: an activated udisksd would look for the machine's bus.
sed -e "s|<listen>.*</listen>|<listen>unix:path=$work/bus</listen>|" \
    -e 's|<includedir>system.d</includedir>|<includedir>/usr/share/dbus-1/system.d</includedir>|' \
    -e 's|<pidfile>.*</pidfile>||' -e 's|<standard_system_servicedirs */>||' \
    /usr/share/dbus-1/system.conf >"$work/bus.conf"
dbus-daemon --config-file="$work/bus.conf" --nofork --nopidfile >"$work/bus.log" 2>&1 &
started_pids+=($!)
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/bus"
await test -S "$work/bus" || skip "dbus-daemon did not start: $(cat "$work/bus.log")"

run_case "a system bus without UDisks2" 'UDisks.WithoutTheServiceTheDeviceIsNamed'

# A UDisks2 of the test's own that takes calls and never answers them.
"$binary" --never-answer >"$work/never.log" 2>&1 &
never_pid=$!
if await busctl --address="$DBUS_SYSTEM_BUS_ADDRESS" status org.freedesktop.UDisks2; then
    ORVANE_TEST_NEVER_ANSWERS=1 run_case "Ctrl-C while UDisks2 never answers" \
        'UDisks.AStopEndsAWaitForTheServiceThatNeverAnswers'
else
    echo "FAIL: the service that never answers did not start: $(cat "$work/never.log")"
    failures=$((failures + 1))
fi
kill "$never_pid"
wait "$never_pid" 2>/dev/null

"$udevd" >"$work/udevd.log" 2>&1 &
started_pids+=($!)
services_started=yes
await test -S /run/udev/control || skip "systemd-udevd did not start: $(cat "$work/udevd.log")"
"$udisksd" --no-debug >"$work/udisksd.log" 2>&1 &
started_pids+=($!)
await udisksctl status || skip "udisksd did not start: $(tail -5 "$work/udisksd.log")"

truncate -s 16M "$work/camera.img"
mkfs.ext4 -q -F -L ORVANECAM "$work/camera.img" || skip "mkfs.ext4 failed"
loop=$(losetup -f --show "$work/camera.img") || skip "no free loop device"
udevadm settle -t 10
await udisksctl info -b "$loop" ||
    skip "UDisks2 does not see $loop: $(tail -5 "$work/udisksd.log")"

export ORVANE_TEST_LOOP=$loop
run_case "a loop device through UDisks2" 'UDisks.MountsUpdatesAndUnmountsTheCameraVolume'
run_case "the dialog mounts the loop device" 'UDisks.TheDialogMountsTheCameraVolumeAndUpdatesIt'

# As a user without a session, with polkit's own daemon deciding where it
# is at hand (without it UDisks2 refuses every user but root).
polkitd=/usr/lib/polkit-1/polkitd
if [ -x "$polkitd" ]; then
    "$polkitd" --no-debug >"$work/polkitd.log" 2>&1 &
    started_pids+=($!)
    await busctl --address="$DBUS_SYSTEM_BUS_ADDRESS" status org.freedesktop.PolicyKit1 ||
        echo "polkitd did not start: $(tail -3 "$work/polkitd.log")"
else
    echo "no polkitd here: UDisks2 refuses on its own"
fi
run_case "a mount that polkit refuses" 'UDisks.ARefusedMountIsSaid' \
    runuser -u nobody -- env DBUS_SYSTEM_BUS_ADDRESS="$DBUS_SYSTEM_BUS_ADDRESS" \
    ORVANE_TEST_LOOP="$loop"

if [ "$failures" -ne 0 ]; then
    sed 's/^/  udisksd: /' "$work/udisksd.log"
    exit 1
fi
echo "PASS"
