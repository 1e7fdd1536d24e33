// Reading FirmWare.ini from the current working directory.
#include "ui/texts.h"
#include "ui/updater_dialog.h"

namespace orvane {

void CUpdaterDialog::BuildSettingsPath() {
    m_iniPath.clear();
    Result<std::string> directory = m_platform.CurrentDirectory();
    if (!directory.ok()) return;
    std::string path = m_platform.JoinPath(directory.value(), texts::kSettingsFileName);
    // The path lives in a 260-byte buffer: one that does not fit is not formed
    // at all rather than cut to a different file's name.
    if (directory.value().size() > kMaxPathChars || path.size() > kMaxPathChars) return;
    m_iniPath = std::move(path);
}

int CUpdaterDialog::ReadSettings() {
    auto read = [this](std::string_view section, std::string_view key) {
        if (m_iniPath.empty()) return std::string(texts::kSettingMissing);
        std::string value = m_platform.ReadProfileString(section, key, texts::kSettingMissing,
                                                         kPathBufferSize, m_iniPath);
        if (value.size() > kMaxPathChars) value.resize(kMaxPathChars);
        return value;
    };
    m_hardwareId = read("PID_VID", "PID_VID");
    m_srcPath = read("SrcPath", "Path");
    m_destPath = read("DestPath", "Path");
    return 1;
}

}  // namespace orvane
