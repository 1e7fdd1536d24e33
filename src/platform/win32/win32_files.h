// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The port's file objects on Win32 handles.
#pragma once

#include <memory>
#include <string>

#include "port/system_port.h"

namespace orvane::win32 {

// Opens an existing file for reading. Uncached reads go to the device itself
// (FILE_FLAG_NO_BUFFERING), with the sector alignment that demands.
Result<std::unique_ptr<ReadableFile>> OpenWin32File(const std::string& path, ReadCaching caching);

// The room on the volume holding `path`: GetDiskFreeSpaceExW's bytes free to
// the caller, and the cluster from GetDiskFreeSpaceW.
Result<VolumeSpace> Win32VolumeSpace(const std::string& path);

// Creates or truncates a file for writing, shared with nobody while it is open.
Result<std::unique_ptr<WritableFile>> CreateWin32File(const std::string& path);

}  // namespace orvane::win32
