// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Matching drives to the device they belong to, over plain data.
#include "device/device_storage.h"

#include <algorithm>
#include <set>
#include <tuple>

#include "port/ascii.h"

namespace orvane {

namespace {

// Windows takes instance IDs without regard to case, and its APIs do not
// agree on it: one spells a made-up serial "5&2E24097&0&2", another
// "5&2e24097&0&2". No two sysfs folders differ in case alone.
bool HangsBelow(const StorageDisk& disk, std::string_view device) {
    return !device.empty() && std::any_of(disk.ancestors.begin(), disk.ancestors.end(),
                                          [device](const std::string& ancestor) {
                                              return EqualIgnoringAsciiCase(ancestor, device);
                                          });
}

const StorageDisk* FindDisk(const StorageLayout& layout, std::string_view id) {
    if (id.empty()) return nullptr;
    for (const StorageDisk& disk : layout.disks) {
        if (disk.id == id) return &disk;
    }
    return nullptr;
}

struct OwnDrive {
    const DriveOnDisk* drive;
    const StorageDisk* disk;

    bool HasMedium() const { return drive->hasMedium && disk->hasMedium; }
    // The drive's name comes last only so that two drives the system cannot
    // tell apart are still taken in a fixed order.
    auto Order() const {
        return std::make_tuple(disk->unit, disk->partition, drive->partition,
                               std::string_view(drive->drive));
    }
};

}  // namespace

std::vector<std::string> DrivesBelowDevice(const StorageLayout& layout, std::string_view device) {
    std::vector<std::string> drives;
    if (device.empty()) return drives;
    std::set<std::string, std::less<>> disks;
    for (const StorageDisk& disk : layout.disks) {
        if (HangsBelow(disk, device)) disks.insert(disk.id);
    }
    for (const DriveOnDisk& drive : layout.drives) {
        if (!drive.diskId.empty() && disks.count(drive.diskId) != 0) drives.push_back(drive.drive);
    }
    return drives;
}

bool RelatesDrivesToDevices(const StorageLayout& layout) {
    return std::any_of(layout.drives.begin(), layout.drives.end(), [&](const DriveOnDisk& drive) {
        const StorageDisk* disk = FindDisk(layout, drive.diskId);
        return disk != nullptr && !disk->ancestors.empty();
    });
}

DeviceStorage StorageBelowDevice(const StorageLayout& layout, std::string_view device,
                                 const std::function<bool(const std::string&)>& holdsDestination) {
    using State = DeviceStorage::State;
    std::vector<const StorageDisk*> disks;
    for (const StorageDisk& disk : layout.disks) {
        if (HangsBelow(disk, device)) disks.push_back(&disk);
    }
    const bool diskHung = std::any_of(disks.begin(), disks.end(),
                                      [](const StorageDisk* disk) { return !disk->answering; });

    std::vector<OwnDrive> own;
    for (const DriveOnDisk& drive : layout.drives) {
        const StorageDisk* disk = FindDisk(layout, drive.diskId);
        if (disk != nullptr && HangsBelow(*disk, device) && !drive.drive.empty())
            own.push_back(OwnDrive{&drive, disk});
    }
    const auto later = [](const OwnDrive& a, const OwnDrive& b) { return a.Order() < b.Order(); };

    if (!own.empty()) {
        // An empty card slot keeps its drive letter on Windows; nothing can
        // be written there.
        std::erase_if(own, [](const OwnDrive& candidate) { return !candidate.HasMedium(); });
        if (own.empty())
            return DeviceStorage{diskHung ? State::NotAnswering : State::NoMedium, {}, {}};
        if (own.size() > 1 && holdsDestination) {
            std::vector<OwnDrive> holding;
            std::copy_if(own.begin(), own.end(), std::back_inserter(holding),
                         [&](const OwnDrive& candidate) {
                             return holdsDestination(candidate.drive->drive);
                         });
            if (!holding.empty()) own = std::move(holding);
        }
        const OwnDrive& chosen = *std::max_element(own.begin(), own.end(), later);
        return DeviceStorage{State::Drive, chosen.drive->drive, {}, true};
    }

    if (disks.empty()) return DeviceStorage{State::NoStorage, {}, {}};
    std::erase_if(disks, [](const StorageDisk* disk) { return !disk->hasMedium; });
    if (disks.empty())
        return DeviceStorage{diskHung ? State::NotAnswering : State::NoMedium, {}, {}};
    // A drive that did not answer may be the one on the camera's disk: no
    // wait for a drive to appear would end differently.
    const bool driveHung = std::any_of(layout.drives.begin(), layout.drives.end(),
                                       [](const DriveOnDisk& drive) { return !drive.answering; });
    if (diskHung || driveHung) return DeviceStorage{State::NotAnswering, {}, {}};
    // The partition that will be mounted comes after its whole disk.
    const StorageDisk* named = *std::max_element(
        disks.begin(), disks.end(), [](const StorageDisk* a, const StorageDisk* b) {
            return std::tie(a->unit, a->partition, a->id) < std::tie(b->unit, b->partition, b->id);
        });
    return DeviceStorage{State::NotMounted, {}, named->name};
}

DeviceStorage ChooseCameraStorage(const StorageLayout& layout,
                                  const std::vector<std::string>& drives, std::string_view device,
                                  const std::function<bool(const std::string&)>& holdsDestination) {
    if (RelatesDrivesToDevices(layout)) return StorageBelowDevice(layout, device, holdsDestination);
    return DeviceStorage{DeviceStorage::State::Drive, drives.empty() ? "" : drives.back(), {}};
}

}  // namespace orvane
