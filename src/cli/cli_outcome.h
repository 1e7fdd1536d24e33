// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// What became of one camera on the command line: its exit status, its event,
// its eject and its log line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "cli/cli_log.h"
#include "cli/cli_options.h"
#include "cli/cli_report.h"
#include "port/system_port.h"
#include "port/volume_mounter.h"
#include "session/update_session.h"

namespace orvane::cli {

struct CameraOutcome {
    int status = kSuccess;
    std::string message;  // empty on success
    // The camera, once its update started, or where several are updated.
    std::optional<UsbDevice> camera;
    std::string volume;
    bool started = false;     // a transfer ran
    std::uint64_t bytes = 0;  // the update files' size
    double seconds = 0;
    std::vector<CheckedFile> files;  // the update files read back whole
};

// The exit status for a transfer that failed.
int StatusOfFailure(const TransferFailure& failure);

// The command line's view of a session's end; `oneOfSeveral`: in a run over
// several cameras.
CameraOutcome OutcomeOf(const SessionOutcome& outcome, std::uint64_t bytes, bool oneOfSeveral);

// The volume as its user knows it: on Windows a drive letter with its colon.
std::string VolumeName(const SystemPort& system, const std::string& drive);

// Tells what became of one camera, ejects it after a success where asked,
// and logs it; a stop before any camera was found leaves no log line.
void Conclude(const Options& options, const SystemPort& system, Reporter& report,
              VolumeMounter* mounter, std::optional<RunLog>& log, const std::string& hardwareId,
              const CameraOutcome& outcome);

}  // namespace orvane::cli
