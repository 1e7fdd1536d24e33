// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Writing the service bench's log.
#include "cli/cli_log.h"

#include <cstdio>
#include <ctime>
#include <filesystem>

#include "cli/cli_options.h"
#include "cli/cli_report.h"

namespace orvane::cli {

namespace {

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", seconds);
    return text;
}

}  // namespace

std::string UtcTimestamp(std::chrono::system_clock::time_point time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm parts{};
    if (const std::tm* utc = std::gmtime(&seconds)) parts = *utc;
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

RunLog::RunLog(const std::string& path)
    : json_(EndsWith(path, ".json") || EndsWith(path, ".jsonl")) {
    std::error_code error;
    const bool fresh =
        !std::filesystem::exists(path, error) || std::filesystem::file_size(path, error) == 0;
    file_.open(path, std::ios::app | std::ios::binary);
    if (file_ && fresh && !json_) {
        file_ << "time,hardware_id,serial,volume,bytes,seconds,outcome,message\n";
        file_.flush();
    }
}

void RunLog::Write(const LogEntry& entry) {
    if (!file_) return;
    const std::string outcome(StatusName(entry.status));
    if (json_) {
        file_ << "{\"time\":\"" << UtcTimestamp(entry.time)
              << "\",\"hardwareId\":" << JsonString(entry.hardwareId)
              << ",\"serial\":" << JsonString(entry.serial)
              << ",\"volume\":" << JsonString(entry.volume) << ",\"bytes\":" << entry.bytes
              << ",\"seconds\":" << Seconds(entry.seconds) << ",\"outcome\":\"" << outcome
              << "\",\"status\":" << entry.status << ",\"message\":" << JsonString(entry.message)
              << "}\n";
    } else {
        // One line per camera: the message's paragraphs run on.
        std::string message;
        for (const char c : entry.message) {
            if (c != '\n')
                message += c;
            else if (!message.empty() && message.back() != ' ')
                message += ' ';
        }
        file_ << UtcTimestamp(entry.time) << ',' << CsvField(entry.hardwareId) << ','
              << CsvField(entry.serial) << ',' << CsvField(entry.volume) << ',' << entry.bytes
              << ',' << Seconds(entry.seconds) << ',' << outcome << ',' << CsvField(message)
              << '\n';
    }
    file_.flush();
}

}  // namespace orvane::cli
