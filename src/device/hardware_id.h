// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Comparison of USB hardware IDs.
#pragma once

#include <string_view>

namespace orvane {

// True when `a` and `b` are the same ID apart from letter case. Hardware IDs
// are ASCII; bytes outside it are compared as they stand, so a multibyte
// character is never folded half-way.
bool HardwareIdsEqual(std::string_view a, std::string_view b);

}  // namespace orvane
