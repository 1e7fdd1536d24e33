// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Reading FirmWare.ini: the camera's hardware ID and the two folder values.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "port/system_port.h"

namespace orvane {

// Size of the fixed text buffers the settings values and paths live in on the
// original platform: 259 characters and a terminating NUL.
inline constexpr std::size_t kPathBufferSize = 260;
inline constexpr std::size_t kMaxPathChars = kPathBufferSize - 1;

struct UpdateSettings {
    std::string hardwareId;  // [PID_VID] PID_VID
    std::string srcPath;     // [SrcPath] Path
    std::string destPath;    // [DestPath] Path
};

// The path of FirmWare.ini in `folder`; empty when `folder` or the path would
// not fit in the path buffer, since a path cut short names another file.
std::string SettingsPathIn(SystemPort& system, std::string_view folder);

// The three values of the settings file `iniPath`, each cut to the buffer; a
// missing file, section or key (or an empty `iniPath`) gives the "Section not
// find!" text for that value.
UpdateSettings ReadUpdateSettings(SystemPort& system, std::string_view iniPath);

// The message naming the folder settings that are missing, if any: such a
// value is never used as a folder.
std::optional<std::string> MissingFolderSettings(const UpdateSettings& settings);

}  // namespace orvane
