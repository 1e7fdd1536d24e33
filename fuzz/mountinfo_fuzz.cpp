// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Fuzz target: the mount-table reader on arbitrary text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/linux/mountinfo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::size_t lines = 1;
    for (char c : text) lines += c == '\n';
    auto entries = orvane::linux_port::ParseMountInfo(text);
    // One entry per line at most, and a decoded name never grows.
    if (entries.size() > lines) __builtin_trap();
    for (const auto& entry : entries) {
        if (entry.mountPoint.size() > text.size()) __builtin_trap();
    }
    return 0;
}
