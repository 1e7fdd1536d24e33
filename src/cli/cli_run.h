// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The command line's run: the settings, the wait for the camera, the
// transfer, and the exit status that sums them up.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "cli/cli_options.h"
#include "cli/cli_report.h"
#include "cli/cli_system_log.h"
#include "port/system_port.h"
#include "port/volume_mounter.h"

namespace orvane::cli {

// The program's own thread: the tasks the transfer posts to it (through
// SystemPort::PostToUi) run there, inside `Wait`.
class EventLoop {
  public:
    virtual ~EventLoop() = default;
    // Runs the tasks posted so far and returns once at least one has run, a
    // device may have come or gone, a stop was requested, or `timeout` has
    // passed, whichever comes first.
    virtual void Wait(std::chrono::milliseconds timeout) = 0;
    // The user asked the run to end (Ctrl-C, a termination signal).
    virtual bool StopRequested() const = 0;
    // Whether a USB or disk device came or went since the last call: the
    // camera's storage is looked at again. A loop that cannot tell says yes.
    virtual bool TakeDeviceChange() { return true; }
    // While `owed`, a transfer's outcome has yet to be reported and logged:
    // a signal asks the run to stop rather than ending the process. Counted:
    // each true is ended by one false.
    virtual void OweRecord(bool owed) { static_cast<void>(owed); }
    virtual std::chrono::steady_clock::time_point Now() const {
        return std::chrono::steady_clock::now();
    }
};

// How often the camera is looked for when no device event says so sooner.
inline constexpr std::chrono::milliseconds kScanInterval{5000};

// A system side of its own for one camera of several (--all): each holds
// its own volume and runs its own worker; what that worker posts runs in
// the loop's `Wait`.
using SystemMaker = std::function<std::unique_ptr<SystemPort>()>;

// Runs the update as `options` ask and returns its exit status. Everything
// it tells the user goes through `report`. With a `mounter`, a camera whose
// volume is not mounted has it mounted, and with --eject the volume is
// unmounted and the camera powered off after a successful update. --all
// needs `makeSystem`. `systemLog` is the system's own log, which --log
// journal or --log eventlog asks for: where it is null or of another kind,
// the run is refused.
int RunUpdate(const Options& options, SystemPort& system, EventLoop& loop, Reporter& report,
              VolumeMounter* mounter = nullptr, const SystemMaker& makeSystem = {},
              SystemLog* systemLog = nullptr);

}  // namespace orvane::cli
