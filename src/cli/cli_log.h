// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The service bench's log: one line per camera, for a spreadsheet or a script.
#pragma once

#include <chrono>
#include <cstdint>
#include <fstream>
#include <string>

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
};

class RunLog {
  public:
    // Opens `path` to append to: JSON lines when it ends in .json or .jsonl,
    // comma-separated values otherwise, with a header line in a new file.
    explicit RunLog(const std::string& path);

    bool ok() const { return static_cast<bool>(file_); }
    // Appends the line and flushes it, so that a run cut short keeps it.
    void Write(const LogEntry& entry);

  private:
    std::ofstream file_;
    bool json_ = false;
};

// `time` as 2026-12-07T17:45:00Z.
std::string UtcTimestamp(std::chrono::system_clock::time_point time);

// `text` as one CSV field: quoted when it holds a comma, a quote or a line end.
std::string CsvField(const std::string& text);

}  // namespace orvane::cli
