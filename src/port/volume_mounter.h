// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The port's mount side: mounting the camera's volume where no desktop does
// it, and unmounting it and powering the camera off once the update is done,
// through a service of the system (UDisks2 on Linux; Windows mounts by itself
// and only ejects). The core only sees this interface.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace orvane {

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

// Why the system would not let a device go, as Windows says it.
enum class EjectVeto {
    None,
    OpenFiles,     // a program still has a file or the volume open
    Program,       // a program refused
    Service,       // a service refused
    PendingClose,  // a file on it is still being closed
    Driver,        // a device or its driver refused
    NotRemovable,  // it cannot be removed while the system runs
    NoRights,      // this account may not remove it
    Gone,          // it was already removed
    Unknown,       // the system gave no reason
};

struct EjectResult {
    bool unmounted = false;
    // Powered off; false without a failure where there was nothing to power
    // off (a loop device) or the drive cannot be.
    bool poweredOff = false;
    // What stopped it: the unmount while `unmounted` is false, the power-off after.
    std::optional<MountFailure> failure;
    // The system ejects the device itself, volume and all (Windows), rather
    // than a service unmounting and powering off (UDisks2).
    bool bySystem = false;
    // bySystem: why the system refused, where it did.
    EjectVeto veto = EjectVeto::None;
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
    // (Windows) only ejects. Never blocks.
    virtual bool Mounts() const { return true; }
    // Unmounts the volume mounted at `mountPoint`, then powers off the drive
    // it lies on, so that it can be unplugged; `device` is the camera's USB
    // device (UsbDevice::instance), where the system ejects by device. What
    // failed, and what the system said, comes back in the result. May block
    // while the system asks whoever holds the volume.
    virtual EjectResult Eject(std::string_view mountPoint, std::string_view device) = 0;
};

}  // namespace orvane
