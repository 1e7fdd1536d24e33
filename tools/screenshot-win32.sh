#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

# Takes docs/updater-dialog.png: the Windows program's dialog under Wine on a
# virtual X display. Needs the win64 build (cmake --build --preset win64).
set -euo pipefail
cd "$(dirname "$0")/.."
program=$PWD/build/win64/bin/Orvane.exe
[ -f "$program" ] || { echo "build the win64 preset first" >&2; exit 1; }

work=$(mktemp -d)
trap 'WINEPREFIX=$work/prefix wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$work/run"
cp "$program" "$work/run/"

# Wine draws its own window frames inside a virtual desktop, which a bare
# X server without a window manager would not show.
cat >"$work/shot.sh" <<'SHOT'
set -e
/usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
wineserver -w
cd "$1/run"
/usr/lib/wine/wine64 explorer /desktop=orvane,440x200 Orvane.exe &
sleep 6
import -window root -crop 440x200+0+0 +repage "$2"
SHOT
xvfb-run -a -s "-screen 0 640x480x24" bash "$work/shot.sh" "$work" "$PWD/docs/updater-dialog.png"
echo "wrote docs/updater-dialog.png"
