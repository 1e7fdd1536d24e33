#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

# Makes the release packages: the Linux .deb (cpack) in build/release/packages
# and the Windows .zip in build/win32/packages, and gathers both in
# build/packages with SHA256SUMS, which is what a release publishes.
# With ORVANE_SIGN_PKCS12 and ORVANE_SIGN_PASSWORD set, the programs in the
# .zip are signed (tools/sign.sh); without, it says they are not.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
# What an earlier run gathered goes first: a run that fails (a signature
# refused, say) must not leave an older release looking like this one.
rm -rf build/packages

# Only what is shipped is built: the programs, the icons and documentation.
cmake --preset release >/dev/null
cmake --build --preset release --target orvane orvane-cli orvane_icons orvane_docs orvane_cli_docs
# A .deb of an earlier version or revision must not be taken for this one's.
rm -rf build/release/packages
(cd build/release && cpack -G DEB >/dev/null)

cmake --preset win32 >/dev/null
cmake --build --preset win32 --target orvane_zip

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/release/CMakeCache.txt)
deb=$(echo build/release/packages/orvane_"$version"-*_amd64.deb)
zip=build/win32/packages/Orvane-$version-win32.zip

# What is published, beside its checksums: `sha256sum -c SHA256SUMS` in the
# download folder checks every file.
mkdir -p build/packages
cp "$deb" "$zip" build/packages/
(cd build/packages && sha256sum -- *.deb *.zip >SHA256SUMS)
ls -1 build/packages/*
