// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The one place the Windows program includes the system's headers, with the
// settings and MinGW-w64 shims every Win32 file of ours needs.
#pragma once

#ifndef _WIN32
#error "src/platform/win32 builds only for Windows"
#endif

// The port first: it declares IDOK and IDCANCEL as constants, which
// <windows.h> defines as macros of the same values.
#include "port/dialog_port.h"

// Before <windows.h>: no min/max macros to clash with the standard library,
// and nothing of COM/OLE. Our files call the W functions by their full names
// (paths and texts are UTF-16 to the system, UTF-8 to the core); the plain
// names stay ANSI so that a call without its suffix stands out.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#undef UNICODE
#undef _UNICODE

#include <windows.h>
// <windows.h> first: these depend on its types.
#include <cfgmgr32.h>
#include <commctrl.h>
#include <dbt.h>
#include <ntddscsi.h>
#include <setupapi.h>
#include <winioctl.h>

#include <cstdint>

namespace orvane::win32 {

// The USB device interface class. Spelt out here because MinGW's
// <usbiodef.h> defines it through DEFINE_GUID, which needs <initguid.h> in
// exactly one translation unit and a matching library otherwise.
inline constexpr GUID kUsbDeviceInterfaceClass = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

// The disk device interface class, {53F56307-B6BF-11D0-94F2-00A0C91EFB8B},
// spelt out for the same reason.
inline constexpr GUID kDiskInterfaceClass = {
    0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

// MAKEINTRESOURCEW is an old-style cast in a macro from a system header; the
// same conversion spelt out keeps -Wold-style-cast quiet in our files.
inline LPCWSTR ResourceId(unsigned id) {
    return reinterpret_cast<LPCWSTR>(static_cast<std::uintptr_t>(static_cast<WORD>(id)));
}

}  // namespace orvane::win32
