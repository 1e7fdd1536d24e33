// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Why the camera is not found: connected devices that come close to it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "port/system_port.h"

namespace orvane {

// The numbers of a USB hardware ID, USB\VID_vvvv&PID_pppp&REV_rrrr, as
// upper-case hexadecimal text; `revision` is empty for an ID without one.
struct UsbIdentity {
    std::string vendor;
    std::string product;
    std::string revision;
};

// The numbers of `id`; nothing when it is not a USB hardware ID.
std::optional<UsbIdentity> ParseUsbHardwareId(std::string_view id);

struct NearMiss {
    enum class Kind {
        OtherRevision,  // the camera's vendor and product at another revision
        OtherProduct,   // the camera's vendor, another product: another USB mode
    };
    Kind kind = Kind::OtherRevision;
    UsbIdentity found;
};

// The present devices that match `wanted` (the PID_VID value) in vendor but
// not as a whole, other revisions first, each identity once, in the order
// of `devices`. Nothing when `wanted` is not a USB hardware ID.
std::vector<NearMiss> FindNearMisses(std::string_view wanted,
                                     const std::vector<UsbDevice>& devices);

}  // namespace orvane
