// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The command line's records in the systemd journal (--log journal).
#pragma once

#include "cli/cli_system_log.h"

namespace orvane::linux_port {

// One journal entry per record, through libsystemd: MESSAGE, PRIORITY (6,
// 4 or 3), MESSAGE_ID, SYSLOG_IDENTIFIER=orvane-cli and each field as
// ORVANE_<name>, exactly as it stands (a value may hold '=' or a line end).
class JournalLog : public cli::SystemLog {
  public:
    std::string Name() const override { return "The systemd journal"; }
    cli::SystemLogKind Kind() const override { return cli::SystemLogKind::Journal; }
    std::optional<std::string> Write(const cli::OutcomeRecord& record) override;
};

}  // namespace orvane::linux_port
