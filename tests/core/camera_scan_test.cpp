// Recognising the camera by its first hardware ID, ticks, and the drive taken.
#include <gtest/gtest.h>

#include "device/drive_list.h"
#include "device/hardware_id.h"
#include "harness.h"

namespace orvane::testing {
namespace {

TEST(HardwareId, ComparesWholeIdsIgnoringAsciiCaseOnly) {
    EXPECT_TRUE(HardwareIdsEqual("USB\\VID_04da&PID_2372&rev_0100", kCameraId));
    EXPECT_FALSE(HardwareIdsEqual(kCameraIdNoRev, kCameraId));  // a prefix is not the ID
    EXPECT_FALSE(HardwareIdsEqual(kCameraId, kCameraIdNoRev));
    EXPECT_FALSE(HardwareIdsEqual("USB\\VID_04DA&PID_2372&REV_0101", kCameraId));
    // Bytes outside ASCII are not folded: 0xE0 and 0xC0 are different bytes.
    EXPECT_FALSE(HardwareIdsEqual("\xe0", "\xc0"));
    EXPECT_TRUE(HardwareIdsEqual("", ""));
}

TEST(CameraScan, MatchesOnlyTheFirstHardwareIdOfTheList) {
    Harness h;
    // The configured ID without its revision is only the device's second entry.
    h.platform.SetProfileValue(kIniPath, "PID_VID", "PID_VID", kCameraIdNoRev);
    h.PlugCamera();
    EXPECT_FALSE(h.Open().deviceFound());
}

TEST(CameraScan, SkipsDevicesWhoseListCannotBeRead) {
    Harness h;
    h.platform.devices.push_back(UsbDevice{std::nullopt});
    h.platform.devices.push_back(UsbDevice{std::vector<std::string>{}});
    h.platform.Plug({"USB\\VID_1111&PID_2222&REV_0001"});
    h.PlugCamera();
    EXPECT_TRUE(h.Open().deviceFound());
}

TEST(CameraScan, AVeryLongHardwareIdListStillMatches) {
    Harness h;
    std::vector<std::string> ids = {kCameraId};
    for (int i = 0; i < 20; ++i) ids.push_back("USB\\COMPAT_CLASS_" + std::to_string(i));
    h.platform.Plug(ids);
    h.platform.drives.push_back("F");
    EXPECT_TRUE(h.Open().deviceFound());
}

TEST(CameraScan, FirstOfTwoMatchingDevicesWinsAndOneDriveIsResolved) {
    Harness h;
    h.platform.Plug({"usb\\vid_04da&pid_2372&rev_0100"});
    h.PlugCamera("H");
    CUpdaterDialog& dialog = h.Open();
    EXPECT_TRUE(dialog.deviceFound());
    EXPECT_EQ(dialog.driveLetter(), "H");
    EXPECT_EQ(std::count(h.platform.calls.begin(), h.platform.calls.end(), "LogicalDrives"), 1);
}

TEST(CameraScan, TheDriveIsTheLastEntryOfTheList) {
    Harness h;
    h.platform.drives = {"A", "C", "D", "G", "Z"};  // Z: a network share above the camera
    h.platform.Plug({kCameraId});
    EXPECT_EQ(h.Open().driveLetter(), "Z");
}

TEST(CameraScan, EmptyDriveListLeavesTheLetterEmpty) {
    Harness h;
    h.platform.drives.clear();
    h.platform.Plug({kCameraId});
    CUpdaterDialog& dialog = h.Open();
    EXPECT_TRUE(dialog.deviceFound());
    EXPECT_EQ(dialog.driveLetter(), "");
}

TEST(PollTimer, CameraPluggedAfterStartIsFoundAtTheNextTickAndTheTimerStops) {
    Harness h;
    CUpdaterDialog& dialog = h.Open();
    h.platform.FireTimers();  // 5 s
    h.platform.FireTimers();  // 10 s
    EXPECT_FALSE(dialog.deviceFound());
    h.PlugCamera("G");        // at 12 s
    h.platform.FireTimers();  // 15 s
    EXPECT_TRUE(dialog.deviceFound());
    EXPECT_EQ(dialog.driveLetter(), "G");
    EXPECT_FALSE(h.platform.TimerRunning(POLL_TIMER_ID));
}

TEST(PollTimer, CameraPluggedAndRemovedBetweenTicksIsNotSeen) {
    Harness h;
    CUpdaterDialog& dialog = h.Open();
    h.PlugCamera();
    h.platform.UnplugAll();
    h.platform.FireTimers();
    EXPECT_FALSE(dialog.deviceFound());
    EXPECT_TRUE(h.platform.TimerRunning(POLL_TIMER_ID));
}

TEST(PollTimer, NoScanRunsAfterAMatchAndTheStateStaysAfterUnplugging) {
    Harness h;
    h.PlugCamera("G");
    CUpdaterDialog& dialog = h.Open();
    h.platform.UnplugAll();
    h.platform.drives = {"C"};
    h.platform.calls.clear();
    dialog.OnTimer(POLL_TIMER_ID);  // a tick still queued when the timer stopped
    EXPECT_TRUE(h.platform.calls.empty());
    EXPECT_TRUE(dialog.deviceFound());
    EXPECT_EQ(dialog.driveLetter(), "G");
}

TEST(PollTimer, FailedArmingLeavesNoTimerAndNoScan) {
    Harness h;
    h.platform.timerArmFails = true;
    CUpdaterDialog& dialog = h.Open();
    EXPECT_EQ(dialog.timerId(), 0u);
    h.PlugCamera();
    h.platform.FireTimers();
    EXPECT_FALSE(dialog.deviceFound());
}

TEST(DriveList, TakesTheLettersOfFourByteEntries) {
    const char list[] = "A:\\\0C:\\\0D:\\\0G:\\\0";
    EXPECT_EQ(ParseLogicalDriveStrings(std::string_view(list, sizeof list), 16),
              (std::vector<std::string>{"A", "C", "D", "G"}));
    EXPECT_TRUE(ParseLogicalDriveStrings(std::string_view(list, sizeof list), 0).empty());
    EXPECT_TRUE(ParseLogicalDriveStrings(std::string_view(list, sizeof list), 3).empty());
    // A length beyond the buffer is clamped, not read past.
    EXPECT_EQ(ParseLogicalDriveStrings(std::string_view(list, 8), 400).size(), 2u);
}

}  // namespace
}  // namespace orvane::testing
