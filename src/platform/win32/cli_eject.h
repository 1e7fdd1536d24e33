// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Ejecting the camera from the Windows command line: the system is asked to
// remove the camera's USB device, as "Safely Remove Hardware" does. Windows
// mounts volumes itself, so there is nothing to mount.
#pragma once

#include "port/volume_mounter.h"

namespace orvane::win32 {

class DeviceEjector : public VolumeMounter {
  public:
    std::variant<MountedVolume, MountFailure> Mount(std::string_view diskName) override;
    bool Mounts() const override { return false; }
    // `device` is the camera's device instance ID; `mountPoint` its drive,
    // for the words.
    EjectResult Eject(std::string_view mountPoint, std::string_view device) override;
};

}  // namespace orvane::win32
