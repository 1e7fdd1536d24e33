// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// orvane-cli --devices: what this system shows Orvane, as a report a user can
// send and a test can load.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "cli/cli_options.h"
#include "device/device_report.h"
#include "port/system_port.h"

namespace orvane::cli {

// Gathers the report: the USB devices, the storage as `tree` answers it
// (Windows) or as the system's layout stands (where `tree` is null), the
// camera FirmWare.ini names, and the choice. Reads only.
DeviceReport GatherDeviceReport(const Options& options, SystemPort& system, DeviceTreeSource* tree);

// The same facts as one JSON object.
std::string DeviceReportJson(const DeviceReport& report);

// Gathers the report and writes it to `out`, as text or, with --json, JSON.
int RunDeviceReport(const Options& options, SystemPort& system, DeviceTreeSource* tree,
                    const std::function<void(std::string_view)>& out);

}  // namespace orvane::cli
