#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

# Without a display the Linux program says where to turn instead of
# aborting, and fails; --help and --version need no display at all.
set -u
program=$1
output=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" 2>&1)
status=$?
if [ "$status" -ne 1 ]; then echo "FAIL: exit status $status, not 1: $output"; exit 1; fi
case $output in
    *orvane-cli*) ;;
    *) echo "FAIL: no pointer to orvane-cli: $output"; exit 1 ;;
esac
for option in --help --version; do
    if ! env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" "$option" >/dev/null; then
        echo "FAIL: $option needs a display"
        exit 1
    fi
done
echo "ok"
