#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

# The release checks CI runs (tools/test.sh): the packages are made, the
# Linux program's hardening is read back from it, the .deb passes lintian
# and installs, the Windows .zip holds what it should, two builds of the
# programs are identical, and the transfer's threads run under
# ThreadSanitizer. Each failure ends the run with a line saying which.
set -euo pipefail
cd "$(dirname "$0")/.."

echo "=== packages"
bash tools/package.sh
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/release/CMakeCache.txt)
deb=build/release/packages/orvane_${version}_amd64.deb
zip=build/win32/packages/Orvane-${version}-win32.zip

echo "=== hardening of the Linux programs"
python3 tests/release/check_elf.py build/release/src/platform/qt/orvane \
    build/release/src/platform/linux/orvane-cli

echo "=== AppStream metadata and lintian"
appstreamcli validate --no-net \
    build/release/src/platform/qt/packaging/org.orvane.Orvane.metainfo.xml
lintian --fail-on error "$deb"

echo "=== the .deb installed"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo dpkg -i "$deb" >/dev/null
reported=$(env -u DISPLAY -u WAYLAND_DISPLAY /usr/bin/orvane --version)
reported_cli=$(/usr/bin/orvane-cli --version)
$sudo dpkg -r orvane >/dev/null
if [ "$reported" != "orvane $version" ] || [ "$reported_cli" != "orvane-cli $version" ]; then
    echo "FAIL: the installed programs say \"$reported\" and \"$reported_cli\" for $version"
    exit 1
fi
echo "installed: $reported, $reported_cli"

echo "=== the Windows .zip"
listing=$(python3 -c 'import sys, zipfile; print(" ".join(sorted(n.split("/")[-1] for n in zipfile.ZipFile(sys.argv[1]).namelist())))' "$zip")
if [ "$listing" != "FirmWare.ini Orvane.exe README.txt orvane-cli.exe" ]; then
    echo "FAIL: $zip holds $listing"
    exit 1
fi
echo "$zip: $listing"

echo "=== reproducible builds"
bash tools/check-reproducible.sh

echo "=== ThreadSanitizer: the core and the transfer on a worker thread"
cmake --preset tsan >/dev/null
cmake --build --preset tsan
# Address-space randomisation with more bits than this sanitizer knows
# breaks its memory layout; without randomisation it runs on any kernel.
setarch "$(uname -m)" -R ctest --preset tsan
