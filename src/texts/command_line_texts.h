// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The sentences only the command line says: its settings, its log, and
// what it does between cameras.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "port/result.h"

namespace orvane::texts {

// The settings file at `path` cannot be a FirmWare.ini.
std::string DescribeSettingsFolder(std::string_view path);
std::string DescribeSettingsUnreadable(std::string_view path, const SystemError& error);
std::string DescribeSettingsTooLarge(std::string_view path, std::uint64_t limitBytes);
std::string DescribeSettingsWithoutCamera(std::string_view path);

// --repeat, after a camera: it waits for that one to go.
std::string WaitingForDepartureLine();
// --all where the program has no way to keep several cameras apart.
std::string DescribeAllUnavailable();

// What --help prints: the command line's options and exit statuses, and the
// dialog program's.
extern const std::string_view kCommandLineUsage;
extern const std::string_view kDialogUsage;

// The command line's arguments that cannot be used, named as given.
std::string DescribeUnexpectedArgument(std::string_view argument);
std::string DescribeUnknownArgument(std::string_view argument);
// `option` needs `what`; `optionAfter`: the option that stood where its
// value should have.
std::string DescribeMissingValue(std::string_view option, std::string_view what,
                                 std::string_view optionAfter);
std::string DescribeValueNotTaken(std::string_view option);
std::string DescribeWaitNotANumber(std::string_view text);
std::string DescribeSystemLogTwice();
std::string DescribeLogFileTwice(std::string_view first, std::string_view second);
std::string DescribeAllWithRepeat();

// The log file `path` cannot be opened, or its header not written, for `why`.
std::string DescribeLogUnopenable(std::string_view path, std::string_view why);
std::string DescribeLogUnwritable(std::string_view path, std::string_view why);

// --eject where this program cannot eject.
std::string DescribeCannotEject(std::string_view volume);

}  // namespace orvane::texts
