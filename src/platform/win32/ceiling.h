// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Questions to a device asked under a ceiling: a hung device costs the asker
// the ceiling once, and a thread left behind, never the asker's thread.
#pragma once

#include <functional>
#include <string>

#include "platform/win32/win32_api.h"

namespace orvane::win32 {

// Runs `question` on a thread of its own and waits for it at most
// `ceilingMs`. True when it returned in time: whatever it wrote is then the
// caller's to read. Otherwise its request is cancelled where the system can,
// and the thread is left to finish on its own: `question` must hold what it
// writes to by shared ownership. `device` names what is asked (a volume, a
// disk): while a question about it that was given up on is still out, no
// other is asked, and this returns false at once. Where no thread can be
// started, `question` runs on the caller's thread.
bool AskWithinCeiling(const std::string& device, std::function<void()> question, DWORD ceilingMs);

// How many questions given up on are still out, holding their threads.
unsigned QuestionsLeftBehind();

}  // namespace orvane::win32
