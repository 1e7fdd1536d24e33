// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Reading one value from the text of a private-profile (INI) file.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orvane::linux_port {

// The value of `key` in `section` of `fileText`, following the rules the
// Windows profile reader applies: names compare without regard to ASCII case,
// blanks around names and values are trimmed, a value wrapped in a matching
// pair of quotes loses them, lines starting with ';' are comments, the first
// section of the name and the first key in it win, CR, LF and CRLF each end
// a line, a UTF-8 byte-order mark is skipped, and a file that starts with a
// UTF-16 byte-order mark (LE or BE) is read as UTF-16, its value coming back
// in UTF-8. `fallback` is returned
// only when the section or the key is missing. The result is cut to
// `size` - 1 characters, as if copied into a buffer of `size` bytes.
std::string ReadProfileValue(std::string_view fileText, std::string_view section,
                             std::string_view key, std::string_view fallback, std::size_t size);

}  // namespace orvane::linux_port
