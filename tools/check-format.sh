#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

# Fails when a C++ file of ours differs from clang-format's style.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || bash tools/install-deps.sh
mapfile -t files < <(git ls-files '*.cpp' '*.h')
[ ${#files[@]} -eq 0 ] || clang-format --dry-run -Werror "${files[@]}"
