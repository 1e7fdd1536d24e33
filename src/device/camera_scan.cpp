// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Recognising the camera among the present USB devices, and its drive.
#include "device/camera_scan.h"

#include "device/hardware_id.h"
#include "port/ascii.h"
#include "settings/folder_values.h"
#include "ui/updater_dialog.h"

namespace orvane {

namespace {

bool IsCamera(const UsbDevice& device, std::string_view hardwareId) {
    // A list that could not be read is never compared.
    if (!device.hardwareIds || device.hardwareIds->empty()) return false;
    // Only the first, most specific ID counts: the configured value must
    // carry the revision part to match.
    return HardwareIdsEqual(device.hardwareIds->front(), hardwareId);
}

}  // namespace

std::optional<UsbDevice> FindCamera(SystemPort& system, std::string_view hardwareId) {
    for (UsbDevice& device : system.PresentUsbDevices()) {
        if (IsCamera(device, hardwareId)) return std::move(device);
    }
    return std::nullopt;
}

std::vector<UsbDevice> FindCameras(SystemPort& system, std::string_view hardwareId) {
    std::vector<UsbDevice> cameras;
    for (UsbDevice& device : system.PresentUsbDevices()) {
        if (IsCamera(device, hardwareId)) cameras.push_back(std::move(device));
    }
    return cameras;
}

DeviceStorage ResolveCameraStorage(SystemPort& system, std::string_view deviceInstance,
                                   std::string_view destPath) {
    // Where the system says which drives lie on which device, the camera's
    // storage is its own drives and nothing else: a drive of another device
    // is never taken for it, even while the camera's has not appeared yet.
    Result<StorageLayout> layout = system.StorageLayoutOfDrives();
    if (layout.ok() && RelatesDrivesToDevices(layout.value())) {
        const std::string folder = DestinationFolderFragment(destPath);
        return ChooseCameraStorage(
            layout.value(), {}, deviceInstance, [&](const std::string& drive) {
                return system.IsFolder(system.JoinPath(system.DriveRoot(drive), folder));
            });
    }
    // Where it cannot (no walkable tree; a system that does not say), the
    // last drive in use is taken: the one attached last is usually the
    // highest letter. The drive check stands between it and the transfer.
    return ChooseCameraStorage(StorageLayout{}, system.LogicalDrives(), deviceInstance, {});
}

CameraSight LookAtCamera(SystemPort& system, std::string_view hardwareId, std::string_view destPath,
                         const std::optional<UsbDevice>& which) {
    CameraSight sight;
    std::vector<UsbDevice> devices = system.PresentUsbDevices();
    for (UsbDevice& device : devices) {
        if (!IsCamera(device, hardwareId)) continue;
        if (which && (!EqualIgnoringAsciiCase(device.instance, which->instance) ||
                      device.arrival != which->arrival))
            continue;
        sight.camera = std::move(device);
        break;
    }
    if (sight.camera)
        sight.storage = ResolveCameraStorage(system, sight.camera->instance, destPath);
    else if (!which)
        sight.nearMisses = FindNearMisses(hardwareId, devices);
    return sight;
}

// The dialog's scan.

void CUpdaterDialog::ScanForCamera() {
    // One scan at a time: another would only be held by the same device.
    if (m_scanOut) {
        m_scanAgain = true;
        return;
    }
    m_scanOut = true;
    m_scanAgain = false;
    ++m_queriesOut;
    Platform& platform = m_platform;
    m_platform.RunDeviceQuery([this, &platform, hardwareId = m_hardwareId] {
        std::optional<UsbDevice> camera = orvane::FindCamera(platform, hardwareId);
        platform.PostToUi([this, camera = std::move(camera)] { OnScanned(camera); });
    });
}

void CUpdaterDialog::OnScanned(const std::optional<UsbDevice>& camera) {
    --m_queriesOut;
    m_scanOut = false;
    if (m_leaveResult) {
        FinishLeaving();
        return;
    }
    if (m_deviceFound != 0 || Busy()) return;
    if (!camera) {
        if (m_scanAgain) ScanForCamera();
        return;
    }
    m_platform.StopTimer(m_timerId);
    m_deviceFound = 1;
    m_cameraSeenAt = m_platform.Now();
    // The drive is not taken here: the camera's volume often gets its drive
    // seconds after the device appears. "UpDate" chooses it.
    m_deviceInstance = camera->instance;
}

}  // namespace orvane
