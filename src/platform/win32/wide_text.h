// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// UTF-8, the text of the core, to and from UTF-16, the text of the W functions.
#pragma once

#include <string>
#include <string_view>

namespace orvane::win32 {

// Every path and message crosses the port as UTF-8; the system takes and
// gives UTF-16. A byte sequence that is not UTF-8 becomes U+FFFD rather than
// being dropped, so a damaged name is seen as damaged.
std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view utf16);

}  // namespace orvane::win32
