#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

# Checks whether this machine's 32-bit Wine keeps each thread's identity
# across a signal, with a probe that holds nothing of Orvane's. Emulated by
# qemu-i386 (on a kernel without i386 support, or ORVANE_WINE32=qemu), the
# probe shows a thread taking on another thread's identity, or the process
# dying, which is why the program avoids asking drives' device numbers where
# nothing can come of it. Exits 0 when the identity held.
#
#   bash tools/emulator-probe.sh [WORK-FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(realpath -m "${1:-build/emulator-probe}")
mkdir -p "$work"
i686-w64-mingw32-gcc -O2 -Wall -Wextra -Werror -o "$work/probe.exe" tools/emulator-probe.c
runner=tests/win32/run-wine.sh
bash "$runner" setup "$work/wine" "$work/probe.exe"
# A process that dies on the way says nothing, and may still exit 0: only
# the probe's own verdict line counts.
output=$(bash "$runner" run "$work/wine" "$work/probe.exe" 2>&1 | tr -d '\r') || true
bash "$runner" cleanup "$work/wine" "$work/probe.exe"
echo "$output"
if echo "$output" | grep -qx "identity held"; then
    echo "the thread kept its identity"
    exit 0
fi
echo "the thread lost its identity, or the process died"
exit 1
