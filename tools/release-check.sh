#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

# The release checks CI runs (tools/test.sh): every file carries its licence,
# the packages are made and their checksums verify, the Linux program's
# hardening is read back from it, the .deb passes lintian and installs, the
# Windows .zip holds what it should, two builds of the programs are
# identical, the Windows programs take a signature that verifies, and the
# transfer's threads run under ThreadSanitizer. Each failure ends the run
# with a line saying which. (The signed programs are also the ones the Wine
# scenarios present_update and command_line run, in tools/test.sh.)
set -euo pipefail
cd "$(dirname "$0")/.."

echo "=== licences (reuse lint)"
command -v reuse >/dev/null || bash tools/install-deps.sh
mkdir -p build
if ! reuse lint >build/reuse-lint.txt 2>&1; then
    cat build/reuse-lint.txt
    missing=$(sed -n 's/^\* //p' build/reuse-lint.txt | grep -v ':' | tr '\n' ' ' || true)
    echo "FAIL: a file has no licence header. Give each file listed above one:"
    echo "  reuse annotate --copyright \"The Orvane developers\" --year 2026 --license Apache-2.0 ${missing:-FILE...}"
    echo "(--style c or --style python where it asks for a comment style; a file whose format takes"
    echo "no comments, such as test data or an image, is listed in .reuse/dep5 instead)"
    exit 1
fi
tail -n 1 build/reuse-lint.txt

echo "=== packages"
bash tools/package.sh
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/release/CMakeCache.txt)
deb=$(echo build/packages/orvane_"${version}"-*_amd64.deb)
zip=build/packages/Orvane-${version}-win32.zip

echo "=== checksums"
(cd build/packages && sha256sum -c SHA256SUMS)

echo "=== hardening of the Linux programs"
python3 tests/release/check_elf.py build/release/src/platform/qt/orvane \
    build/release/src/platform/linux/orvane-cli

echo "=== AppStream metadata and lintian"
appstreamcli validate --no-net \
    build/release/src/platform/qt/packaging/org.orvane.Orvane.metainfo.xml
lintian --fail-on error "$deb" | tee build/lintian.txt
if grep -i 'copyright' build/lintian.txt; then
    echo "FAIL: lintian finds fault with the .deb's copyright file"
    exit 1
fi

echo "=== the .deb's licence and change logs"
docs=$(mktemp -d /tmp/orvane-docs.XXXXXX)
trap 'rm -rf "$docs"' EXIT
dpkg-deb -x "$deb" "$docs"
doc=$docs/usr/share/doc/orvane
if ! head -n 1 "$doc/copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    ! grep -qx 'License: Apache-2.0' "$doc/copyright"; then
    echo "FAIL: $doc/copyright is not a machine-readable copyright file under Apache-2.0"
    exit 1
fi
if ! zcat "$doc/changelog.gz" | cmp -s - CHANGELOG.md; then
    echo "FAIL: the .deb's changelog.gz is not CHANGELOG.md"
    exit 1
fi
if ! zcat "$doc/changelog.Debian.gz" | head -n 1 | grep -q "^orvane ($version-"; then
    echo "FAIL: the .deb's changelog.Debian.gz does not begin with this version's entry"
    exit 1
fi
# The change log's newest entry is this version's, as the package's is.
newest=$(sed -n 's/^## \[\([^]]*\)\].*/\1/p' CHANGELOG.md | head -n 1)
if [ "$newest" != "$version" ]; then
    echo "FAIL: CHANGELOG.md's newest entry is [$newest], the version is $version: say what $version holds"
    exit 1
fi
echo "copyright, changelog.gz ($version) and changelog.Debian.gz are in the .deb"

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
if [ "$listing" != "CHANGELOG.md FirmWare.ini LICENSE Orvane.exe README.txt orvane-cli.exe" ]; then
    echo "FAIL: $zip holds $listing"
    exit 1
fi
echo "$zip: $listing"

echo "=== reproducible builds"
bash tools/check-reproducible.sh

# After the reproducible-build check, and on copies: the bytes it compares are
# the unsigned programs'.
echo "=== signed Windows programs (a throwaway certificate)"
bash tests/release/check_signing.sh "$docs/signed" build/win32/bin/Orvane.exe \
    build/win32/bin/orvane-cli.exe

echo "=== ThreadSanitizer: the core and the transfer on a worker thread"
cmake --preset tsan >/dev/null
cmake --build --preset tsan
# Address-space randomisation with more bits than this sanitizer knows
# breaks its memory layout; without randomisation it runs on any kernel.
setarch "$(uname -m)" -R ctest --preset tsan
