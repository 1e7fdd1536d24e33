#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

# Makes the release packages: the Linux .deb (cpack) in build/release/packages
# and the Windows .zip in build/win32/packages.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh

# Only what is shipped is built: the programs, the icons and documentation.
cmake --preset release >/dev/null
cmake --build --preset release --target orvane orvane-cli orvane_icons orvane_docs orvane_cli_docs
(cd build/release && cpack -G DEB >/dev/null)

cmake --preset win32 >/dev/null
cmake --build --preset win32 --target orvane_zip

ls -1 build/release/packages/*.deb build/win32/packages/*.zip
