// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Recognising the camera among the present USB devices, and its storage.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "device/device_storage.h"
#include "device/near_miss.h"
#include "port/system_port.h"

namespace orvane {

// The first present device whose first hardware ID is `hardwareId`, case
// aside; a list that could not be read is never compared.
std::optional<UsbDevice> FindCamera(SystemPort& system, std::string_view hardwareId);

// Every present device that FindCamera would take, in the system's order.
std::vector<UsbDevice> FindCameras(SystemPort& system, std::string_view hardwareId);

// The storage of the device `deviceInstance` now. Where the system relates
// no drive to any device, the last drive of all stands in for it. Of several
// drives of the camera, one that holds the destination folder `destPath`
// (the DestPath value) wins.
DeviceStorage ResolveCameraStorage(SystemPort& system, std::string_view deviceInstance,
                                   std::string_view destPath);

// The camera and its storage, as one look at the system found them.
struct CameraSight {
    std::optional<UsbDevice> camera;  // nothing: no such device is present
    DeviceStorage storage;            // the camera's, when it is there
    // No camera: the devices that come close to it, to say why.
    std::vector<NearMiss> nearMisses;
};

// FindCamera and then ResolveCameraStorage, as one question to the system.
// With `which`, that one camera of several: the device with its identity
// and arrival, or nothing when it has gone.
CameraSight LookAtCamera(SystemPort& system, std::string_view hardwareId, std::string_view destPath,
                         const std::optional<UsbDevice>& which = std::nullopt);

}  // namespace orvane
