// Recognising the camera among the present USB devices, and its drive.
#include "device/hardware_id.h"
#include "ui/updater_dialog.h"

namespace orvane {

void CUpdaterDialog::ScanForCamera() {
    for (const UsbDevice& device : m_platform.PresentUsbDevices()) {
        // A list that could not be read is never compared.
        if (!device.hardwareIds || device.hardwareIds->empty()) continue;
        // Only the first, most specific ID counts: the configured value must
        // carry the revision part to match.
        if (!HardwareIdsEqual(device.hardwareIds->front(), m_hardwareId)) continue;

        m_platform.StopTimer(m_timerId);
        m_deviceFound = 1;
        m_driveLetter = ResolveCameraDrive();
        return;
    }
}

std::string CUpdaterDialog::ResolveCameraDrive() {
    // The last drive in use is taken as the camera's: the one attached last
    // is usually the highest letter.
    std::vector<std::string> drives = m_platform.LogicalDrives();
    if (drives.empty()) return {};
    return drives.back();
}

}  // namespace orvane
