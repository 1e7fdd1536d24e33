// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The words of the records a service bench keeps in the system's own log
// (the systemd journal, the Windows Application log), and of what goes
// wrong with that log.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "port/system_port.h"

namespace orvane::texts {

// The sentence of event `id` (outcome_events.mc) with `inserts` in place of
// %1, %2 and on, as Windows formats a message table's text for Event
// Viewer: %n is a line end and %% a percent sign. Empty for an id the table
// does not have.
std::string OutcomeEventText(unsigned id, const std::vector<std::string>& inserts);

// A line for the camera at `volume` (empty: not known) could not be written
// to the log file `path`, for `reason`.
std::string DescribeLogLineLost(std::string_view path, std::string_view reason,
                                std::string_view volume);

// The system's log named `log` ("The systemd journal") took no record of
// the camera at `volume` (empty: not known), for `reason`: said once in a
// run, at the first record lost.
std::string DescribeSystemLogLost(std::string_view log, std::string_view reason,
                                  std::string_view volume);

// --log asked for the systemd journal (`journal`) or the Windows Application
// log, which this orvane-cli cannot write to on `system`.
std::string DescribeSystemLogUnavailable(bool journal, HostSystem system);

}  // namespace orvane::texts
