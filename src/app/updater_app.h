// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The Windows program's one application object and its start-up.
#pragma once

#include "platform/win32/win32_api.h"

namespace orvane {

class CUpdaterApp {
  public:
    // Runs the updater dialog modally; returns FALSE so that the process
    // ends when the dialog does.
    BOOL InitInstance();
};

}  // namespace orvane
