// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The command line's options, its progress line, and the near-miss reading
// of hardware IDs, on plain values.
#include <gtest/gtest.h>

#include "cli/cli_log.h"
#include "cli/cli_options.h"
#include "cli/cli_report.h"
#include "device/near_miss.h"

namespace orvane::cli {
namespace {

std::string ErrorOf(std::vector<std::string> arguments) {
    auto parsed = ParseOptions(arguments);
    const std::string* error = std::get_if<std::string>(&parsed);
    return error != nullptr ? *error : std::string();
}

TEST(CommandLineOptions, ReadsValuesAndRefusesWhatItCannotUse) {
    auto parsed = ParseOptions({"--ini", "x/FirmWare.ini", "--wait=15", "--json"});
    ASSERT_TRUE(std::holds_alternative<Options>(parsed));
    const Options& options = std::get<Options>(parsed);
    EXPECT_EQ(options.iniFile, "x/FirmWare.ini");
    EXPECT_EQ(options.waitSeconds, 15u);
    EXPECT_TRUE(options.json);
    EXPECT_FALSE(std::get<Options>(ParseOptions({})).waitSeconds);  // forever

    EXPECT_NE(ErrorOf({"--wait", "-1"}), "");
    EXPECT_NE(ErrorOf({"--wait", "5s"}), "");
    EXPECT_NE(ErrorOf({"--wait", "99999999999"}), "");
    EXPECT_NE(ErrorOf({"--wait"}), "");
    EXPECT_NE(ErrorOf({"--ini"}), "");
    EXPECT_NE(ErrorOf({"--json=yes"}), "");
    EXPECT_NE(ErrorOf({"FirmWare.ini"}), "");

    // A forgotten value is not taken from the next option; "--" ends them.
    EXPECT_NE(ErrorOf({"--log", "--json"}).find("not the option \"--json\""), std::string::npos);
    EXPECT_EQ(std::get<Options>(ParseOptions({"--log=-x.csv"})).logFile, "-x.csv");
    EXPECT_NE(ErrorOf({"--", "--json"}), "");
    EXPECT_TRUE(std::get<Options>(ParseOptions({"--json", "--"})).json);
    EXPECT_FALSE(std::get<Options>(ParseOptions({"--no-interaction"})).interactive);

    // A file and the system's log, but neither twice; ./journal is a file.
    const Options both = std::get<Options>(ParseOptions({"--log", "journal", "--log=b.jsonl"}));
    EXPECT_EQ(both.systemLog, SystemLogKind::Journal);
    EXPECT_EQ(both.logFile, "b.jsonl");
    EXPECT_EQ(std::get<Options>(ParseOptions({"--log", "eventlog"})).systemLog,
              SystemLogKind::EventLog);
    EXPECT_EQ(std::get<Options>(ParseOptions({"--log", "./journal"})).logFile, "./journal");
    EXPECT_NE(ErrorOf({"--log", "a.csv", "--log", "b.csv"}).find("names one file"),
              std::string::npos);
    EXPECT_NE(ErrorOf({"--log", "journal", "--log", "eventlog"}), "");
}

// A bench ejects each camera unless told not to; a single run only when asked.
TEST(CommandLineOptions, EjectIsOnByDefaultOnlyWithRepeat) {
    auto eject = [](std::vector<std::string> arguments) {
        return std::get<Options>(ParseOptions(arguments)).eject;
    };
    EXPECT_FALSE(eject({}));
    EXPECT_TRUE(eject({"--eject"}));
    EXPECT_TRUE(eject({"--repeat"}));
    EXPECT_FALSE(eject({"--no-eject", "--repeat"}));
    EXPECT_NE(ErrorOf({"--eject=no"}), "");
}

TEST(CommandLineReport, OneTerminalLineIsRewrittenThenEnded) {
    std::string out, err;
    Reporter report(
        OutputStyle::Terminal, [&](std::string_view text) { out += text; },
        [&](std::string_view text) { err += text; });
    TransferProgress progress{TransferPhase::Writing, "vorm.bin", 1'000'000, 2'000'000};
    report.Progress(progress, 1.0);
    EXPECT_EQ(out, "\rWriting vorm.bin  50%  1.0 MB/s  0:01 left");
    out.clear();
    report.Progress(TransferProgress{TransferPhase::PuttingInPlace, "", 4, 4}, 0.0);
    // Blanks cover the end of the longer line before it.
    EXPECT_EQ(out, "\rPutting the files in place  100%" + std::string(10, ' '));
    out.clear();
    // A narrow terminal: cut one short of its width, never inside a character.
    std::size_t columns = 12;
    report.LimitWidth([&] { return columns; });
    report.Progress(TransferProgress{TransferPhase::Writing, "v\xC3\xB6rm.bin", 1, 4}, 0.0);
    EXPECT_EQ(out, "\rWriting v\xC3\xB6r" + std::string(21, ' '));
    out.clear();
    report.Failed(kWriteFailed, "It failed.");
    EXPECT_EQ(out, "\n");
    EXPECT_EQ(err, "It failed.\n");
}

// A serial number is the device's own text: a spreadsheet must read it as
// text, never run it.
TEST(CommandLineLog, QuotesFieldsThatNeedItAndDisarmsFormulas) {
    const std::pair<const char*, const char*> cases[] = {
        {"USB\\VID_1D6C&PID_00AB&REV_0100", "USB\\VID_1D6C&PID_00AB&REV_0100"},
        {"a, \"b\"", "\"a, \"\"b\"\"\""},
        {"=HYPERLINK(\"http://x\",\"y\")", "\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\""},
        {"+SUM(A1:A9)", "'+SUM(A1:A9)"},
        {"-2+3", "'-2+3"},
        {"@A1", "'@A1"},
        {"\tx", "'\tx"},
        {"\rx", "\"'\rx\""},
        {"A=1+2", "A=1+2"},
        {"", ""},
    };
    for (const auto& [text, field] : cases) EXPECT_EQ(CsvField(text), field) << text;
}

// Whatever bytes a path holds, the JSON is UTF-8: a byte outside a
// well-formed sequence is U+FFFD, and the path's bytes follow in hex.
TEST(CommandLineJson, StaysUtf8WhateverTheBytes) {
    const std::string kReplacement = "\xEF\xBF\xBD";
    const std::pair<std::string, std::string> cases[] = {
        {"caf\xC3\xA9 \xF0\x9F\x93\xB7", "caf\xC3\xA9 \xF0\x9F\x93\xB7"},  // é, a camera
        {"caf\xE9", "caf" + kReplacement},                                 // Latin-1
        {"\xC0\x80", kReplacement + kReplacement},                         // overlong NUL
        {"\xED\xA0\x80", kReplacement + kReplacement + kReplacement},      // a surrogate
        {"\xE2\x82", kReplacement + kReplacement},                         // cut short
        {"\xF4\x90\x80\x80", kReplacement + kReplacement + kReplacement + kReplacement},
        {"\x80x", kReplacement + "x"},
        {"a\"\\\x01", "a\\\"\\\\\\u0001"},
    };
    for (const auto& [text, inside] : cases) EXPECT_EQ(JsonString(text), "\"" + inside + "\"");
    EXPECT_EQ(JsonPath("volume", "/media/caf\xC3\xA9"), "\"volume\":\"/media/caf\xC3\xA9\"");
    EXPECT_EQ(JsonPath("volume", "/m/\xE9"),
              "\"volume\":\"/m/" + kReplacement + "\",\"volumeHex\":\"2f6d2fe9\"");
}

// Several cameras end with the most severe outcome, whatever their order.
TEST(CommandLineStatus, TheMostSevereOutcomeWins) {
    const int order[] = {kStopped,       kDisconnected, kWriteFailed,   kNoRoom, kDriveRefused,
                         kCamerasUntold, kNoCamera,     kLogIncomplete, kSuccess};
    for (std::size_t i = 0; i < std::size(order); ++i) {
        for (std::size_t j = i; j < std::size(order); ++j) {
            EXPECT_EQ(MoreSevere(order[i], order[j]), order[i]) << order[i] << " " << order[j];
            EXPECT_EQ(MoreSevere(order[j], order[i]), order[i]) << order[i] << " " << order[j];
        }
    }
}

TEST(NearMiss, ReadsOnlyWholeUsbHardwareIds) {
    const std::optional<UsbIdentity> id = ParseUsbHardwareId("usb\\vid_1d6c&pid_00ab&rev_01a0");
    ASSERT_TRUE(id);
    EXPECT_EQ(id->vendor, "1D6C");
    EXPECT_EQ(id->product, "00AB");
    EXPECT_EQ(id->revision, "01A0");
    EXPECT_EQ(ParseUsbHardwareId("USB\\VID_1D6C&PID_00AB")->revision, "");
    for (const char* bad : {"USB\\VID_1D6C&PID_00AB&REV_01000", "USB\\VID_1D6G&PID_00AB",
                            "Section not find!", "HID\\VID_1D6C&PID_00AB", "USB\\VID_1D6C"})
        EXPECT_FALSE(ParseUsbHardwareId(bad)) << bad;

    // Each identity once, other revisions before other products.
    const auto device = [](const char* hardwareId) {
        return UsbDevice{std::vector<std::string>{hardwareId}, {}, {}};
    };
    const std::vector<NearMiss> misses = FindNearMisses(
        "USB\\VID_1D6C&PID_00AB&REV_0100",
        {device("USB\\VID_1D6C&PID_00AC&REV_0100"), device("USB\\VID_1D6C&PID_00AB&REV_0200"),
         device("USB\\VID_1D6C&PID_00AB&REV_0200"), device("USB\\VID_1D6C&PID_00AB&REV_0100"),
         device("USB\\VID_046D&PID_00AB&REV_0100")});
    ASSERT_EQ(misses.size(), 2u);
    EXPECT_EQ(misses[0].kind, NearMiss::Kind::OtherRevision);
    EXPECT_EQ(misses[0].found.revision, "0200");
    EXPECT_EQ(misses[1].kind, NearMiss::Kind::OtherProduct);
}

}  // namespace
}  // namespace orvane::cli
