// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// orvane-cli.exe's events as far as Wine shows them, which keeps no event
// log: the message table read back from the program, and what reached
// ReportEventW, which Wine's stub traces into the program's output.
#pragma once

#include <string>
#include <vector>

namespace orvane::e2e {

// WINEDEBUG for the program's start: the stub's line with each event's type
// and number, then one line per insertion string.
inline constexpr const wchar_t* kEventTrace = L"-all,+eventlog,fixme+advapi";

struct ReportedEvent {
    unsigned type = 0;  // EVENTLOG_INFORMATION_TYPE and the others
    unsigned id = 0;
    std::vector<std::string> inserts;  // as Wine traced them, unescaped; cut at some length
};

// The events traced in `output`, in the order they were reported.
std::vector<ReportedEvent> ReportedEvents(const std::string& output);

// For an outcome of each kind, the message table's text in `program`,
// formatted by FormatMessageW with the record's fields as its inserts, is
// the sentence the systemd journal gets for the same record.
void ExpectMessageTableOf(const std::string& program);

}  // namespace orvane::e2e
