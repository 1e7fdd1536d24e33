// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Fuzz target: the sysfs attribute reader on arbitrary file contents.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/linux/sysfs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    for (unsigned limit : {0u, 0xFFu, 0xFFFFu, 0xFFFFFFFFu}) {
        auto value = orvane::linux_port::ParseHexAttribute(text, limit);
        if (value && *value > limit) __builtin_trap();
    }
    return 0;
}
