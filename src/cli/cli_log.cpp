// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Writing the service bench's log.
#include "cli/cli_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "cli/cli_options.h"
#include "cli/cli_report.h"
#include "cli/cli_system_log.h"
#include "texts/command_line_texts.h"
#include "texts/record_texts.h"

namespace orvane::cli {

namespace {

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

std::string LogSeconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", seconds);
    return text;
}

std::string UtcTimestamp(std::chrono::system_clock::time_point time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm parts{};
    if (const std::tm* utc = std::gmtime(&seconds)) parts = *utc;
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

std::string CsvField(const std::string& text) {
    // A spreadsheet runs a cell that starts so as a formula.
    const bool formula = !text.empty() && std::strchr("=+-@\t\r", text.front()) != nullptr;
    const std::string cell = formula ? "'" + text : text;
    if (cell.find_first_of(",\"\r\n") == std::string::npos) return cell;
    std::string quoted = "\"";
    for (const char c : cell) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

namespace {

const char kCsvHeader[] =
    "time,hardware_id,serial,volume,bytes,seconds,outcome,message,warning,vorm_sha256,vorm_bytes,"
    "dsccmd_sha256,dsccmd_bytes\n";

// The digest and the size, or two empty cells where the file was not read back.
std::string CsvFileFacts(const UpdateFileFacts& file) {
    return file.sha256 + ',' + (file.bytes ? std::to_string(*file.bytes) : std::string());
}

std::string Reason(int error) {
    return std::strerror(error);
}

}  // namespace

#ifdef _WIN32

void RunLog::Open(const std::string& path) {
    // The name is UTF-8; the ANSI code page would garble any name outside it.
    try {
        const std::filesystem::path name(std::u8string(path.begin(), path.end()));
        file_ = ::_wfopen(name.c_str(), L"ab");
    } catch (const std::exception&) {
        errno = EINVAL;
    }
    if (file_ == nullptr) {
        openError_ = texts::DescribeLogUnopenable(path, Reason(errno));
        return;
    }
    std::fseek(file_, 0, SEEK_END);
    if (!json_ && std::ftell(file_) == 0) {
        if (std::optional<std::string> failed = Append(kCsvHeader))
            openError_ = texts::DescribeLogUnwritable(path, *failed);
    }
}

RunLog::~RunLog() {
    if (file_ != nullptr) std::fclose(file_);
}

std::optional<std::string> RunLog::Append(std::string_view text) {
    if (file_ == nullptr) return std::string("not open");
    errno = 0;
    const bool whole = std::fwrite(text.data(), 1, text.size(), file_) == text.size();
    if (std::fflush(file_) == 0 && whole) return std::nullopt;
    const int error = errno;
    std::clearerr(file_);
    return error != 0 ? Reason(error) : std::string("the system gave no reason");
}

#else

void RunLog::Open(const std::string& path) {
    // Never waits at the open: a pipe without a reader is refused at once.
    fd_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        const std::string why =
            errno == ENXIO ? "it is a pipe that nothing reads from yet" : Reason(errno);
        openError_ = texts::DescribeLogUnopenable(path, why);
        return;
    }
    struct stat status {};
    const bool known = ::fstat(fd_, &status) == 0;
    const bool fresh =
        known && ((S_ISREG(status.st_mode) && status.st_size == 0) || S_ISFIFO(status.st_mode));
    if (!json_ && fresh) {
        if (std::optional<std::string> failed = Append(kCsvHeader))
            openError_ = texts::DescribeLogUnwritable(path, *failed);
    }
}

RunLog::~RunLog() {
    if (fd_ >= 0) ::close(fd_);
}

std::optional<std::string> RunLog::Append(std::string_view text) {
    if (fd_ < 0) return std::string("not open");
    while (!text.empty()) {
        const ssize_t written = ::write(fd_, text.data(), text.size());
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 && errno == EAGAIN)
            return std::string("the pipe is full: what reads it does not keep up");
        if (written < 0) return Reason(errno);
        if (written == 0) return std::string("nothing was written");
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return std::nullopt;
}

#endif

RunLog::RunLog(const std::optional<std::string>& path, SystemLog* system)
    : path_(path), system_(system) {
    if (!path) return;
    json_ = EndsWith(*path, ".json") || EndsWith(*path, ".jsonl");
    Open(*path);
}

std::vector<std::string> RunLog::Write(const LogEntry& entry) {
    std::vector<std::string> lost;
    if (path_) {
        if (std::optional<std::string> failed = WriteLine(entry)) {
            incomplete_ = true;
            lost.push_back(texts::DescribeLogLineLost(*path_, *failed, entry.volume));
        }
    }
    if (system_ != nullptr) {
        if (std::optional<std::string> failed = system_->Write(MakeOutcomeRecord(entry))) {
            incomplete_ = true;
            if (!systemLost_)
                lost.push_back(
                    texts::DescribeSystemLogLost(system_->Name(), *failed, entry.volume));
            systemLost_ = true;
        }
    }
    return lost;
}

std::optional<std::string> RunLog::WriteLine(const LogEntry& entry) {
    const std::string outcome(StatusName(entry.status));
    std::string line;
    if (json_) {
        // A script reads a line as it reads the done or failed event.
        const bool done = entry.status == kSuccess;
        line = "{\"version\":" + std::to_string(kJsonVersion) + ",\"event\":\"" +
               (done ? "done" : "failed") + "\"," +
               (done ? std::string() : "\"reason\":\"" + outcome + "\",") + "\"time\":\"" +
               UtcTimestamp(entry.time) + "\",\"hardwareId\":" + JsonString(entry.hardwareId) +
               ",\"serial\":" + JsonString(entry.serial) + "," + JsonPath("volume", entry.volume) +
               ",\"bytes\":" + std::to_string(entry.bytes) +
               ",\"seconds\":" + LogSeconds(entry.seconds) + ",\"outcome\":\"" + outcome +
               "\",\"status\":" + std::to_string(entry.status) +
               ",\"message\":" + JsonString(entry.message) +
               ",\"warning\":" + JsonString(entry.warning) +
               JsonFileFacts(entry.firmware, entry.commands) + "}\n";
    } else {
        // One line per camera: the message's paragraphs run on.
        const auto oneLine = [](const std::string& text) {
            std::string joined;
            for (const char c : text) {
                if (c != '\n')
                    joined += c;
                else if (!joined.empty() && joined.back() != ' ')
                    joined += ' ';
            }
            return joined;
        };
        line = UtcTimestamp(entry.time) + ',' + CsvField(entry.hardwareId) + ',' +
               CsvField(entry.serial) + ',' + CsvField(entry.volume) + ',' +
               std::to_string(entry.bytes) + ',' + LogSeconds(entry.seconds) + ',' + outcome + ',' +
               CsvField(oneLine(entry.message)) + ',' + CsvField(oneLine(entry.warning)) + ',' +
               CsvFileFacts(entry.firmware) + ',' + CsvFileFacts(entry.commands) + '\n';
    }
    return Append(line);
}

}  // namespace orvane::cli
