// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// One camera's outcome as a record of the system's own log.
#include "cli/cli_system_log.h"

#include "texts/record_texts.h"

namespace orvane::cli {

namespace {

// Each outcome's message: its number in the message table (100 plus the
// exit status of a failure), and its MESSAGE_ID in the journal. Numbers and
// identifiers never change meaning: a site's queries and filters use them.
struct OutcomeMessage {
    unsigned eventId;
    const char* messageId;
};

constexpr OutcomeMessage kUpdated{1, "01b98dc5156741f5a65b6b74702bce13"};
constexpr OutcomeMessage kUpdatedNotEjected{2, "140c6243e948497e8bb06869281c0a3c"};
constexpr OutcomeMessage kOtherFailure{199, "d7f2f2da9ede42b3a4bda4a9b09c697a"};
constexpr OutcomeMessage kFailures[] = {
    {100 + kBadSettings, "ef2c55282265498192c8466bfedd9deb"},
    {100 + kNoCamera, "0d5afef262ab48ae901b6283da888c4c"},
    {100 + kDriveRefused, "449ef47952324cadade000bd8ff5e51f"},
    {100 + kNoRoom, "8ecf3b6def544f63afc85a1bd4e21965"},
    {100 + kWriteFailed, "3f5c78b8cf4c48e0ab9a8e26c31987ef"},
    {100 + kDisconnected, "88be28c5bdf64bf88768827628d332ff"},
    {100 + kCamerasUntold, "b45e6fe01d4e4ec39317c8473895750b"},
    {100 + kStopped, "b770ff6d803549239d57d22c4ba8d5a3"},
};

OutcomeMessage MessageOf(const LogEntry& entry) {
    if (entry.status == kSuccess) return entry.warning.empty() ? kUpdated : kUpdatedNotEjected;
    for (const OutcomeMessage& failure : kFailures) {
        if (failure.eventId == 100u + static_cast<unsigned>(entry.status)) return failure;
    }
    return kOtherFailure;
}

std::string Bytes(const UpdateFileFacts& file) {
    return file.bytes ? std::to_string(*file.bytes) : std::string();
}

}  // namespace

OutcomeRecord MakeOutcomeRecord(const LogEntry& entry) {
    const OutcomeMessage message = MessageOf(entry);
    OutcomeRecord record;
    record.level = entry.status != kSuccess ? RecordLevel::Error
                   : entry.warning.empty()  ? RecordLevel::Info
                                            : RecordLevel::Warning;
    record.eventId = message.eventId;
    record.messageId = message.messageId;
    record.fields = {
        {"OUTCOME", std::string(StatusName(entry.status))},
        {"STATUS", std::to_string(entry.status)},
        {"HARDWARE_ID", entry.hardwareId},
        {"SERIAL", entry.serial},
        {"VOLUME", entry.volume},
        {"BYTES", std::to_string(entry.bytes)},
        {"SECONDS", LogSeconds(entry.seconds)},
        {"VORM_SHA256", entry.firmware.sha256},
        {"VORM_BYTES", Bytes(entry.firmware)},
        {"DSCCMD_SHA256", entry.commands.sha256},
        {"DSCCMD_BYTES", Bytes(entry.commands)},
        {"FAILURE", entry.message},
        {"WARNING", entry.warning},
    };
    std::vector<std::string> inserts;
    for (const auto& field : record.fields) inserts.push_back(field.second);
    record.message = texts::OutcomeEventText(record.eventId, inserts);
    return record;
}

}  // namespace orvane::cli
