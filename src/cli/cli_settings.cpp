// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The command line's settings: --ini or the working folder's FirmWare.ini.
#include "cli/cli_settings.h"

#include <memory>

#include "texts/command_line_texts.h"
#include "texts/texts.h"

namespace orvane::cli {

namespace {

// Far above any real FirmWare.ini.
constexpr std::uint64_t kSettingsLimit = 64 * 1024;

bool IsAbsolute(std::string_view path, HostSystem system) {
    if (system == HostSystem::Linux) return path.starts_with('/');
    return path.starts_with('/') || path.starts_with('\\') || (path.size() >= 2 && path[1] == ':');
}

}  // namespace

std::variant<SettingsPlace, Failure> LocateSettings(const Options& options, SystemPort& system) {
    Result<std::string> directory = system.CurrentDirectory();
    const bool absolute = options.iniFile && IsAbsolute(*options.iniFile, system.System());
    if (!absolute) {
        if (!directory.ok())
            return Failure{kBadSettings, texts::DescribeCurrentDirectoryFailure(directory.error())};
    }
    if (!options.iniFile) {
        std::string path = SettingsPathIn(system, directory.value());
        if (path.empty())
            return Failure{kBadSettings, texts::DescribeCurrentDirectoryFailure(
                                             SystemError{ErrorKind::TooLong, 0, {}})};
        return SettingsPlace{path, directory.value()};
    }
    // The name is the user's own, in the system's own terms: not a settings
    // fragment with Windows separators.
    const bool onLinux = system.System() == HostSystem::Linux;
    std::string path = *options.iniFile;
    if (!absolute && onLinux)
        path = directory.value() + (directory.value().ends_with('/') ? "" : "/") + path;
    else if (!absolute)
        path = system.JoinPath(directory.value(), "\\" + path);
    const std::size_t slash = path.find_last_of(onLinux ? "/" : "/\\");
    std::string base = path.substr(0, slash == 0 ? 1 : slash);
    return SettingsPlace{path, base};
}

std::variant<UpdateSettings, Failure> LoadSettings(SystemPort& system, const std::string& path) {
    // The reader takes a missing file for missing values; say which it is.
    if (system.IsFolder(path)) return Failure{kBadSettings, texts::DescribeSettingsFolder(path)};
    Result<std::unique_ptr<ReadableFile>> file = system.OpenForRead(path, ReadCaching::Normal);
    if (!file.ok())
        return Failure{kBadSettings, texts::DescribeSettingsUnreadable(path, file.error())};
    if (file.value()->Size() > kSettingsLimit)
        return Failure{kBadSettings, texts::DescribeSettingsTooLarge(path, kSettingsLimit)};
    UpdateSettings settings = ReadUpdateSettings(system, path);
    if (settings.hardwareId == texts::kSettingMissing)
        return Failure{kBadSettings, texts::DescribeSettingsWithoutCamera(path)};
    if (std::optional<std::string> missing = MissingFolderSettings(settings))
        return Failure{kBadSettings, *missing};
    return settings;
}

}  // namespace orvane::cli
