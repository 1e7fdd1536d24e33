// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The command line's JSON text: strings, and paths that may not be UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace orvane::cli {

// `text` as a JSON string, quotes included, always valid UTF-8: a byte
// that is not part of a UTF-8 sequence becomes U+FFFD.
std::string JsonString(std::string_view text);
// Whether `text` is UTF-8 throughout.
bool IsUtf8(std::string_view text);
// The JSON member `name` for a path: where the path is not UTF-8 (a folder
// named on an older system), `<name>Hex` follows with its exact bytes in
// hexadecimal, since the text then holds U+FFFD in their place.
std::string JsonPath(std::string_view name, std::string_view path);

}  // namespace orvane::cli
