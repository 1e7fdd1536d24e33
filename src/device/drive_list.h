// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Reading the Windows logical-drive list.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// Splits the buffer GetLogicalDriveStrings fills ("A:\", NUL, "C:\", NUL, ...)
// into drive letters, in the order given. `length` is the call's result, the
// buffer's length without the final NUL. Entries are four bytes each; a
// length below 4 (a failed call, an empty list) gives no drive.
std::vector<std::string> ParseLogicalDriveStrings(std::string_view buffer, std::size_t length);

}  // namespace orvane
