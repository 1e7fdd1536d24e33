// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// CM_Request_Device_EjectW on the camera's device node: with a place for the
// veto, the system asks no one and says who refused; the words are the
// texts' (DescribeEject).
#include "platform/win32/cli_eject.h"

#include <cstdio>
#include <string>

#include "platform/win32/wide_text.h"
#include "platform/win32/win32_api.h"

namespace orvane::win32 {

namespace {

EjectVeto VetoOf(PNP_VETO_TYPE veto) {
    switch (veto) {
        case PNP_VetoOutstandingOpen:
            return EjectVeto::OpenFiles;
        case PNP_VetoWindowsApp:
            return EjectVeto::Program;
        case PNP_VetoWindowsService:
            return EjectVeto::Service;
        case PNP_VetoPendingClose:
            return EjectVeto::PendingClose;
        case PNP_VetoDevice:
        case PNP_VetoDriver:
        case PNP_VetoLegacyDevice:
        case PNP_VetoLegacyDriver:
            return EjectVeto::Driver;
        case PNP_VetoNonDisableable:
            return EjectVeto::NotRemovable;
        case PNP_VetoInsufficientRights:
            return EjectVeto::NoRights;
        case PNP_VetoAlreadyRemoved:
            return EjectVeto::Gone;
        default:
            return EjectVeto::Unknown;
    }
}

std::string Hex(unsigned long value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%lx", value);
    return text;
}

}  // namespace

std::variant<MountedVolume, MountFailure> DeviceEjector::Mount(std::string_view) {
    return MountFailure{MountFailure::Kind::NoService, {}};
}

EjectResult DeviceEjector::Eject(std::string_view, std::string_view device) {
    EjectResult result;
    result.bySystem = true;
    // The system did not say which device the camera is.
    if (device.empty()) {
        result.failure = MountFailure{MountFailure::Kind::NotKnown, {}};
        return result;
    }
    std::wstring id = Wide(device);
    DEVINST node = 0;
    const CONFIGRET located = CM_Locate_DevNodeW(&node, id.data(), CM_LOCATE_DEVNODE_NORMAL);
    if (located != CR_SUCCESS) {
        result.failure = MountFailure{MountFailure::Kind::NotKnown,
                                      std::string(device) + " (CONFIGRET " + Hex(located) + ")"};
        return result;
    }
    PNP_VETO_TYPE veto = PNP_VetoTypeUnknown;
    wchar_t vetoName[MAX_PATH] = {};
    const CONFIGRET asked = CM_Request_Device_EjectW(node, &veto, vetoName, MAX_PATH, 0);
    if (asked == CR_SUCCESS && veto == PNP_VetoTypeUnknown) {
        result.unmounted = true;
        result.poweredOff = true;
        return result;
    }
    // The veto's own name (a program, a service, a device) and the code, as
    // the system gave them.
    std::string detail = vetoName[0] != L'\0' ? Utf8(vetoName) : std::string();
    if (asked != CR_SUCCESS) detail += (detail.empty() ? "" : ", ") + ("CONFIGRET " + Hex(asked));
    result.failure = MountFailure{MountFailure::Kind::Failed, detail};
    result.veto = VetoOf(veto);
    return result;
}

}  // namespace orvane::win32
