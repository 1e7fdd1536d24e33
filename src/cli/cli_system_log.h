// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The system's own log as the command line sees it: one structured record
// per camera, which a site gathers with the tools it already runs. Each
// system writes it in a back end of its own (the systemd journal on Linux,
// the Application log on Windows).
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli_log.h"
#include "cli/cli_options.h"

namespace orvane::cli {

// How a record ranks: the journal's PRIORITY, the event log's type.
enum class RecordLevel {
    Info,     // the update files are on the camera
    Warning,  // they are, but the camera could not be ejected
    Error,    // the camera was not updated, or not wholly
};

// One camera's outcome as the system's log keeps it.
struct OutcomeRecord {
    RecordLevel level = RecordLevel::Info;
    // The message table's message for the outcome, which Event Viewer shows
    // as the event's number; one per outcome.
    unsigned eventId = 0;
    // The journal's MESSAGE_ID: 32 hexadecimal digits, one per outcome.
    std::string messageId;
    // The message's sentence with the fields in place.
    std::string message;
    // OUTCOME, STATUS, HARDWARE_ID, SERIAL, VOLUME, BYTES, SECONDS,
    // VORM_SHA256, VORM_BYTES, DSCCMD_SHA256, DSCCMD_BYTES, FAILURE (what
    // went wrong) and WARNING (the eject's), with their values, in the order
    // of the message's inserts (%1, %2, ...). A value is empty where it is
    // not known. The journal prefixes each name with ORVANE_.
    std::vector<std::pair<std::string, std::string>> fields;
};

OutcomeRecord MakeOutcomeRecord(const LogEntry& entry);

class SystemLog {
  public:
    virtual ~SystemLog() = default;
    // The log's name at the start of a sentence: "The systemd journal".
    virtual std::string Name() const = 0;
    // The --log value that names it.
    virtual SystemLogKind Kind() const = 0;
    // Writes the record; the system's reason when it could not. Never waits
    // long: a log that cannot be reached fails at once.
    virtual std::optional<std::string> Write(const OutcomeRecord& record) = 0;
};

}  // namespace orvane::cli
