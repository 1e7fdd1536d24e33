// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Writing a record to the systemd journal.
#include "platform/linux/journal_log.h"

#include <sys/stat.h>
#include <sys/uio.h>
#include <systemd/sd-journal.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace orvane::linux_port {

namespace {

std::string_view Priority(cli::RecordLevel level) {
    switch (level) {
        case cli::RecordLevel::Info:
            return "PRIORITY=6";
        case cli::RecordLevel::Warning:
            return "PRIORITY=4";
        case cli::RecordLevel::Error:
            return "PRIORITY=3";
    }
    return "PRIORITY=3";
}

// Where journald listens; libsystemd sends there and nowhere else.
constexpr const char* kJournalSocket = "/run/systemd/journal/socket";

}  // namespace

std::optional<std::string> JournalLog::Write(const cli::OutcomeRecord& record) {
    // libsystemd drops a record without a word where no journald listens:
    // that is a record lost, which the bench must hear of.
    struct stat socket {};
    if (::stat(kJournalSocket, &socket) != 0)
        return std::string(kJournalSocket) + ": " + std::strerror(errno);
    if (!S_ISSOCK(socket.st_mode)) return std::string(kJournalSocket) + " is not a socket";
    // The vector form takes each field's bytes as they are: no format
    // string, and a value with a line end is sent whole, as binary data.
    std::vector<std::string> fields = {
        "MESSAGE=" + record.message,
        std::string(Priority(record.level)),
        "MESSAGE_ID=" + record.messageId,
        "SYSLOG_IDENTIFIER=orvane-cli",
    };
    for (const auto& [name, value] : record.fields)
        fields.push_back("ORVANE_" + name + "=" + value);
    std::vector<iovec> parts;
    for (std::string& field : fields) parts.push_back(iovec{field.data(), field.size()});
    const int sent = sd_journal_sendv(parts.data(), static_cast<int>(parts.size()));
    if (sent >= 0) return std::nullopt;
    return std::string(std::strerror(-sent));
}

}  // namespace orvane::linux_port
