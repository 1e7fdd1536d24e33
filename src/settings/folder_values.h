// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The two folder values of FirmWare.ini, made into well-formed fragments.
#pragma once

#include <string>
#include <string_view>

namespace orvane {

// The SrcPath value as a fragment to append to the current directory: with a
// separator at each end, so that "\fw", "fw\" and "\fw\" all name the folder
// fw, and an empty value the current directory itself. Nothing else changes:
// the source is only read, and ".." may rightly lead above the current folder.
std::string SourceFolderFragment(std::string_view value);

// The DestPath value as a folder below a drive's root, resolved the way
// Windows resolves a path from the root: "\" and "/" both separate, empty and
// "." components go, ".." takes away the folder before it but never climbs
// above the root. The result uses backslashes and begins and ends with one:
// "\FIRMWARE\" for "\FIRMWARE", "FIRMWARE\" and "\x\..\FIRMWARE\", "\" for
// an empty value and for "\..\..".
std::string DestinationFolderFragment(std::string_view value);

}  // namespace orvane
