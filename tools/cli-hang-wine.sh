#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

# How long the shell waits for its prompt after Ctrl-C when the camera has
# taken a request and does not answer it: orvane-cli.exe under 64-bit Wine,
# the camera's drive G: a FUSE folder (orvane_hung_folder) that stops
# answering once the image's temporary file passes 8 MiB. Ctrl-C comes 1 s
# later, and the folder answers again HOLD seconds after Ctrl-C (5 unless
# given). Prints when the program said it is held, when the prompt came back
# and the exit status. A measurement for docs/benchmarks.md, not a test: a
# hung folder may stall the whole Wine session, which the timings then show.
#
# Needs root (FUSE), the debug build (the FUSE folder) and the win64 build.
# Usage: tools/cli-hang-wine.sh [HOLD-SECONDS]
set -euo pipefail

hold=${1:-5}
root=$(cd "$(dirname "$0")/.." && pwd)
cli=$root/build/win64/bin/orvane-cli.exe
daemon=$root/build/debug/tests/qt/orvane_hung_folder
for file in "$cli" "$daemon"; do
    [ -x "$file" ] || [ -f "$file" ] || { echo "missing $file: build win64 and debug first" >&2; exit 1; }
done
[ "$(id -u)" -eq 0 ] || { echo "needs root, to mount the FUSE folder" >&2; exit 1; }
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi

work=$(mktemp -d /tmp/orvane-wine-hang-XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver64
daemon_pid=""
cleanup() {
    rm -f "$work/flag"
    [ -z "$daemon_pid" ] || { kill "$daemon_pid" 2>/dev/null; wait "$daemon_pid" 2>/dev/null; }
    mountpoint -q "$work/card" && umount -l "$work/card"
    "$server" -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

now_ns() { date +%s%N; }
ms_since() { echo $((($(now_ns) - $1) / 1000000)); }

echo "setting up a Wine prefix in $work"
"$wine" wineboot -i >/dev/null 2>&1
"$wine" reg add 'HKLM\Software\Wine\Drives' /v g: /d floppy /f >/dev/null 2>&1
"$server" -w
find "$WINEPREFIX/dosdevices" -maxdepth 1 -name '?:' ! -name 'c:' -exec rm -f {} +
mkdir -p "$work/work/fw" "$work/card" "$work/backing/FIRMWARE"
ln -s "$work/work" "$WINEPREFIX/dosdevices/d:"
ln -s "$work/card" "$WINEPREFIX/dosdevices/g:"
ln -s "$(dirname "$cli")" "$WINEPREFIX/dosdevices/e:"

# The camera, as the device set-up services list it (see the Wine test bed).
G='{a5dcbf10-6530-11d2-901f-00c04fb951ed}'
INST='USB\VID_04DA&PID_2372\5&1234&0&1'
IK="HKLM\\System\\CurrentControlSet\\Control\\DeviceClasses\\$G\\##?#USB#VID_04DA&PID_2372#5&1234&0&1#$G"
{
    "$wine" reg add "HKLM\\System\\CurrentControlSet\\Enum\\$INST" /v HardwareID /t REG_MULTI_SZ \
        /d 'USB\VID_04DA&PID_2372&REV_0100\0USB\VID_04DA&PID_2372' /f
    "$wine" reg add "HKLM\\System\\CurrentControlSet\\Enum\\$INST" /v ClassGUID /t REG_SZ \
        /d '{36fc9e60-c465-11cf-8056-444553540000}' /f
    "$wine" reg add "$IK" /v DeviceInstance /t REG_SZ /d "$INST" /f
    "$wine" reg add "$IK\\#" /v SymbolicLink /t REG_SZ /d "\\\\?\\USB#VID_04DA&PID_2372#5&1234&0&1#$G" /f
    "$wine" reg add "$IK\\#\\Control" /v Linked /t REG_DWORD /d 1 /f
} >/dev/null 2>&1

printf '[PID_VID]\r\nPID_VID=USB\\VID_04DA&PID_2372&REV_0100\r\n[SrcPath]\r\nPath=\\fw\\\r\n[DestPath]\r\nPath=\\FIRMWARE\\\r\n' \
    >"$work/work/FirmWare.ini"
head -c $((256 << 20)) /dev/urandom >"$work/work/fw/vorm.bin"
printf '[CMD]\r\nUPDATE=1\r\n' >"$work/work/fw/dsccmd.ini"
echo "old image" >"$work/backing/FIRMWARE/vorm.bin"
echo "old command" >"$work/backing/FIRMWARE/dsccmd.ini"

"$daemon" "$work/flag" "$work/card" "$work/backing" 2>/dev/null &
daemon_pid=$!
for _ in $(seq 100); do mountpoint -q "$work/card" && break; sleep 0.05; done
mountpoint -q "$work/card" || { echo "the FUSE folder did not mount" >&2; exit 1; }

# As a shell runs it: the prompt comes back when this command returns.
(cd "$work/work" && exec "$wine" 'E:\orvane-cli.exe' --wait 30) >"$work/out" 2>"$work/err" &
shell_child=$!
temporary=$work/backing/FIRMWARE/vorm.bin.orvtmp
for _ in $(seq 1200); do
    [ "$(stat -c %s "$temporary" 2>/dev/null || echo 0)" -ge $((8 << 20)) ] && break
    sleep 0.05
done
touch "$work/flag"
echo "the folder stops answering with $(stat -c %s "$temporary") bytes of the image written"
sleep 1

# Ctrl-C under Wine: SIGINT to the Unix process of the program.
target=""
for process in /proc/[0-9]*; do
    first=""
    read -r -d '' first <"$process/cmdline" 2>/dev/null || true
    case "$first" in *orvane-cli.exe) ;; *) continue ;; esac
    tr '\0' '\n' <"$process/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" &&
        target=${process#/proc/}
done
[ -n "$target" ] || { echo "orvane-cli.exe is not running" >&2; cat "$work/out" "$work/err"; exit 1; }
pressed=$(now_ns)
kill -INT "$target"
echo "Ctrl-C (SIGINT to $target)"

said="" ended=""
while [ $(($(now_ns) - pressed)) -lt $((hold * 1000000000)) ]; do
    if [ -z "$said" ] && grep -q 'lets it go' "$work/err" "$work/out" 2>/dev/null; then
        said=$(ms_since "$pressed")
        echo "said it is held: $said ms after Ctrl-C"
    fi
    if [ -z "$ended" ] && ! kill -0 "$shell_child" 2>/dev/null; then
        ended=$(ms_since "$pressed")
        echo "prompt back $ended ms after Ctrl-C, with the folder still not answering"
    fi
    sleep 0.02
done
states=$(cat /proc/"$target"/task/*/stat 2>/dev/null | awk '{print $3}' | sort | uniq -c | tr '\n' ' ')
echo "after $hold s the program's process $target has threads in states: ${states:-none (gone)}"
freed=$(now_ns)
rm -f "$work/flag"
echo "the folder answers again $(ms_since "$pressed") ms after Ctrl-C"
status=0
wait "$shell_child" || status=$?
[ -n "$ended" ] || echo "prompt back $(ms_since "$pressed") ms after Ctrl-C, $(ms_since "$freed") ms after the folder answered"
echo "exit status $status"
sed 's/^/  stdout: /' "$work/out" | tail -3
sed 's/^/  stderr: /' "$work/err"
echo "camera folder: $(ls "$work/backing/FIRMWARE" | tr '\n' ' ')"
