// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Mounting the camera's volume where no desktop does it, and unmounting it
// and powering the camera off once the update is done, through a service of
// the system (UDisks2 on Linux). The run only sees this interface.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace orvane::cli {

struct MountFailure {
    enum class Kind {
        NoService,      // the service (or the bus it is on) is not there
        NotAuthorised,  // the system's policy refused it, or nobody was there to confirm
        NotKnown,       // the service knows no such device or volume
        NoFilesystem,   // nothing on the device to mount
        Failed,         // the service tried and failed
        Stopped,        // the program was asked to stop while it waited for the service
    };
    Kind kind = Kind::Failed;
    std::string detail;  // the service's own words, where it gave any
};

struct MountedVolume {
    std::string device;      // the file system's own device ("/dev/sdc1")
    std::string mountPoint;  // where it is now
};

struct EjectResult {
    bool unmounted = false;
    // Powered off; false without a failure where there was nothing to power
    // off (a loop device) or the drive cannot be.
    bool poweredOff = false;
    // What stopped it: the unmount while `unmounted` is false, the power-off after.
    std::optional<MountFailure> failure;
    // What the user is told, where the system's way of ejecting words it
    // itself; empty: DescribeEject says it.
    std::string said;
};

class VolumeMounter {
  public:
    virtual ~VolumeMounter() = default;
    // Mounts the file system on `diskName` ("/dev/sdc1"; of a whole disk, the
    // partition with a file system on it) as a file manager does, as the
    // user: the system's policy decides, and may ask the user. A volume
    // already mounted comes back as it is. May block while the user is asked.
    virtual std::variant<MountedVolume, MountFailure> Mount(std::string_view diskName) = 0;
    // Whether Mount does anything: a system that mounts every volume itself
    // (Windows) only ejects.
    virtual bool Mounts() const { return true; }
    // Unmounts the volume mounted at `mountPoint`, then powers off the drive
    // it lies on, so that it can be unplugged; `device` is the camera's USB
    // device (UsbDevice::instance), where the system ejects by device.
    virtual EjectResult Eject(std::string_view mountPoint, std::string_view device) = 0;
};

// What the user is told when `diskName` could not be mounted: what
// happened, then (on lines of their own) what to do, and that nothing was
// written.
std::string DescribeMountFailure(const MountFailure& failure, std::string_view diskName);

// What the user is told after the update about the eject of `mountPoint`:
// whether the camera can be unplugged now, and if not, what to do first.
std::string DescribeEject(const EjectResult& result, std::string_view mountPoint);

}  // namespace orvane::cli
