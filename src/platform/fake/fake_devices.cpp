// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The fake's devices and drives.
#include <algorithm>

#include "platform/fake/fake_common.h"
#include "platform/fake/fake_platform.h"

namespace orvane::fake {

DeviceReport FakePlatform::DefaultMachine() {
    DeviceReport machine;
    for (const char* letter : {"A", "C", "D"})
        machine.layout.drives.push_back(DriveOnDisk{letter, {}});
    return machine;
}

namespace {

bool HasWindowsFacts(const DeviceReport& tree) {
    return !tree.nodes.empty() || !tree.disks.empty() || !tree.letters.empty();
}

}  // namespace

std::optional<std::string> FakePlatform::LoadTree(std::string_view text) {
    auto read = ReadDeviceReport(text);
    if (const auto* why = std::get_if<std::string>(&read)) return *why;
    tree = std::move(std::get<DeviceReport>(read));
    system = tree.system;
    for (const std::string& drive : tree.destinationOn)
        folders.insert(StripSeparator(JoinPath(DriveRoot(drive), "\\FIRMWARE\\")));
    return std::nullopt;
}

std::vector<std::string> FakePlatform::Drives() const {
    std::vector<std::string> letters;
    if (HasWindowsFacts(tree)) {
        for (const DeviceReport::Letter& letter : tree.letters)
            letters.push_back(letter.letter.letter);
        return letters;
    }
    for (const DriveOnDisk& drive : tree.layout.drives) letters.push_back(drive.drive);
    return letters;
}

DriveOnDisk& FakePlatform::Drive(const std::string& letter) {
    for (DriveOnDisk& drive : tree.layout.drives) {
        if (drive.drive == letter) return drive;
    }
    return tree.layout.drives.emplace_back(DriveOnDisk{letter, {}});
}

void FakePlatform::SetDrives(const std::vector<std::string>& letters) {
    std::vector<DriveOnDisk> drives;
    for (const std::string& letter : letters) drives.push_back(Drive(letter));
    tree.layout.drives = std::move(drives);
}

void FakePlatform::Plug(std::vector<std::string> hardwareIds, std::string instance) {
    tree.usbDevices.push_back(UsbDevice{std::move(hardwareIds), std::move(instance), {}});
}

std::vector<UsbDevice> FakePlatform::PresentUsbDevices() {
    Log("PresentUsbDevices");
    return tree.usbDevices;
}

std::vector<std::string> FakePlatform::LogicalDrives() {
    Log("LogicalDrives");
    return Drives();
}

Result<StorageLayout> FakePlatform::StorageLayoutOfDrives() {
    Log("StorageLayoutOfDrives");
    if (layoutError) return *layoutError;
    if (HasWindowsFacts(tree)) {
        ReportSource source(tree);
        return WalkDeviceTree(source);
    }
    return tree.layout;
}

DriveRefusal FakePlatform::CheckDrive(std::string_view drive) {
    Log("CheckDrive " + std::string(drive));
    const std::vector<std::string> drives = Drives();
    if (std::find(drives.begin(), drives.end(), drive) == drives.end()) return DriveRefusal::Gone;
    auto it = refusals.find(std::string(drive));
    return it == refusals.end() ? DriveRefusal::None : it->second;
}

std::variant<MountedVolume, MountFailure> FakePlatform::FakeMounter::Mount(
    std::string_view diskName) {
    platform_.Log("MountVolume " + std::string(diskName));
    if (platform_.mountFailure) return MountFailure{*platform_.mountFailure, {}};
    for (const StorageDisk& disk : platform_.tree.layout.disks) {
        if (disk.name == diskName) platform_.Drive(platform_.mountedDrive).diskId = disk.id;
    }
    return MountedVolume{std::string(diskName), platform_.mountedDrive};
}

}  // namespace orvane::fake
