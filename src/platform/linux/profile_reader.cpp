// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// A private-profile reader of our own, for systems without the Windows one.
#include "platform/linux/profile_reader.h"

#include <optional>

#include "port/ascii.h"

namespace orvane::linux_port {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value.remove_prefix(1);
        value.remove_suffix(1);
    }
    return value;
}

// `value` as if copied into a buffer of `size` bytes. Text converted to UTF-8
// is cut between characters, never inside one.
std::string CutToBuffer(std::string_view value, std::size_t size, bool utf8) {
    if (size == 0) return {};
    if (value.size() < size) return std::string(value);
    std::size_t length = size - 1;
    while (utf8 && length > 0 && (static_cast<unsigned char>(value[length]) & 0xC0) == 0x80)
        --length;
    return std::string(value.substr(0, length));
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// UTF-16 text (after its byte-order mark) as UTF-8. A surrogate without its
// partner becomes U+FFFD; an odd last byte is dropped.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    std::string out;
    out.reserve(bytes.size());
    auto unit = [&](std::size_t i) -> char16_t {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        return static_cast<char16_t>(bigEndian ? (first << 8 | second) : (second << 8 | first));
    };
    const std::size_t units = bytes.size() / 2;
    for (std::size_t i = 0; i < units; ++i) {
        char32_t c = unit(2 * i);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units) {
            const char16_t low = unit(2 * (i + 1));
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
        AppendUtf8(out, c);
    }
    return out;
}

std::optional<std::string_view> FindValue(std::string_view text, std::string_view section,
                                          std::string_view key) {
    bool inSection = false;
    while (!text.empty()) {
        // CR, LF and CRLF each end a line, in any mix.
        std::size_t end = text.find_first_of("\r\n");
        std::string_view line = Trim(text.substr(0, end));
        if (end == std::string_view::npos) {
            text = {};
        } else {
            text.remove_prefix(text.compare(end, 2, "\r\n") == 0 ? end + 2 : end + 1);
        }

        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            // Only the first section of the name is consulted; a repetition
            // further down is never read.
            if (inSection) return std::nullopt;
            // A header without its closing bracket still names a section,
            // up to the end of the line.
            std::string_view name = line.substr(1);
            name = name.substr(0, name.find(']'));
            inSection = EqualIgnoringAsciiCase(Trim(name), section);
            continue;
        }
        if (!inSection) continue;
        std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        if (!EqualIgnoringAsciiCase(Trim(line.substr(0, equals)), key)) continue;
        return Unquote(Trim(line.substr(equals + 1)));
    }
    return std::nullopt;
}

}  // namespace

std::string ReadProfileValue(std::string_view fileText, std::string_view section,
                             std::string_view key, std::string_view fallback, std::size_t size) {
    // The byte-order mark tells the encoding, as it does to the Windows
    // reader; UTF-16 without one is read as bytes and finds nothing.
    std::string converted;
    const bool littleEndian = fileText.starts_with("\xFF\xFE");
    if (littleEndian || fileText.starts_with("\xFE\xFF")) {
        converted = Utf16ToUtf8(fileText.substr(2), !littleEndian);
        fileText = converted;
    } else if (fileText.starts_with("\xEF\xBB\xBF")) {
        fileText.remove_prefix(3);
    }
    std::optional<std::string_view> value = FindValue(fileText, section, key);
    if (!value) return CutToBuffer(fallback, size, false);
    return CutToBuffer(*value, size, !converted.empty());
}

}  // namespace orvane::linux_port
