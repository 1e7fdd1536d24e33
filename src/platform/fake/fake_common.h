// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// What the fake platform's parts share: its paths and its errors.
#pragma once

#include <string>
#include <string_view>

#include "port/result.h"

namespace orvane::fake {

inline std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

inline std::string StripSeparator(std::string path) {
    while (path.size() > 1 && path.back() == '\\') path.pop_back();
    return path;
}

inline std::string ParentOf(const std::string& path) {
    std::string stripped = StripSeparator(path);
    std::size_t slash = stripped.find_last_of('\\');
    if (slash == std::string::npos) {
        // "G:name" lies in the drive's current folder, its root here.
        std::size_t colon = stripped.find(':');
        return colon == std::string::npos ? std::string() : stripped.substr(0, colon + 1);
    }
    return StripSeparator(stripped.substr(0, slash + 1));
}

inline SystemError Error(ErrorKind kind, std::string text) {
    return SystemError{kind, static_cast<unsigned long>(kind) + 100, std::move(text)};
}

}  // namespace orvane::fake
