// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The update's one transfer: the two files from the source folder to the
// destination folder on the camera's drive.
#pragma once

#include <string_view>

#include "port/system_port.h"
#include "transfer/safe_transfer.h"

namespace orvane {

// Names of the two update files, in the order they are written.
inline constexpr const char* kFirmwareImageName = "vorm.bin";
inline constexpr const char* kCommandFileName = "dsccmd.ini";

// The transfer from `sourceBase` (the folder SrcPath is relative to) joined
// with the SrcPath value, to `drive` joined with the DestPath value.
TransferRequest MakeUpdateRequest(SystemPort& system, std::string_view sourceBase,
                                  std::string_view srcPath, std::string_view drive,
                                  std::string_view destPath);

}  // namespace orvane
