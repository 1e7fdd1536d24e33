// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The Windows program on a card that writes and reads at a card's pace,
// timed as a user sees it: the whole update, and the program's end after
// Cancel or Escape. Run by hand through tools/card-bench.sh, never by CTest.
#pragma once

#include "session.h"

namespace orvane::e2e {

enum class CardRun {
    Update,  // the whole update, from UpDate to the success box
    Cancel,  // Cancel clicked some seconds in, until the program has ended
    Escape,  // the same with the Escape key
};

// Puts a large update in the working folder and the old files on the camera,
// then runs the program once, printing "bench NAME VALUE" lines.
void CardBench(const Setting& setting, CardRun run);

}  // namespace orvane::e2e
