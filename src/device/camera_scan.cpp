// Recognising the camera among the present USB devices, and its drive.
#include "device/device_storage.h"
#include "device/hardware_id.h"
#include "ui/updater_dialog.h"

namespace orvane {

std::optional<UsbDevice> CUpdaterDialog::FindCamera() {
    for (UsbDevice& device : m_platform.PresentUsbDevices()) {
        // A list that could not be read is never compared.
        if (!device.hardwareIds || device.hardwareIds->empty()) continue;
        // Only the first, most specific ID counts: the configured value must
        // carry the revision part to match.
        if (HardwareIdsEqual(device.hardwareIds->front(), m_hardwareId)) return std::move(device);
    }
    return std::nullopt;
}

void CUpdaterDialog::ScanForCamera() {
    std::optional<UsbDevice> camera = FindCamera();
    if (!camera) return;
    m_platform.StopTimer(m_timerId);
    m_deviceFound = 1;
    // The drive is not taken here: the camera's volume often gets its drive
    // seconds after the device appears. "UpDate" chooses it.
    m_deviceInstance = std::move(camera->instance);
}

std::string CUpdaterDialog::ResolveCameraDrive() {
    // The system can usually say which volumes lie on the camera's own disk;
    // the last of them is the camera's drive, wherever it stands among all.
    Result<StorageLayout> layout = m_platform.StorageLayoutOfDrives();
    if (layout.ok()) {
        std::vector<std::string> own = DrivesBelowDevice(layout.value(), m_deviceInstance);
        if (!own.empty()) return own.back();
    }
    // Otherwise (no walkable tree, a volume not mounted yet) the last drive
    // in use is taken: the one attached last is usually the highest letter.
    // The drive check still stands between it and the transfer.
    std::vector<std::string> drives = m_platform.LogicalDrives();
    if (drives.empty()) return {};
    return drives.back();
}

}  // namespace orvane
