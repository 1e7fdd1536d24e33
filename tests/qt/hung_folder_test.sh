#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

# The camera's storage on a FUSE folder (orvane_hung_folder) that has taken a
# request and does not answer: the process cannot end until it does.
#
# The Linux program's real window, on an X display, must still leave the
# screen at once. Two ways out:
#   hung-cancel  the question about the camera's storage waits; Escape
#   hung-signal  the transfer waits; SIGTERM
# In both, no window of the program may be viewable 1 s later while the
# process is still held by the folder; once the folder answers the process
# must be gone within 3 s, with status 1 after Escape and by the signal after
# SIGTERM, and the camera's old files must still be there.
#
# The command line (orvane_cli_hang_target) with its transfer held: Ctrl-C
# must bring, once, the sentence saying that the program ends when the
# system lets it go; the process ends by SIGINT once the folder answers. How
# long the prompt takes to come back is printed.
#
# Needs root (to mount the FUSE folder) and an X display (run under
# xvfb-run); skipped (77) without them.
#
# Usage: hung_folder_test.sh WINDOW-TARGET DAEMON CLI-TARGET
# (orvane_signal_target, orvane_hung_folder, orvane_cli_hang_target)
set -uo pipefail

target=$1
daemon=$2
cli_target=$3
if [ "$(id -u)" -ne 0 ] || [ ! -c /dev/fuse ] || [ -z "${DISPLAY:-}" ] ||
    ! command -v xwininfo >/dev/null; then
    echo "skipped: needs root, /dev/fuse, an X display and xwininfo"
    exit 77
fi
work=$(mktemp -d /tmp/orvane-hung-XXXXXX)
cleanup_more() {
    rm -f "$work/flag"  # the folder answers, so the processes it holds can end
    mountpoint -q "$work/card" && umount -l "$work/card"
}
source "$(dirname "$0")/script_common.sh"

now_ns() { date +%s%N; }

# Whether a window of the process `pid` titled as the dialog, or a box over
# it, is viewable now.
window_viewable() {
    local id
    for id in $(xwininfo -root -tree 2>/dev/null | awk '/"Orvane"|"orvane_signal_target"/ {print $1}'); do
        xwininfo -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable' && return 0
    done
    return 1
}

# Whether `pid` still has a live thread (a zombie main thread does not count).
alive() {
    local pid=$1 task state
    for task in /proc/"$pid"/task/*; do
        state=$(sed 's/.*) \(.\).*/\1/' "$task/stat" 2>/dev/null) || continue
        [ -n "$state" ] && [ "$state" != Z ] && [ "$state" != X ] && return 0
    done
    return 1
}

# Whether one of `pid`'s threads waits in the kernel, unkillable.
held_in_kernel() {
    grep -q ') D ' /proc/"$1"/task/*/stat 2>/dev/null
}

daemon_pid=""

# Mounts a fresh hung folder at $work/card over an empty $work/backing,
# answering until $work/flag exists.
mount_folder() {
    rm -rf "$work/flag" "$work/backing"
    mkdir -p "$work/card" "$work/backing"
    "$daemon" "$work/flag" "$work/card" "$work/backing" 2>"$work/daemon.err" &
    daemon_pid=$!
    started_pids+=("$daemon_pid")
    for _ in $(seq 100); do
        mountpoint -q "$work/card" && return 0
        sleep 0.05
    done
    fail "the FUSE folder did not mount"
    cat "$work/daemon.err"
    return 1
}

unmount_folder() {
    kill -TERM "$daemon_pid"
    wait "$daemon_pid" 2>/dev/null
    mountpoint -q "$work/card" && umount -l "$work/card"
}

# Removes the demo machine named in the target's output `out`.
remove_machine() {
    local machine
    machine=$(sed -n 's/^machine //p' "$1")
    case "$machine" in /tmp/orvane-demo-*) rm -rf "$machine" ;; esac
}

run_case() {
    local mode=$1 expected=$2
    local out="$work/$mode.out" err="$work/$mode.err"
    echo "== $mode"
    mount_folder || return

    QT_QPA_PLATFORM=xcb "$target" "$mode" "$work/card" "$work/flag" >"$out" 2>"$err" &
    local pid=$!
    started_pids+=("$pid")
    local left_at
    if [ "$mode" = hung-cancel ]; then
        if ! wait_for_line "$out" '^escape ' 15; then
            fail "$mode: Escape was never pressed"
            cat "$out" "$err"
            return
        fi
        left_at=$(sed -n 's/^escape //p' "$out")
    else
        if ! wait_for_line "$out" '^held' 15; then
            fail "$mode: the transfer never reached the folder"
            cat "$out" "$err"
            return
        fi
        # The worker's first file operation is under way: give it a moment
        # to reach the folder, as "UpDate" then a signal 1.5 s later would.
        sleep 1.5
        left_at=$(now_ns)
        kill -TERM "$pid"
    fi

    # Until the window leaves; the process itself is held by the folder.
    local gone_at=""
    while [ $(($(now_ns) - left_at)) -lt 3000000000 ]; do
        if ! window_viewable; then
            gone_at=$(now_ns)
            break
        fi
        sleep 0.02
    done
    if [ -z "$gone_at" ]; then
        fail "$mode: the window is still on the screen 3 s after the program was told to end"
    else
        local ms=$(((gone_at - left_at) / 1000000))
        echo "$mode: the window left the screen $ms ms after it was told to end"
        [ "$ms" -le 1000 ] || fail "$mode: the window stayed $ms ms, more than 1 s"
    fi
    sleep 0.5
    if held_in_kernel "$pid"; then
        echo "$mode: the process is held by the folder, as expected"
    else
        fail "$mode: no thread of the process waits on the folder; the case did not happen"
        cat /proc/"$pid"/task/*/stat
    fi
    [ -n "$gone_at" ] && window_viewable && fail "$mode: a window came back while the process was held"

    local freed_at
    freed_at=$(now_ns)
    rm -f "$work/flag"
    local ended_at=""
    while [ $(($(now_ns) - freed_at)) -lt 10000000000 ]; do
        if ! alive "$pid"; then
            ended_at=$(now_ns)
            break
        fi
        sleep 0.02
    done
    if [ -z "$ended_at" ]; then
        fail "$mode: the process is still there 10 s after the folder answered"
        kill -KILL "$pid"
    else
        local ms=$(((ended_at - freed_at) / 1000000))
        echo "$mode: the process ended $ms ms after the folder answered"
        [ "$ms" -le 3000 ] || fail "$mode: the process took $ms ms to end, more than 3 s"
    fi
    wait "$pid"
    local status=$?
    [ "$status" -eq "$expected" ] || fail "$mode: exit status $status, expected $expected"
    echo "$mode: exit status $status"
    [ -s "$err" ] && sed 's/^/  stderr: /' "$err"

    [ "$(cat "$work/backing/FIRMWARE/vorm.bin")" = "old image" ] &&
        [ "$(cat "$work/backing/FIRMWARE/dsccmd.ini")" = "old commands" ] ||
        fail "$mode: the camera's old files did not stay"
    unmount_folder
    remove_machine "$out"
}

# The command line: Ctrl-C while the folder holds the transfer, which it
# then keeps on holding for `hold` seconds.
run_cli_case() {
    local hold=2
    local out="$work/cli.out" err="$work/cli.err"
    echo "== command line"
    mount_folder || return
    "$cli_target" "$work/card" "$work/flag" >"$out" 2>"$err" &
    local pid=$!
    started_pids+=("$pid")
    if ! wait_for_line "$out" '^held' 15; then
        fail "command line: the transfer never reached the folder"
        cat "$out" "$err"
        return
    fi
    sleep 0.5
    local pressed_at
    pressed_at=$(now_ns)
    kill -INT "$pid"
    local said_at=""
    while [ $(($(now_ns) - pressed_at)) -lt 5000000000 ]; do
        if grep -q 'this program ends as soon as the system lets it go' "$err"; then
            said_at=$(now_ns)
            break
        fi
        sleep 0.02
    done
    [ -n "$said_at" ] || fail "command line: it never said that the system holds it"
    while [ $(($(now_ns) - pressed_at)) -lt $((hold * 1000000000)) ]; do sleep 0.05; done
    held_in_kernel "$pid" ||
        fail "command line: no thread of the process waits on the folder; the case did not happen"
    local freed_at
    freed_at=$(now_ns)
    rm -f "$work/flag"
    wait "$pid"
    local status=$? ended_at
    ended_at=$(now_ns)
    [ "$status" -eq 130 ] || fail "command line: exit status $status, not by SIGINT (130)"
    local count
    count=$(grep -c 'this program ends as soon as the system lets it go' "$err")
    [ "$count" -eq 1 ] || fail "command line: the sentence came $count times, not once"
    [ -n "$said_at" ] && echo "command line: Ctrl-C; the sentence $(((said_at - pressed_at) / 1000000)) ms later"
    echo "command line: the folder answered $(((freed_at - pressed_at) / 1000000)) ms after Ctrl-C;" \
        "the prompt came back $(((ended_at - pressed_at) / 1000000)) ms after Ctrl-C," \
        "$(((ended_at - freed_at) / 1000000)) ms after the folder answered; exit status $status"
    sed 's/^/  stderr: /' "$err"
    unmount_folder
    remove_machine "$out"
}

run_case hung-cancel 1
run_case hung-signal $((128 + $(kill -l TERM)))
run_cli_case

finish
