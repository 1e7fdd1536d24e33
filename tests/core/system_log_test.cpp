// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The records the system's own log gets for each outcome: their rank, their
// message and its identifiers, the fields in the order of the message's
// inserts; and a log that cannot be reached, said once.
#include <gtest/gtest.h>

#include <set>

#include "cli/cli_log.h"
#include "cli/cli_system_log.h"
#include "texts/record_texts.h"

namespace orvane::cli {
namespace {

const std::string kVorm = std::string(63, 'a') + "1";
const std::string kDsccmd = std::string(63, 'b') + "2";

LogEntry Entry(int status, std::string message = {}, std::string warning = {}) {
    LogEntry entry;
    entry.hardwareId = "USB\\VID_04DA&PID_2372&REV_0100";
    entry.serial = "SN=1\nB";
    entry.volume = "/media/CAM";
    entry.bytes = 300023;
    entry.seconds = 12.34;
    entry.status = status;
    entry.message = std::move(message);
    entry.warning = std::move(warning);
    if (status == kSuccess) {
        entry.firmware = {kVorm, 300001};
        entry.commands = {kDsccmd, 22};
    }
    return entry;
}

TEST(SystemLogRecord, EachOutcomeHasItsRankMessageAndIdentifiers) {
    const struct {
        LogEntry entry;
        RecordLevel level;
        unsigned eventId;
        std::string message;
    } kCases[] = {
        {Entry(kSuccess), RecordLevel::Info, 1,
         "Camera USB\\VID_04DA&PID_2372&REV_0100 (serial SN=1\nB) at /media/CAM was updated in "
         "12.3 s: vorm.bin SHA-256 " +
             kVorm + " (300001 bytes), dsccmd.ini SHA-256 " + kDsccmd + " (22 bytes)."},
        {Entry(kSuccess, {}, "Unmounting failed."), RecordLevel::Warning, 2,
         "It was not ejected:\nUnmounting failed."},
        {Entry(kNoRoom, "There is not enough room."), RecordLevel::Error, 106,
         "not enough room on its volume (status 6, no-room).\nThere is not enough room."},
        {Entry(kNoCamera, "No camera."), RecordLevel::Error, 104,
         "No camera USB\\VID_04DA&PID_2372&REV_0100 was ready to be updated (status 4, "
         "no-camera).\nNo camera."},
        {Entry(kStopped, "Stopped."), RecordLevel::Error, 230, "was stopped (status 130, stopped)"},
        {Entry(kUsage, "?"), RecordLevel::Error, 199, "ended with status 2 (usage)"},
    };
    for (const auto& c : kCases) {
        const OutcomeRecord record = MakeOutcomeRecord(c.entry);
        SCOPED_TRACE(record.message);
        EXPECT_EQ(record.level, c.level);
        EXPECT_EQ(record.eventId, c.eventId);
        EXPECT_NE(record.message.find(c.message), std::string::npos);
        EXPECT_EQ(record.message.find('%'), std::string::npos);
        EXPECT_EQ(record.messageId.size(), 32u);
    }

    const OutcomeRecord done = MakeOutcomeRecord(Entry(kSuccess));
    const std::vector<std::pair<std::string, std::string>> fields = {
        {"OUTCOME", "success"},
        {"STATUS", "0"},
        {"HARDWARE_ID", "USB\\VID_04DA&PID_2372&REV_0100"},
        {"SERIAL", "SN=1\nB"},
        {"VOLUME", "/media/CAM"},
        {"BYTES", "300023"},
        {"SECONDS", "12.3"},
        {"VORM_SHA256", kVorm},
        {"VORM_BYTES", "300001"},
        {"DSCCMD_SHA256", kDsccmd},
        {"DSCCMD_BYTES", "22"},
        {"FAILURE", ""},
        {"WARNING", ""},
    };
    EXPECT_EQ(done.fields, fields);
    // A failure before the read-back knows no file.
    const OutcomeRecord failed = MakeOutcomeRecord(Entry(kNoRoom, "x"));
    EXPECT_EQ(failed.fields[7], (std::pair<std::string, std::string>{"VORM_SHA256", ""}));
    EXPECT_EQ(failed.fields[8], (std::pair<std::string, std::string>{"VORM_BYTES", ""}));
}

// Every outcome a camera can end with has a message and an identifier of
// its own, so that a site can filter on either.
TEST(SystemLogRecord, EveryOutcomeHasAMessageOfItsOwn) {
    std::set<unsigned> events;
    std::set<std::string> ids;
    for (const int status : {kSuccess, kBadSettings, kNoCamera, kDriveRefused, kNoRoom,
                             kWriteFailed, kDisconnected, kCamerasUntold, kStopped}) {
        for (const bool warned : {false, true}) {
            if (warned && status != kSuccess) continue;
            const OutcomeRecord record = MakeOutcomeRecord(Entry(status, "m", warned ? "w" : ""));
            EXPECT_NE(record.eventId, 199u) << status;
            EXPECT_FALSE(texts::OutcomeEventText(record.eventId, {}).empty()) << status;
            events.insert(record.eventId);
            ids.insert(record.messageId);
        }
    }
    EXPECT_EQ(events.size(), 10u);
    EXPECT_EQ(ids.size(), 10u);
}

class UnreachableLog : public SystemLog {
  public:
    std::string Name() const override { return "The systemd journal"; }
    SystemLogKind Kind() const override { return SystemLogKind::Journal; }
    std::optional<std::string> Write(const OutcomeRecord& record) override {
        written.push_back(record.eventId);
        return std::string("No such file or directory");
    }
    std::vector<unsigned> written;
};

TEST(SystemLogRecord, ALogThatCannotBeReachedIsSaidOnceAndEveryRecordTried) {
    UnreachableLog journal;
    RunLog log(std::nullopt, &journal);
    EXPECT_TRUE(log.OpenError().empty());
    EXPECT_FALSE(log.Incomplete());
    const std::vector<std::string> first = log.Write(Entry(kSuccess));
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].rfind("The systemd journal cannot be reached (No such file or directory): "
                             "it has no record of the camera at /media/CAM.",
                             0),
              0u)
        << first[0];
    EXPECT_TRUE(log.Write(Entry(kNoRoom, "x")).empty());
    EXPECT_EQ(journal.written, (std::vector<unsigned>{1, 106}));
    EXPECT_TRUE(log.Incomplete());
}

}  // namespace
}  // namespace orvane::cli
