// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Case-blind comparison of hardware IDs.
#include "device/hardware_id.h"

#include "port/ascii.h"

namespace orvane {

bool HardwareIdsEqual(std::string_view a, std::string_view b) {
    return EqualIgnoringAsciiCase(a, b);
}

}  // namespace orvane
