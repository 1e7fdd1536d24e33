// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Reading the serial number out of a USB device's instance ID.
#include "platform/win32/instance_id.h"

#include "port/ascii.h"

namespace orvane::win32 {

std::string UsbSerialFromInstanceId(std::string_view instanceId) {
    // Enumerator, device ID, instance: exactly three parts.
    const std::size_t first = instanceId.find('\\');
    const std::size_t last = instanceId.rfind('\\');
    if (first == std::string_view::npos || first == last ||
        !EqualIgnoringAsciiCase(instanceId.substr(0, first), "USB") ||
        instanceId.find('\\', first + 1) != last)
        return {};
    const std::string_view instance = instanceId.substr(last + 1);
    if (instance.find('&') != std::string_view::npos) return {};
    std::string serial;
    for (const char c : instance) {
        if (c > ' ' && c < 0x7f) serial += c;
    }
    return serial;
}

}  // namespace orvane::win32
