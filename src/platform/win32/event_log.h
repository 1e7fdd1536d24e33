// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The command line's records in the Windows Application log (--log eventlog).
#pragma once

#include "cli/cli_system_log.h"
#include "platform/win32/win32_api.h"

namespace orvane::win32 {

// The source the records are reported under; Event Viewer finds its
// message table through the registry key of that name (see the README).
inline constexpr const wchar_t* kEventSource = L"Orvane";

// One event per record, through ReportEventW: the record's event number,
// whose text is in orvane-cli.exe's message table, its rank as the event's
// type, and its fields as the insertion strings %1, %2 and on.
class EventLog : public cli::SystemLog {
  public:
    EventLog() = default;
    ~EventLog() override;
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    std::string Name() const override { return "The Windows Application log"; }
    cli::SystemLogKind Kind() const override { return cli::SystemLogKind::EventLog; }
    std::optional<std::string> Write(const cli::OutcomeRecord& record) override;

  private:
    HANDLE source_ = nullptr;  // registered at the first record
};

}  // namespace orvane::win32
