// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Which drives hold the storage of one USB device.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "port/system_port.h"

namespace orvane {

// The drives of `layout`, in its order, that lie on a disk hanging (at any
// depth) below the device whose identity is `device`. An empty identity has
// no drives.
std::vector<std::string> DrivesBelowDevice(const StorageLayout& layout, std::string_view device);

// Whether any drive of `layout` can be related to a device at all. Where none
// can (a system that does not say), a device's own drives cannot be told.
bool RelatesDrivesToDevices(const StorageLayout& layout);

// What a device's storage amounts to at one moment.
struct DeviceStorage {
    enum class State {
        Drive,       // `drive` is the volume to write to
        NotMounted,  // disks with a medium below the device, but no drive on them yet
        NoMedium,    // disks or drives below the device, none holding a medium
        NoStorage,   // no disk below the device at all
        // A disk below the device, or a drive that may lie on one, did not
        // answer within a ceiling: the camera is hung or still waking.
        NotAnswering,
    };
    State state = State::NoStorage;
    std::string drive;
    // NotMounted: the name of the disk that would get the drive, for the user.
    std::string diskName;
    // Drive: the system relates the drive to the device; false where the
    // last drive of all stands in for it.
    bool proven = false;
};

// The storage below `device`. Of several drives, one that `holdsDestination`
// says already holds the destination folder wins, then one with a medium;
// among equals the last in the order of logical unit, then partition, so
// that the order of mounting never decides. `holdsDestination` is asked only
// when there is a choice to make.
DeviceStorage StorageBelowDevice(const StorageLayout& layout, std::string_view device,
                                 const std::function<bool(const std::string&)>& holdsDestination);

// The storage of `device` in `layout`; where the layout relates no drive to
// any device, the last of `drives` stands in for it (an empty list gives an
// empty drive, which is never written to).
DeviceStorage ChooseCameraStorage(const StorageLayout& layout,
                                  const std::vector<std::string>& drives, std::string_view device,
                                  const std::function<bool(const std::string&)>& holdsDestination);

}  // namespace orvane
