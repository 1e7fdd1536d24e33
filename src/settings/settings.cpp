// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Reading FirmWare.ini.
#include "settings/settings.h"

#include <vector>

#include "texts/texts.h"
#include "ui/updater_dialog.h"

namespace orvane {

std::string SettingsPathIn(SystemPort& system, std::string_view folder) {
    std::string path = system.JoinPath(folder, texts::kSettingsFileName);
    // The path lives in a 260-byte buffer: one that does not fit is not formed
    // at all rather than cut to a different file's name.
    if (folder.size() > kMaxPathChars || path.size() > kMaxPathChars) return {};
    return path;
}

UpdateSettings ReadUpdateSettings(SystemPort& system, std::string_view iniPath) {
    auto read = [&](std::string_view section, std::string_view key) {
        if (iniPath.empty()) return std::string(texts::kSettingMissing);
        std::string value = system.ReadProfileString(section, key, texts::kSettingMissing,
                                                     kPathBufferSize, iniPath);
        if (value.size() > kMaxPathChars) value.resize(kMaxPathChars);
        return value;
    };
    UpdateSettings settings;
    settings.hardwareId = read("PID_VID", "PID_VID");
    settings.srcPath = read("SrcPath", "Path");
    settings.destPath = read("DestPath", "Path");
    return settings;
}

std::optional<std::string> MissingFolderSettings(const UpdateSettings& settings) {
    std::vector<std::string> sections;
    if (settings.srcPath == texts::kSettingMissing) sections.emplace_back("SrcPath");
    if (settings.destPath == texts::kSettingMissing) sections.emplace_back("DestPath");
    if (sections.empty()) return std::nullopt;
    return texts::DescribeMissingSettings(sections);
}

// The dialog reads the file from the current working directory.

void CUpdaterDialog::BuildSettingsPath() {
    m_iniPath.clear();
    Result<std::string> directory = m_platform.CurrentDirectory();
    if (!directory.ok()) return;
    m_iniPath = SettingsPathIn(m_platform, directory.value());
}

int CUpdaterDialog::ReadSettings() {
    UpdateSettings settings = ReadUpdateSettings(m_platform, m_iniPath);
    m_hardwareId = std::move(settings.hardwareId);
    m_srcPath = std::move(settings.srcPath);
    m_destPath = std::move(settings.destPath);
    return 1;
}

}  // namespace orvane
