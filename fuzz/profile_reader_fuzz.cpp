// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Fuzz target: the private-profile reader on arbitrary file text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/linux/profile_reader.h"

namespace {

void ReadAll(std::string_view text) {
    // Names taken from the input itself reach sections and keys that fixed
    // names never would.
    std::string_view firstLine = text.substr(0, std::min(text.find('\n'), text.size()));
    static constexpr std::string_view kNames[][2] = {
        {"PID_VID", "PID_VID"}, {"SrcPath", "Path"}, {"DestPath", "Path"}};
    for (const auto& name : kNames) {
        for (std::size_t bufferSize : {std::size_t{1}, std::size_t{8}, std::size_t{260}}) {
            std::string value = orvane::linux_port::ReadProfileValue(
                text, name[0], name[1], "Section not find!", bufferSize);
            if (value.size() >= bufferSize) __builtin_trap();
        }
    }
    std::string value = orvane::linux_port::ReadProfileValue(text, firstLine, firstLine, "", 260);
    if (value.size() >= 260) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    ReadAll(text);
    // The same bytes behind a UTF-16 byte-order mark, so that every input
    // also goes through the conversion.
    ReadAll("\xFF\xFE" + std::string(text));
    return 0;
}
