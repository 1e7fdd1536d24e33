// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The service bench's logs: one line per camera in a file, for a
// spreadsheet or a script, and a record in the system's own log.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_report.h"

namespace orvane::cli {

struct LogEntry {
    std::chrono::system_clock::time_point time;
    std::string hardwareId;
    std::string serial;
    std::string volume;
    std::uint64_t bytes = 0;   // the update files' size
    double seconds = 0;        // from the camera found to the outcome
    int status = 0;            // the exit status of the outcome
    std::string message;       // empty on success
    std::string warning;       // what went wrong after a success (the eject); empty if nothing
    UpdateFileFacts firmware;  // vorm.bin as read back
    UpdateFileFacts commands;  // dsccmd.ini as read back
};

class SystemLog;

// The run's logs: a file of its own, the system's own log (the systemd
// journal, the Windows Application log), or both.
class RunLog {
  public:
    // Opens `path`, where given, to append to: JSON lines when it ends in
    // .json or .jsonl, each with the members of the run's own done or failed
    // event and more, comma-separated values otherwise, with a header line
    // in a new file or a pipe. A pipe is written without waiting: a reader
    // that falls behind costs lines, which are said, never the run's time.
    // `system`, where not null, takes a record of each camera too; it is not
    // owned, and outlives the run's log.
    RunLog(const std::optional<std::string>& path, SystemLog* system);
    explicit RunLog(const std::string& path) : RunLog(std::optional<std::string>(path), nullptr) {}
    ~RunLog();
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    // Why the file could not be opened, with the system's reason; empty
    // when it is open, or there is none.
    const std::string& OpenError() const { return openError_; }
    // Appends the entry to each log: to the file as a line, flushed, so
    // that a run cut short keeps it. What to tell the user at once of what
    // was lost: every line of the file, and the system's log's first record
    // (its later ones are lost without a word).
    std::vector<std::string> Write(const LogEntry& entry);
    // A line or a record could not be written: a log misses a camera.
    bool Incomplete() const { return incomplete_; }

  private:
    // Opens the file (one way on each system).
    void Open(const std::string& path);
    std::optional<std::string> Append(std::string_view text);
    std::optional<std::string> WriteLine(const LogEntry& entry);

    std::optional<std::string> path_;
    bool json_ = false;
    bool incomplete_ = false;
    std::string openError_;
    SystemLog* system_ = nullptr;
    bool systemLost_ = false;
#ifdef _WIN32
    std::FILE* file_ = nullptr;
#else
    int fd_ = -1;
#endif
};

// `seconds` as the logs give them: to a tenth.
std::string LogSeconds(double seconds);

// `time` as 2026-12-07T17:45:00Z.
std::string UtcTimestamp(std::chrono::system_clock::time_point time);

// `text` as one CSV field: quoted when it holds a comma, a quote or a line
// end, and kept from being taken for a formula (a leading '), since a
// device's serial number is the device's own text.
std::string CsvField(const std::string& text);

}  // namespace orvane::cli
