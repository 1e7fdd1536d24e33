#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

# Installs what Orvane needs, builds the Linux program and starts it.
#
#   bash tools/run.sh           start orvane in the example folder (examples/)
#   bash tools/run.sh FOLDER    start orvane in FOLDER, which holds your FirmWare.ini
#   bash tools/run.sh --demo    start orvane-demo: a simulated camera plugs in after
#                               three seconds and receives the example update files
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

mode=program
folder="$root/examples"
case "${1:-}" in
    --demo) mode=demo ;;
    -h | --help)
        # The usage is the comment below the licence header.
        sed -n '/^# Installs/,/^[^#]/s/^# \{0,1\}//p' "$0"
        exit 0
        ;;
    "") ;;
    *) folder=$(cd "$1" && pwd) ;;
esac

bash tools/install-deps.sh --linux-program
cmake --preset release >/dev/null
cmake --build --preset release --target orvane orvane-demo

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display found: run this from a desktop session (or under xvfb-run)." >&2
    exit 1
fi

if [ "$mode" = demo ]; then
    cd "$root/examples"
    exec "$root/build/release/src/platform/qt/orvane-demo"
fi

cd "$folder"
echo "Starting orvane in $folder."
if [ "$folder" = "$root/examples" ]; then
    echo "It waits for the camera named in examples/FirmWare.ini. To watch a whole"
    echo "update without a camera, run: bash tools/run.sh --demo"
fi
exec "$root/build/release/src/platform/qt/orvane"
