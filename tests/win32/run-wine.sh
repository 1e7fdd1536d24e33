#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

# Runs the Windows program's end-to-end scenarios under Wine on a virtual X display.
#
#   run-wine.sh setup    STATE-DIR PROGRAM             creates the Wine prefix once per run
#   run-wine.sh scenario STATE-DIR PROGRAM SCENARIO [c-only]
#                                                      one scenario, in its own fresh folders;
#                                                      c-only leaves no drive but C:,
#                                                      root starts the program at D:'s root,
#                                                      small-camera makes G: a 256 KiB tmpfs,
#                                                      unplug-camera removes G: once the
#                                                      image's temporary file passes 1 MiB,
#                                                      fixed-last adds a fixed disk H:
#                                                      above the camera's G:,
#                                                      console-signal sends SIGINT to the
#                                                      program when the driver asks, or
#                                                      once the temporary passes 1 MiB
#   run-wine.sh run      STATE-DIR PROGRAM [ARGS]      runs a console program in the prefix
#   run-wine.sh cleanup  STATE-DIR PROGRAM             stops the prefix's Wine server
#
# The test driver (orvane_e2e.exe) lies beside PROGRAM, or is the one
# ORVANE_E2E_DRIVER names: a 64-bit driver can drive the 32-bit program, and
# starts far faster under emulation. Each kind of program
# is run by its own loader, never by the `wine` wrapper, whose choice depends
# on what the machine can execute at that moment.
#
# A 32-bit program runs natively where the kernel executes i386 code, and
# otherwise through qemu-i386 user-mode emulation: an i386 ELF handler is
# registered with binfmt_misc for the run only, in an instance private to a
# user namespace of the run's own where the kernel has those (Linux 6.7 and
# later), so nothing else on the machine sees it; elsewhere in the machine's
# own instance, removed again when the run ends. Emulated, a process takes
# about a minute to start: the runner gives the driver a factor for its first
# wait, and the driver scales every later one by the start-up it measured.
# ORVANE_WINE32=native|qemu forces one way. Exits 77 (skipped) when neither
# works, saying why.
set -euo pipefail
# A step that fails says which one, where a bare status would say nothing.
trap 'echo "run-wine.sh: line $LINENO: \"$BASH_COMMAND\" failed (status $?)" >&2' ERR

self=$(realpath "$0")
i386_handler=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F'
binfmt=/proc/sys/fs/binfmt_misc

# with-i386-handler private|shared COMMAND...: runs COMMAND with the handler
# registered, and removes a registration it made itself.
if [ "$1" = with-i386-handler ]; then
    where=$2
    shift 2
    mounted=""
    if ! mountpoint -q "$binfmt"; then
        mount -t binfmt_misc binfmt_misc "$binfmt" || exit 3
        mounted=yes
    fi
    registered=""
    if [ ! -e "$binfmt/qemu-i386" ]; then
        echo "$i386_handler" >"$binfmt/register" || exit 3
        registered=yes
    fi
    status=0
    "$@" || status=$?
    [ -z "$registered" ] || echo -1 >"$binfmt/qemu-i386"
    [ -z "$mounted" ] || [ "$where" = private ] || umount "$binfmt"
    exit $status
fi

mode=$1 state=$(realpath -m "$2") program=$3

# A skipped scenario says why, and leaves the reason beside the prefix, where
# tools/test.sh reads it for the last lines of a run.
skip() {
    echo "SKIPPED: $*"
    mkdir -p "$state"
    echo "$*" >>"$state/skipped"
    exit 77
}
export WINEPREFIX=$state/prefix WINEDEBUG=${ORVANE_WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="

wineserver=/usr/lib/wine/wineserver64
[ -x "$wineserver" ] || wineserver=/usr/lib/wine/wineserver32

if [ "$mode" = cleanup ]; then
    [ ! -d "$WINEPREFIX" ] || "$wineserver" -k 2>/dev/null || true
    exit 0
fi

bin=$(cd "$(dirname "$program")" && pwd)
exe=$(basename "$program")

# The PE header's machine field: 014c for i386, 8664 for x86-64.
pe_machine() {
    local offset
    offset=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    od -An -tx2 -j$((offset + 4)) -N2 "$1" | tr -d ' '
}
machine=$(pe_machine "$program")
driver=$(realpath "${ORVANE_E2E_DRIVER:-$bin/orvane_e2e.exe}")
wrap=()
patience=1 limit=100
case $machine in
    014c)
        loader=/usr/lib/wine/wine
        how=${ORVANE_WINE32:-}
        if [ -z "$how" ]; then
            how=qemu
            "$loader" --version >/dev/null 2>&1 && how=native
        fi
        if [ "$how" = qemu ]; then
            if [ ! -x /usr/bin/qemu-i386-static ]; then
                skip "this kernel does not run i386 code and qemu-user-static is not" \
                     "installed; the 32-bit build is checked statically only"
            fi
            wrap=(bash "$self" with-i386-handler shared)
            if unshare --user --map-root-user --mount --propagation private \
                   mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null; then
                wrap=(unshare --user --map-root-user --mount --propagation private
                      bash "$self" with-i386-handler private)
            fi
            if ! "${wrap[@]}" "$loader" --version >/dev/null 2>&1; then
                skip "binfmt_misc cannot be mounted or an i386 handler registered" \
                     "here (needs root), so the 32-bit build cannot run; it is checked" \
                     "statically only"
            fi
            patience=30 limit=1200
        fi
        ;;
    8664) loader=/usr/lib/wine/wine64 ;;
    *) echo "run-wine.sh: $program is not an i386 or x86-64 PE file" >&2; exit 1 ;;
esac
if ! "$loader" --version >/dev/null 2>&1 && [ ${#wrap[@]} -eq 0 ]; then
    skip "$loader cannot run here ($(uname -m) kernel without that architecture);" \
         "the $machine build is checked statically only"
fi
export ORVANE_E2E_PATIENCE=$patience
driver_loader=$loader
[ "$mode" != scenario ] || [ "$(pe_machine "$driver")" != 8664 ] || driver_loader=/usr/lib/wine/wine64

# The 64-bit loader builds a prefix that runs both kinds of program; under
# emulation its 32-bit half is only made while the handler is registered.
prefix_loader=/usr/lib/wine/wine64
"$prefix_loader" --version >/dev/null 2>&1 || prefix_loader=$loader

case $mode in
setup)
    rm -rf "$state"
    mkdir -p "$state"
    echo "${how:-native}" >"$state/how"
    start=$(date +%s)
    # G:, the camera, is a removable drive, as a camera's storage is: Wine
    # reads the type when its server starts, so before any scenario runs.
    # Windows are left unmanaged: Xvfb runs no window manager, and Wine's
    # X11 driver would wait up to 2 s for one each time a window is hidden,
    # which Windows never does.
    "${wrap[@]}" xvfb-run -a -e "$state/xvfb-setup.log" bash -c '"$1" wineboot -i &&
        "$1" reg add "HKLM\\Software\\Wine\\Drives" /v g: /d floppy /f &&
        "$1" reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /d N /f && "$2" -w' \
        _ "$prefix_loader" "$wineserver" \
        >"$state/wineboot.log" 2>&1 ||
        { cat "$state/wineboot.log" "$state/xvfb-setup.log" 2>/dev/null; exit 1; }
    echo "Wine prefix ready in $(($(date +%s) - start)) s"
    ;;
run)
    shift 3
    "${wrap[@]}" "$loader" "$program" "$@"
    ;;
scenario)
    scenario=$4 layout=${5:-}
    [ -d "$WINEPREFIX/drive_c" ] || { echo "no Wine prefix in $state: run setup first" >&2; exit 1; }
    # Every letter but C: goes, z: (the Linux root) above all: the highest
    # letter is taken as the camera's drive.
    devices=$WINEPREFIX/dosdevices
    find "$devices" -maxdepth 1 -name '?:' ! -name 'c:' -exec rm -f {} +
    rm -rf "$WINEPREFIX/drive_c/e2e"
    if [ "$layout" = c-only ]; then
        # Program, driver and working folder on the Windows drive itself.
        mkdir -p "$WINEPREFIX/drive_c/e2e/work"
        cp "$program" "$driver" "$WINEPREFIX/drive_c/e2e/"
        set -- 'C:\e2e' 'C:\e2e\work' -
        driver_path="C:\e2e\orvane_e2e.exe"
    else
        # D: holds the working folder, E: is the program's folder, G: the camera.
        folder=$state/$scenario
        rm -rf "$folder"
        mkdir -p "$folder/work" "$folder/camera"
        ln -s "$bin" "$devices/e:"
        # ORVANE_E2E_CAMERA, where set, is the camera's folder instead (a
        # card at its own pace, tools/card-bench.sh).
        ln -s "${ORVANE_E2E_CAMERA:-$folder/camera}" "$devices/g:"
        # F: holds a driver from elsewhere.
        driver_path="E:\orvane_e2e.exe"
        if [ "$(dirname "$driver")" != "$bin" ]; then
            ln -s "$(dirname "$driver")" "$devices/f:"
            driver_path="F:\\$(basename "$driver")"
        fi
        if [ "$layout" = fixed-last ]; then
            mkdir -p "$folder/fixed"
            ln -s "$folder/fixed" "$devices/h:"
        fi
        if [ "$layout" = root ]; then
            # A drive root is the one current folder that ends in a backslash.
            ln -s "$folder/work" "$devices/d:"
            set -- 'E:' 'D:\' 'G:'
        else
            ln -s "$folder" "$devices/d:"
            set -- 'E:' 'D:\work' 'G:'
        fi
    fi
    # xvfb-run sends the errors of its own steps (Xvfb, xauth) to /dev/null
    # and ends without a word when one fails; they go to a file instead.
    xvfb_errors=$state/$scenario.xvfb.log
    driver_output=$state/$scenario.driver.log
    run=("${wrap[@]}" xvfb-run -a -e "$xvfb_errors" -s "-screen 0 1024x768x24" bash -c '
        status=0
        timeout -k 5 "$2" "$1" "$3" "$4" "$6\\$5" "$7" "$8" || status=$?
        "$0" -k 2>/dev/null || true
        exit $status' "$wineserver" "$driver_loader" "$limit" "$driver_path" "$scenario" \
        "$exe" "$@")
    # attempt COMMAND...: runs a scenario's command, and once more when the
    # driver never printed its first line, so never started the program
    # under test: the virtual display or Wine failed before it. A driver
    # that started is never tried again, whatever its end, nor a skip.
    attempt() {
        local try status
        for try in 1 2; do
            status=0
            rm -f "$driver_output"
            "$@" | tee "$driver_output" || status=$?
            if [ $status -eq 0 ] || [ $status -eq 77 ] || grep -q '^scenario ' "$driver_output" ||
               [ $try -eq 2 ]; then
                return $status
            fi
            echo "run-wine.sh: the test driver never started (status $status, attempt $try)" >&2
            [ ! -s "$xvfb_errors" ] || { echo "Xvfb and xauth said:" >&2; cat "$xvfb_errors" >&2; }
            "$wineserver" -k 2>/dev/null || true
        done
    }
    if [ "$layout" = unplug-camera ]; then
        # The camera unplugged mid-transfer: its drive letter goes away.
        temporary=$folder/camera/FIRMWARE/vorm.bin.orvtmp
        (for _ in $(seq 6000); do
            size=$(stat -c %s "$temporary" 2>/dev/null || echo 0)
            if [ "$size" -ge 1048576 ]; then
                rm -f "$devices/g:"
                echo "run-wine.sh: G: removed with $size bytes of the image written"
                break
            fi
            sleep 0.01
        done) &
        watcher=$!
        status=0
        attempt "${run[@]}" || status=$?
        kill "$watcher" 2>/dev/null || true
        exit $status
    elif [ "$layout" = console-signal ]; then
        # Ctrl-C as a terminal gives it under Wine: SIGINT to the Unix
        # process of the program (of this prefix alone), whenever the driver
        # asks through a file in the working folder; where the file says
        # "mid-transfer", once the image's temporary file passes 1 MiB, which
        # the driver could not see soon enough on a fast disk.
        request=$folder/work/interrupt.request
        temporary=$folder/camera/FIRMWARE/vorm.bin.orvtmp
        name=$(basename "$program")
        # Processes come and go under it: no failure may end the loop. The
        # program is found first, so that the signal follows the threshold
        # at once.
        (set +e +o pipefail
        while :; do
            if [ -e "$request" ]; then
                pids=()
                for process in /proc/[0-9]*; do
                    # Its first word is the program; this loop's own tools name it later.
                    first=
                    read -r -d '' first <"$process/cmdline" 2>/dev/null
                    case "$first" in *"$name") ;; *) continue ;; esac
                    tr '\0' '\n' <"$process/environ" 2>/dev/null |
                        grep -qxF "WINEPREFIX=$WINEPREFIX" && pids+=("${process#/proc/}")
                done
                if [ "$(cat "$request" 2>/dev/null)" = mid-transfer ]; then
                    until [ "$(stat -c %s "$temporary" 2>/dev/null || echo 0)" -ge 1048576 ]; do
                        sleep 0.005
                    done
                fi
                for pid in "${pids[@]}"; do
                    kill -INT "$pid" && echo "run-wine.sh: SIGINT to $pid ($name)"
                done
                rm -f "$request"
            fi
            sleep 0.01
        done) &
        watcher=$!
        status=0
        attempt "${run[@]}" || status=$?
        kill "$watcher" 2>/dev/null || true
        exit $status
    elif [ "$layout" = small-camera ]; then
        # A nearly full camera: a tiny tmpfs in a mount namespace of this
        # run's own, so nothing outside sees it and it goes with the run.
        if ! unshare -m --propagation private true 2>/dev/null; then
            skip "a private mount namespace needs root (unshare -m)"
        fi
        attempt unshare -m --propagation private bash -c \
            'mount -t tmpfs -o size=256k orvane-camera "$0" && exec "$@"' "$folder/camera" "${run[@]}"
    else
        # What Wine traces goes to a file beside the working folder (D:\),
        # where the driver reads what the program's calls into Wine's stubs
        # were given (the event log's); it is shown here afterwards.
        trace=${folder:-$WINEPREFIX/drive_c/e2e}/wine-trace.txt
        status=0
        attempt "${run[@]}" 2>"$trace" || status=$?
        cat "$trace" >&2
        [ $status -eq 0 ] || exit $status
        # The update files' SHA-256 as the program logged them, written out
        # by the scenario, against sha256sum of the files themselves.
        # The C:-only layout has no folder of its own, so no check.
        if [ -n "${folder:-}" ] && [ -f "$folder/work/sha256.check" ]; then
            (cd "$folder/work" && sha256sum --check --strict sha256.check) ||
                { echo "FAIL: the logged SHA-256 is not sha256sum's"; exit 1; }
        fi
    fi
    ;;
*)
    echo "usage: run-wine.sh setup|scenario|run|cleanup STATE-DIR PROGRAM [SCENARIO]" >&2
    exit 2
    ;;
esac
