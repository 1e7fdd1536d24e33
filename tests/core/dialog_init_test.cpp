// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Dialog initialization: its order, the settings it reads and the poll timer.
#include <gtest/gtest.h>

#include <algorithm>

#include "harness.h"
#include "texts/texts.h"

namespace orvane::testing {
namespace {

// The calls of initialization that matter for the order, without file details.
std::vector<std::string> InitCalls(const fake::FakePlatform& platform) {
    std::vector<std::string> out;
    for (const std::string& call : platform.calls) {
        if (call != "LoadAppIcon") out.push_back(call);
    }
    return out;
}

TEST(DialogInit, RunsItsStepsInOrderAndArmsTheTimerAfterAFruitlessFirstScan) {
    Harness fresh;
    fresh.dialog = std::make_unique<CUpdaterDialog>(fresh.platform);
    EXPECT_EQ(fresh.dialog->OnInitDialog(), 1);
    std::vector<std::string> expected = {
        "AddAboutToSystemMenu",
        "SetWindowIcons " + std::to_string(0x128),
        "CurrentDirectory",
        "ReadProfileString PID_VID/PID_VID",
        "ReadProfileString SrcPath/Path",
        "ReadProfileString DestPath/Path",
        "SubscribeUsbArrival",
        // The scan asks on a thread of its own: a device cannot hold the window.
        "RunDeviceQuery",
        "PresentUsbDevices",
        "ArmTimer 1 5000",
    };
    EXPECT_EQ(InitCalls(fresh.platform), expected);
    EXPECT_EQ(fresh.dialog->timerId(), POLL_TIMER_ID);
    EXPECT_FALSE(fresh.dialog->deviceFound());
    EXPECT_TRUE(fresh.platform.messages.empty());
}

TEST(DialogInit, CameraPresentAtStartIsFoundWithoutATimer) {
    Harness h;
    h.PlugCamera("G");
    CUpdaterDialog& dialog = h.Open();
    EXPECT_TRUE(dialog.deviceFound());
    EXPECT_EQ(dialog.timerId(), 0u);
    EXPECT_TRUE(h.platform.runningTimers.empty());
    // The match stops the timer that was never armed (identifier 0).
    EXPECT_NE(std::find(h.platform.calls.begin(), h.platform.calls.end(), "StopTimer 0"),
              h.platform.calls.end());
    EXPECT_EQ(std::count_if(h.platform.calls.begin(), h.platform.calls.end(),
                            [](const std::string& c) { return c.rfind("ArmTimer", 0) == 0; }),
              0);
}

TEST(DialogInit, ReadsTheThreeSettingsFromTheWorkingDirectory) {
    Harness h;
    h.platform.currentDirectory = "E:\\Work";
    h.platform.SetProfileValue("E:\\Work\\FirmWare.ini", "pid_vid", "Pid_Vid", "ID-E");
    h.platform.SetProfileValue("E:\\Work\\FirmWare.ini", "SrcPath", "Path", "\\src\\");
    h.platform.SetProfileValue("E:\\Work\\FirmWare.ini", "DestPath", "Path", "");
    CUpdaterDialog& dialog = h.Open();
    EXPECT_EQ(dialog.iniPath(), "E:\\Work\\FirmWare.ini");
    EXPECT_EQ(dialog.hardwareId(), "ID-E");
    EXPECT_EQ(dialog.srcPath(), "\\src\\");
    EXPECT_EQ(dialog.destPath(), "");  // present but empty is not missing
}

TEST(DialogInit, DriveRootWorkingDirectoryKeepsTheDoubledSeparator) {
    Harness h;
    h.platform.currentDirectory = "D:\\";
    EXPECT_EQ(h.Open().iniPath(), "D:\\\\FirmWare.ini");
}

TEST(DialogInit, MissingSettingsReadAsTheFallbackAndNothingMatches) {
    Harness h;
    h.platform.currentDirectory = "C:\\Elsewhere";  // no FirmWare.ini there
    h.PlugCamera();
    CUpdaterDialog& dialog = h.Open();
    EXPECT_EQ(dialog.hardwareId(), texts::kSettingMissing);
    EXPECT_EQ(dialog.srcPath(), texts::kSettingMissing);
    EXPECT_EQ(dialog.destPath(), texts::kSettingMissing);
    EXPECT_FALSE(dialog.deviceFound());
    EXPECT_TRUE(h.platform.TimerRunning(POLL_TIMER_ID));
}

TEST(DialogInit, UnreadableOrOverlongWorkingDirectoryMeansNoSettings) {
    for (bool unreadable : {true, false}) {
        Harness h;
        if (unreadable) {
            h.platform.currentDirectory.reset();
        } else {
            // 247 characters leave no room for "\FirmWare.ini" in 259.
            std::string longDir = "C:\\" + std::string(244, 'x');
            h.platform.currentDirectory = longDir;
            h.platform.SetProfileValue(longDir + "\\FirmWare.ini", "PID_VID", "PID_VID", "X");
        }
        CUpdaterDialog& dialog = h.Open();
        EXPECT_EQ(dialog.iniPath(), "");
        EXPECT_EQ(dialog.hardwareId(), texts::kSettingMissing) << unreadable;
        EXPECT_EQ(dialog.destPath(), texts::kSettingMissing) << unreadable;
    }
    // 246 characters still fit exactly.
    Harness h;
    std::string dir = "C:\\" + std::string(243, 'x');
    h.platform.currentDirectory = dir;
    h.platform.SetProfileValue(dir + "\\FirmWare.ini", "PID_VID", "PID_VID", "X");
    EXPECT_EQ(h.Open().hardwareId(), "X");
    EXPECT_EQ(h.dialog->iniPath().size(), 259u);
}

TEST(DialogInit, LongSettingsValuesAreCutTo259Characters) {
    Harness h;
    h.platform.SetProfileValue(kIniPath, "DestPath", "Path", std::string(400, 'd'));
    EXPECT_EQ(h.Open().destPath(), std::string(259, 'd'));
}

TEST(DialogInit, FailedSubscriptionWritesOneLineAndDetectionStillWorks) {
    Harness h;
    h.platform.subscribeResult = SystemError{ErrorKind::Other, 0x3e6, "Invalid access."};
    CUpdaterDialog& dialog = h.Open();
    EXPECT_EQ(h.platform.standardOutput, "RegisterDeviceNotification failed: 3e6.\n");
    EXPECT_TRUE(h.platform.messages.empty());
    h.PlugCamera();
    h.platform.FireTimers();
    EXPECT_TRUE(dialog.deviceFound());
}

TEST(DialogInit, SuccessfulSubscriptionWritesNothing) {
    Harness h;
    EXPECT_EQ(h.Open().RegisterUsbArrival(), 1);
    EXPECT_EQ(h.platform.standardOutput, "");
}

TEST(DialogClose, CancelAndOkEndTheDialogWithTheirResults) {
    Harness h;
    h.Open().OnCancel();
    EXPECT_EQ(h.platform.endResult, IDCANCEL);
    EXPECT_EQ(h.platform.fileOps, 0);  // nothing touched on disk
    h.dialog->OnOK();
    EXPECT_EQ(h.platform.endResult, IDOK);
}

}  // namespace
}  // namespace orvane::testing
