// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Every modelled device tree in device_trees/ (one per file, a device report
// with the choice it must lead to) walked and decided as on a real system.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "device/device_report.h"
#include "harness.h"

namespace orvane {
namespace {

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(DeviceTrees, EachTreeLeadsToTheChoiceWrittenInIt) {
    unsigned trees = 0;
    for (const auto& entry : std::filesystem::directory_iterator(ORVANE_DEVICE_TREES)) {
        if (entry.path().extension() != ".tree") continue;
        ++trees;
        SCOPED_TRACE(entry.path().filename().string());
        auto read = ReadDeviceReport(ReadFile(entry.path()));
        ASSERT_TRUE(std::holds_alternative<DeviceReport>(read)) << std::get<std::string>(read);
        const DeviceReport& report = std::get<DeviceReport>(read);
        ASSERT_TRUE(report.expect.has_value()) << "no expect line";
        EXPECT_EQ(ChoiceOfReport(report), *report.expect);
        // A walk that never ends answers nothing; the source gives up long
        // before that, and the walk must have stopped far sooner.
        ReportSource source(report);
        WalkDeviceTree(source);
        EXPECT_LE(source.parentsAsked(), 200u);
        // Written out and read back, a tree is the same tree.
        auto again = ReadDeviceReport(WriteDeviceReport(report));
        ASSERT_TRUE(std::holds_alternative<DeviceReport>(again));
        EXPECT_EQ(WriteDeviceReport(std::get<DeviceReport>(again)), WriteDeviceReport(report));
    }
    EXPECT_GE(trees, 11u);
}

// The dialog on a machine as each Windows tree models it, through the fake,
// which keeps its devices in the same format: "UpDate" writes to the drive
// the tree leads to and to no other, or says why it writes nothing.
TEST(DeviceTrees, TheDialogWritesWhereEachTreeLeadsAndNowhereElse) {
    for (const auto& entry : std::filesystem::directory_iterator(ORVANE_DEVICE_TREES)) {
        if (entry.path().extension() != ".tree") continue;
        SCOPED_TRACE(entry.path().filename().string());
        testing::Harness h;
        ASSERT_EQ(h.platform.LoadTree(ReadFile(entry.path())), std::nullopt);
        if (h.platform.tree.system != HostSystem::Windows) continue;
        h.platform.SetProfileValue(testing::kIniPath, "PID_VID", "PID_VID",
                                   h.platform.tree.cameraId);
        h.Open();
        h.platform.now += session_time::kSettleTime;  // long since plugged in
        h.dialog->OnUpdateClicked();
        h.Tick(testing::Harness::kWaitTicks + 1);
        const std::string& expect = h.platform.tree.expect.value_or("");
        // Where files are now, the update's own source folder aside.
        std::vector<std::string> written;
        for (const std::string& drive : h.platform.Drives()) {
            for (const std::string& file : h.platform.FilesUnder(drive + ":\\")) {
                if (file.starts_with("C:\\Tools\\")) continue;
                written.push_back("drive " + drive);
                break;
            }
        }
        if (expect.starts_with("drive ")) {
            EXPECT_EQ(written, std::vector<std::string>{expect});
            EXPECT_EQ(h.platform.messages, std::vector<std::string>{"Update success"});
        } else {
            EXPECT_TRUE(written.empty());
            EXPECT_EQ(h.platform.messages.size(), 1u);
            EXPECT_FALSE(h.platform.endResult.has_value());
        }
    }
}

// A walk over a live system sees what the source answered; replaying what
// it recorded must decide the same.
TEST(DeviceTrees, ARecordedWalkReplaysToTheSameLayout) {
    for (const auto& entry : std::filesystem::directory_iterator(ORVANE_DEVICE_TREES)) {
        if (entry.path().extension() != ".tree") continue;
        SCOPED_TRACE(entry.path().filename().string());
        auto read = ReadDeviceReport(ReadFile(entry.path()));
        ASSERT_TRUE(std::holds_alternative<DeviceReport>(read));
        DeviceReport model = std::get<DeviceReport>(read);
        if (model.system != HostSystem::Windows) continue;
        ReportSource live(model);
        DeviceReport recorded;
        recorded.cameraId = model.cameraId;
        recorded.usbDevices = model.usbDevices;
        recorded.destinationOn = model.destinationOn;
        RecordingSource recording(live, recorded);
        WalkDeviceTree(recording);
        EXPECT_EQ(ChoiceOfReport(recorded), *model.expect) << WriteDeviceReport(recorded);
    }
}

TEST(DeviceTrees, ABrokenLineIsNamed) {
    auto read = ReadDeviceReport("system windows\ndisk \\\\?\\x number=7:1\n");
    ASSERT_TRUE(std::holds_alternative<std::string>(read));
    EXPECT_EQ(std::get<std::string>(read).substr(0, 7), "line 2:");
}

}  // namespace
}  // namespace orvane
