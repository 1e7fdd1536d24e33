// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The program off the screen before the process ends, even when a thread
// held by a device keeps the process from ending.
#pragma once

namespace orvane::qt {

// Hides every window of the program, then shuts down every socket the
// process holds, the display connection among them: the display server
// then takes the program's windows away whatever becomes of the process.
// The kernel would close them at the process's end, but a thread waiting
// on a device request it cannot take back defers that end for as long as
// the device takes (minutes, for a hung card reader), and an open display
// connection keeps a frozen window on the screen meanwhile. Standard input,
// output and error are left as they are. For the last moments of the
// process only: nothing that talks to the display or a service works after.
void LeaveScreen();

}  // namespace orvane::qt
