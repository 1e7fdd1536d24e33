// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Where the command line's FirmWare.ini is, and what it says.
#pragma once

#include <string>
#include <variant>

#include "cli/cli_options.h"
#include "port/system_port.h"
#include "settings/settings.h"

namespace orvane::cli {

// A run that cannot go on: its exit status and what the user reads.
struct Failure {
    int status;
    std::string message;
};

// Where the settings are, and the folder SrcPath is relative to.
struct SettingsPlace {
    std::string iniPath;
    std::string base;
};

std::variant<SettingsPlace, Failure> LocateSettings(const Options& options, SystemPort& system);

// The settings at `path`, refused when they cannot name a camera and its
// folders, or when the file cannot be a FirmWare.ini at all.
std::variant<UpdateSettings, Failure> LoadSettings(SystemPort& system, const std::string& path);

}  // namespace orvane::cli
