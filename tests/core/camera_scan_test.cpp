// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Recognising the camera by its first hardware ID, ticks, and the drive taken.
#include <gtest/gtest.h>

#include "device/device_storage.h"
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
    h.platform.tree.usbDevices.push_back(UsbDevice{std::nullopt, "unreadable", {}});
    h.platform.tree.usbDevices.push_back(UsbDevice{std::vector<std::string>{}, "empty", {}});
    h.platform.Plug({"USB\\VID_1111&PID_2222&REV_0001"});
    h.PlugCamera();
    EXPECT_TRUE(h.Open().deviceFound());
}

TEST(CameraScan, AVeryLongHardwareIdListStillMatches) {
    Harness h;
    std::vector<std::string> ids = {kCameraId};
    for (int i = 0; i < 20; ++i) ids.push_back("USB\\COMPAT_CLASS_" + std::to_string(i));
    h.platform.Plug(ids);
    h.platform.Drive("F");
    EXPECT_TRUE(h.Open().deviceFound());
}

TEST(CameraScan, FirstOfTwoMatchingDevicesWinsAndNoDriveIsTakenAtTheMatch) {
    Harness h;
    h.platform.Plug({"usb\\vid_04da&pid_2372&rev_0100"}, "FIRST");
    h.PlugCamera("H");
    CUpdaterDialog& dialog = h.Open();
    EXPECT_TRUE(dialog.deviceFound());
    EXPECT_EQ(dialog.deviceInstance(), "FIRST");
    // The camera's volume may get its drive only seconds later: the drive is
    // chosen at the press.
    EXPECT_EQ(dialog.driveLetter(), "");
    EXPECT_EQ(std::count(h.platform.calls.begin(), h.platform.calls.end(), "LogicalDrives"), 0);
}

TEST(DriveChoice, DrivesBelowADeviceKeepTheSystemsOrderAndCompareWholeIdentities) {
    StorageLayout layout;
    const auto disk = [&](std::string id, std::vector<std::string> ancestors) {
        layout.disks.emplace_back();
        layout.disks.back().id = std::move(id);
        layout.disks.back().ancestors = std::move(ancestors);
    };
    // Disk 1: the camera's, through an interface node of a composite device.
    disk("1", {"USBSTOR\\CAM", "USB\\CAM&MI_00", "USB\\CAM", "ROOT"});
    disk("2", {"USBSTOR\\STICK", "USB\\CAM2", "ROOT"});
    disk("3", {"PCI\\NVME", "ROOT"});
    for (auto [drive, id] : {std::pair{"C", "3"}, {"G", "1"}, {"H", "2"}, {"K", "1"}, {"N", ""}})
        layout.drives.push_back(DriveOnDisk{drive, id, 0, true});
    EXPECT_EQ(DrivesBelowDevice(layout, "USB\\CAM"), (std::vector<std::string>{"G", "K"}));
    EXPECT_EQ(DrivesBelowDevice(layout, "USB\\CAM2"), std::vector<std::string>{"H"});
    EXPECT_TRUE(DrivesBelowDevice(layout, "USB\\CA").empty());  // a prefix is not the device
    EXPECT_TRUE(DrivesBelowDevice(layout, "").empty());
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
    h.platform.SetDrives({"C"});
    h.platform.calls.clear();
    dialog.OnTimer(POLL_TIMER_ID);  // a tick still queued when the timer stopped
    EXPECT_TRUE(h.platform.calls.empty());
    EXPECT_TRUE(dialog.deviceFound());
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
