// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The program's threads, held from outside as a device that stops answering
// holds them: Wine cannot hang a device safely (a hung folder may stall Wine
// itself), but a suspended thread looks the same to the program.
#pragma once

#include <vector>

#include "platform/win32/win32_api.h"

namespace orvane::e2e {

// The threads of process `pid` now.
std::vector<DWORD> ThreadsOf(DWORD pid);

// Suspends every thread of `pid` that is not in `earlier`; how many.
unsigned SuspendThreadsSince(DWORD pid, const std::vector<DWORD>& earlier);

}  // namespace orvane::e2e
