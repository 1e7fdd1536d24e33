#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

# Builds the shipped programs again from a copy of the sources in another
# folder and compares them byte for byte with the first build's:
# build/release's orvane and build/win32's Orvane.exe and orvane-cli.exe
# (tools/package.sh makes them). A difference is a time stamp or a build
# path that got into a binary.
set -euo pipefail
cd "$(dirname "$0")/.."

first_linux=build/release/src/platform/qt/orvane
first_windows=build/win32/bin/Orvane.exe
first_windows_cli=build/win32/bin/orvane-cli.exe
for file in "$first_linux" "$first_windows" "$first_windows_cli"; do
    [ -f "$file" ] || { echo "no $file: run tools/package.sh first" >&2; exit 1; }
done

# The same files as this tree, committed or not, at another path.
again=$(mktemp -d /tmp/orvane-again.XXXXXX)
trap 'rm -rf "$again"' EXIT
mkdir "$again/sources"
git ls-files -z --cached --others --exclude-standard |
    xargs -0 cp --parents -t "$again/sources"
(
    cd "$again/sources"
    cmake --preset release >/dev/null
    cmake --build --preset release --target orvane >/dev/null
    cmake --preset win32 >/dev/null
    cmake --build --preset win32 --target Orvane orvane-cli >/dev/null
)

status=0
for file in "$first_linux" "$first_windows" "$first_windows_cli"; do
    if cmp -s "$file" "$again/sources/$file"; then
        echo "reproducible: $file ($(sha256sum <"$file" | cut -c1-16))"
    else
        echo "FAIL: $file differs between two builds of the same sources:"
        cmp -l "$file" "$again/sources/$file" | head -5 || true
        status=1
    fi
done
exit $status
