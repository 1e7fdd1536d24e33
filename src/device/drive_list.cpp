// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Splitting the logical-drive list into letters.
#include "device/drive_list.h"

namespace orvane {

std::vector<std::string> ParseLogicalDriveStrings(std::string_view buffer, std::size_t length) {
    std::vector<std::string> drives;
    if (length > buffer.size()) length = buffer.size();
    for (std::size_t entry = 0; entry + 4 <= length; entry += 4) {
        if (buffer[entry] != '\0') drives.emplace_back(1, buffer[entry]);
    }
    return drives;
}

}  // namespace orvane
