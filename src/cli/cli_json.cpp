// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// JSON text that is always valid UTF-8, whatever bytes a path holds.
#include "cli/cli_json.h"

#include <cstdio>

namespace orvane::cli {

namespace {

// The length of the well-formed UTF-8 sequence at the start of `text`, or
// 0 when it starts with a byte that is not one (an overlong form, a
// surrogate, a sequence cut short, a value past U+10FFFF).
std::size_t Utf8Sequence(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the second byte's range
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    }
    return length;
}

}  // namespace

bool IsUtf8(std::string_view text) {
    while (!text.empty()) {
        const std::size_t length = Utf8Sequence(text);
        if (length == 0) return false;
        text.remove_prefix(length);
    }
    return true;
}

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    while (!text.empty()) {
        const std::size_t length = Utf8Sequence(text);
        if (length == 0) {
            // Readers that insist on UTF-8 (most do) take the line whole.
            out += "\xEF\xBF\xBD";  // U+FFFD
            text.remove_prefix(1);
            continue;
        }
        const char c = text.front();
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (byte < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
                    out += escaped;
                } else {
                    out.append(text.substr(0, length));
                }
        }
        text.remove_prefix(length);
    }
    return out + "\"";
}

std::string JsonPath(std::string_view name, std::string_view path) {
    std::string member = "\"" + std::string(name) + "\":" + JsonString(path);
    if (IsUtf8(path)) return member;
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0xF];
    }
    return member + ",\"" + std::string(name) + "Hex\":\"" + hex + "\"";
}

}  // namespace orvane::cli
