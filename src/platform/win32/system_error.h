// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Turning a Win32 error code into the port's error kinds and the system's text.
#pragma once

#include "port/system_port.h"

namespace orvane::win32 {

// The port's kind for a GetLastError code. Pure, so it is tested off Windows.
ErrorKind KindOfError(unsigned long code);

#ifdef _WIN32
// The error `code` with the system's own description of it (FormatMessageW),
// in UTF-8.
SystemError MakeSystemError(unsigned long code);
// The calling thread's last error.
SystemError LastSystemError();
#endif

}  // namespace orvane::win32
