// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// --all: every matching camera at once, each an update session of its own.
#pragma once

#include <optional>
#include <string>

#include "cli/cli_log.h"
#include "cli/cli_options.h"
#include "cli/cli_report.h"
#include "cli/cli_run.h"
#include "settings/settings.h"

namespace orvane::cli {

// The run waits for the first camera as for one; cameras that come while
// others are updated join in, each on a system of its own. It ends once
// every started update is over; a camera whose volume never got ready by
// then fails with what kept it. Returns the run's exit status.
int UpdateAllCameras(const Options& options, SystemPort& system, EventLoop& loop, Reporter& report,
                     const UpdateSettings& settings, const std::string& base,
                     VolumeMounter* mounter, const SystemMaker& makeSystem,
                     std::optional<RunLog>& log);

}  // namespace orvane::cli
