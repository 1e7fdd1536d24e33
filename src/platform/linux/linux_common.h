// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// What the Linux back end's files share: errors from errno and whole-file reads.
#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>
#include <utility>

#include "port/system_port.h"

namespace orvane::linux_port::detail {

SystemError LastError();
// The error of a path resolved on a held volume, where a link (ELOOP) or a
// step onto another mount (EXDEV) is what kept the path on the volume.
SystemError LastConfinedError();
// Why a file to read whole was refused: a folder, a pipe or a device.
SystemError NotARegularFile(const struct stat& status);
// Reads a whole regular file; /proc files report a size of 0, so it reads
// to the end. Pipes, devices and folders are refused without waiting.
Result<std::string> ReadWholeFile(const std::string& path);
// A path's folder ("." where it names none) and its last part.
std::pair<std::string, std::string> SplitFolder(std::string_view path);
std::string WithoutTrailingSlashes(std::string_view path);

}  // namespace orvane::linux_port::detail
