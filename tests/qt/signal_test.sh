#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

# SIGHUP, SIGINT and SIGTERM sent to the Linux program (orvane_signal_target:
# the program's window and signal handling on a simulated machine) at rest,
# while its transfer is parked before the first file operation, and once the
# last one is done. The camera must then hold the old set or the new set
# whole and no temporary file, and the process must end by the signal.
#
# Run first with no system bus at all. Then, as root where unshare and
# systemd-logind are at hand, with a private system bus and a real logind in
# a mount namespace of its own: its list of inhibitors must show the
# program's sleep lock while the transfer runs and not once it has ended.
#
# Usage: signal_test.sh TARGET SOURCE-FOLDER (the example's fw folder)
set -uo pipefail

target=$1
source_folder=$2
work=$(mktemp -d /tmp/orvane-signals-XXXXXX)
cleanup_more() { :; }
source "$(dirname "$0")/script_common.sh"

# inhibitors: the sleep locks logind holds now, or nothing without logind.
inhibitors() {
    [ -n "${bus_socket:-}" ] || return 0
    busctl --address="unix:path=$bus_socket" call org.freedesktop.login1 /org/freedesktop/login1 \
        org.freedesktop.login1.Manager ListInhibitors
}

# run_case MODE SIGNAL EXPECTED-SET [LOCK-WHILE-PARKED]
# EXPECTED-SET is old or new; LOCK-WHILE-PARKED is yes or no (logind only).
run_case() {
    local mode=$1 signal=$2 expected=$3 lock=${4:-}
    local out="$work/$mode-$signal.out" err="$work/$mode-$signal.err"
    "$target" "$mode" >"$out" 2>"$err" &
    local pid=$!
    started_pids+=("$pid")
    local ready=parked
    [ "$mode" = rest ] && ready=ready
    if ! wait_for_line "$out" "^$ready" 60; then
        fail "$mode: the program never said \"$ready\""
        cat "$out" "$err"
        return
    fi
    if [ -n "$lock" ]; then
        local held=no
        inhibitors | grep -q '"sleep" "Orvane"' && held=yes
        [ "$held" = "$lock" ] || fail "$mode: logind's sleep lock held: $held, expected $lock"
    fi
    kill "-$signal" "$pid"
    wait "$pid"
    local status=$?
    local number
    number=$(kill -l "$signal")
    [ "$status" -eq $((128 + number)) ] ||
        fail "$mode: SIG$signal ended the program with status $status, not by the signal"

    local machine destination
    machine=$(sed -n 's/^machine //p' "$out")
    destination=$(sed -n 's/^destination //p' "$out")
    local listing
    listing=$(ls -A "$destination" | tr '\n' ' ')
    [ "$listing" = "dsccmd.ini vorm.bin " ] ||
        fail "$mode: the camera's folder holds \"$listing\", not the two files alone"
    if [ "$expected" = old ]; then
        [ "$(cat "$destination/vorm.bin")" = "old image" ] &&
            [ "$(cat "$destination/dsccmd.ini")" = "old commands" ] ||
            fail "$mode: the old set is not whole on the camera"
    else
        cmp -s "$destination/vorm.bin" "$source_folder/vorm.bin" &&
            cmp -s "$destination/dsccmd.ini" "$source_folder/dsccmd.ini" ||
            fail "$mode: the new set is not whole on the camera"
    fi
    echo "$mode, SIG$signal: exit status $status, $expected set on the camera"
    [ -s "$err" ] && sed 's/^/  stderr: /' "$err"
    case "$machine" in /tmp/orvane-demo-*) rm -rf "$machine" ;; esac
}

# run_all [logind]
run_all() {
    local logind=${1:-}
    run_case rest INT old "${logind:+no}"
    run_case start TERM old "${logind:+yes}"
    run_case end HUP new "${logind:+no}"
}

echo "== no system bus"
DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/no-bus" run_all

echo "== a system bus without logind"
if [ "$(id -u)" -ne 0 ]; then
    echo "not tried: needs root for a private system bus"
elif command -v dbus-daemon >/dev/null; then
    sed -e "s|<listen>.*</listen>|<listen>unix:path=$work/bus</listen>|" \
        -e 's|<includedir>system.d</includedir>|<includedir>/usr/share/dbus-1/system.d</includedir>|' \
        -e 's|<pidfile>.*</pidfile>||' /usr/share/dbus-1/system.conf >"$work/bus.conf"
    bus_pid=$(dbus-daemon --config-file="$work/bus.conf" --fork --print-pid)
    started_pids+=("$bus_pid")
    export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/bus"
    run_case start TERM old

    echo "== a real logind on that bus"
    logind=/lib/systemd/systemd-logind
    if [ -x "$logind" ] && command -v unshare >/dev/null && command -v busctl >/dev/null; then
        # Its state goes to a /run/systemd of its own, not the machine's.
        unshare --mount --propagation private \
            sh -c "mount -t tmpfs tmpfs /run/systemd && exec $logind" >"$work/logind.log" 2>&1 &
        logind_pid=$!
        started_pids+=("$logind_pid")
        bus_socket="$work/bus"
        up=no
        for _ in $(seq 100); do
            busctl --address="unix:path=$bus_socket" status org.freedesktop.login1 >/dev/null 2>&1 &&
                { up=yes; break; }
            sleep 0.1
        done
        if [ "$up" = yes ]; then
            run_all logind
        else
            echo "not tried: logind did not start here"
            sed 's/^/  logind: /' "$work/logind.log"
        fi
        kill "$logind_pid"
        wait "$logind_pid" 2>/dev/null
    else
        echo "not tried: no systemd-logind, unshare or busctl here"
    fi
    kill "$bus_pid"
else
    echo "not tried: no dbus-daemon here"
fi

finish
