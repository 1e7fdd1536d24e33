// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// CM_Request_Device_EjectW on the camera's device node: with a place for the
// veto, the system asks no one and says who refused.
#include "platform/win32/cli_eject.h"

#include <cstdio>
#include <string>

#include "platform/win32/wide_text.h"
#include "platform/win32/win32_api.h"

namespace orvane::win32 {

namespace {

std::string VetoReason(PNP_VETO_TYPE veto) {
    switch (veto) {
        case PNP_VetoOutstandingOpen:
            return "a program still has a file or the volume open";
        case PNP_VetoWindowsApp:
            return "a program refused";
        case PNP_VetoWindowsService:
            return "a service refused";
        case PNP_VetoPendingClose:
            return "a file on it is still being closed";
        case PNP_VetoDevice:
        case PNP_VetoDriver:
        case PNP_VetoLegacyDevice:
        case PNP_VetoLegacyDriver:
            return "a device or its driver refused";
        case PNP_VetoNonDisableable:
            return "the device cannot be removed while the system runs";
        case PNP_VetoInsufficientRights:
            return "this account may not remove it";
        case PNP_VetoAlreadyRemoved:
            return "it was already removed";
        default:
            return "the system gave no reason";
    }
}

std::string Hex(unsigned long value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%lx", value);
    return text;
}

}  // namespace

std::variant<cli::MountedVolume, cli::MountFailure> DeviceEjector::Mount(std::string_view) {
    return cli::MountFailure{cli::MountFailure::Kind::NoService, "Windows mounts volumes itself"};
}

cli::EjectResult DeviceEjector::Eject(std::string_view mountPoint, std::string_view device) {
    // A drive letter as its user knows it.
    const std::string volume = std::string(mountPoint) + (mountPoint.size() == 1 ? ":" : "");
    const std::string yourself =
        "The update files are on the camera, but use Safely Remove "
        "Hardware on " +
        volume + " before you unplug it.";
    cli::EjectResult result;
    auto failed = [&](const std::string& why) {
        result.failure = cli::MountFailure{cli::MountFailure::Kind::Failed, why};
        result.said = "Could not eject the camera (" + volume + "): " + why + ".\n" + yourself;
        return result;
    };
    if (device.empty()) return failed("the system did not say which device the camera is");
    std::wstring id = Wide(device);
    DEVINST node = 0;
    const CONFIGRET located = CM_Locate_DevNodeW(&node, id.data(), CM_LOCATE_DEVNODE_NORMAL);
    if (located != CR_SUCCESS)
        return failed("the system does not find its device " + std::string(device) +
                      " (CONFIGRET " + Hex(located) + ")");
    PNP_VETO_TYPE veto = PNP_VetoTypeUnknown;
    wchar_t vetoName[MAX_PATH] = {};
    const CONFIGRET asked = CM_Request_Device_EjectW(node, &veto, vetoName, MAX_PATH, 0);
    if (asked == CR_SUCCESS && veto == PNP_VetoTypeUnknown) {
        result.unmounted = true;
        result.poweredOff = true;
        result.said = "Windows ejected the camera (" + volume + "): it can be unplugged.";
        return result;
    }
    std::string why = "Windows refused: " + VetoReason(veto);
    if (vetoName[0] != L'\0') why += " (" + Utf8(vetoName) + ")";
    if (asked != CR_SUCCESS) why += ", CONFIGRET " + Hex(asked);
    return failed(why);
}

}  // namespace orvane::win32
