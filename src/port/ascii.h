// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Letter-case folding for the names the tool compares: hardware IDs, profile
// sections and keys, file names.
#pragma once

#include <string_view>

namespace orvane {

// True when `a` and `b` are equal apart from the case of ASCII letters. Bytes
// outside ASCII are compared as they stand, so a multibyte character is never
// folded half-way.
constexpr bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

}  // namespace orvane
