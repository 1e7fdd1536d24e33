// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// What a Windows device instance ID says of a USB device.
#pragma once

#include <string>
#include <string_view>

namespace orvane::win32 {

// The USB serial number in a device instance ID ("USB\VID_04DA&PID_2372\SERIAL"),
// kept to printable ASCII without blanks, as it ends up in logs; empty when the
// ID is not of that form or its last part is one the system made up for a
// device without a serial number (such a part holds '&'). Pure, so it is
// tested off Windows.
std::string UsbSerialFromInstanceId(std::string_view instanceId);

}  // namespace orvane::win32
