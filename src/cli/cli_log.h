// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The service bench's log: one line per camera, for a spreadsheet or a script.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace orvane::cli {

struct LogEntry {
    std::chrono::system_clock::time_point time;
    std::string hardwareId;
    std::string serial;
    std::string volume;
    std::uint64_t bytes = 0;  // the update files' size
    double seconds = 0;       // from the camera found to the outcome
    int status = 0;           // the exit status of the outcome
    std::string message;      // empty on success
    std::string warning;      // what went wrong after a success (the eject); empty if nothing
};

class RunLog {
  public:
    // Opens `path` to append to: JSON lines when it ends in .json or .jsonl,
    // each with the members of the run's own done or failed event and more,
    // comma-separated values otherwise, with a header line in a new file or
    // a pipe. A pipe is written without waiting: a reader that falls behind
    // costs lines, which are said, never the run's time.
    explicit RunLog(const std::string& path);
    ~RunLog();
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    // Why the log could not be opened, with the system's reason; empty when it is open.
    const std::string& OpenError() const { return openError_; }
    // Appends the line, flushed, so that a run cut short keeps it; the
    // system's reason when it could not be written whole.
    std::optional<std::string> Write(const LogEntry& entry);
    // A line could not be written: the log misses a camera.
    bool Incomplete() const { return incomplete_; }

  private:
    std::optional<std::string> Append(std::string_view text);

    bool json_ = false;
    bool incomplete_ = false;
    std::string openError_;
#ifdef _WIN32
    std::FILE* file_ = nullptr;
#else
    int fd_ = -1;
#endif
};

// `time` as 2026-12-07T17:45:00Z.
std::string UtcTimestamp(std::chrono::system_clock::time_point time);

// `text` as one CSV field: quoted when it holds a comma, a quote or a line
// end, and kept from being taken for a formula (a leading '), since a
// device's serial number is the device's own text.
std::string CsvField(const std::string& text);

}  // namespace orvane::cli
