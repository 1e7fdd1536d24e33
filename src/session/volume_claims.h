// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Whose volume is whose when several cameras are updated in one run: a
// volume goes to one camera only, and only to a camera the system proves it
// belongs to, unless that camera is the only one the run has seen.
#pragma once

#include <string>
#include <vector>

#include "port/system_port.h"

namespace orvane {

class VolumeClaims {
  public:
    enum class Answer {
        Granted,
        // The system does not say whose the volume is, and the run has seen
        // another camera: it may be that one's.
        Untold,
        // Another camera still connected has it.
        Taken,
    };

    // The cameras connected now. One that has gone gives its volume up: a
    // new camera may prove it its own. Every camera seen stays seen.
    void Present(const std::vector<UsbDevice>& cameras);
    // `camera` would write to `volume`; `proven`: the system relates the
    // volume to it, rather than standing it in as the last drive.
    Answer Claim(const UsbDevice& camera, const std::string& volume, bool proven);

    // One connection of one device: a camera plugged in again is another.
    static bool SameCamera(const UsbDevice& a, const UsbDevice& b);

  private:
    struct Seen {
        UsbDevice camera;
        std::string volume;  // empty: none claimed
        bool present = true;
    };
    Seen& Find(const UsbDevice& camera);

    std::vector<Seen> seen_;
};

}  // namespace orvane
