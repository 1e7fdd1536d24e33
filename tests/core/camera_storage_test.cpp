// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Which of the camera's volumes "UpDate" writes to, waiting for one that has
// not appeared yet, and what it says when the camera offers none.
#include <gtest/gtest.h>

#include <algorithm>

#include "harness.h"
#include "texts/texts.h"

namespace orvane::testing {
namespace {

bool Contains(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

// The camera's disk is known but has no drive yet, and a stick has one.
struct CameraWithoutDrive : Harness {
    explicit CameraWithoutDrive(HostSystem system = HostSystem::Windows) {
        platform.system = system;
        PlugCameraWithoutDrive("1");
        PlugStick("H");
        Open();
    }
};

TEST(DriveWait, TheCamerasDriveAppearingDuringTheWaitGetsTheFilesAndNoOtherDriveDoes) {
    CameraWithoutDrive h;
    h.dialog->OnUpdateClicked();
    EXPECT_TRUE(h.platform.messages.empty());
    EXPECT_TRUE(h.dialog->waitingForDrive());
    EXPECT_TRUE(h.platform.progressVisible);  // "UpDate" is disabled meanwhile
    EXPECT_EQ(h.platform.progressStatus, "Waiting for the camera's drive...");
    h.dialog->OnUpdateClicked();  // a second press while waiting starts nothing
    h.Tick(6);                    // 3 s
    EXPECT_EQ(h.platform.fileOps, 0);

    h.Mount("G", "1");
    h.Tick(1);
    EXPECT_EQ(h.platform.messages, std::vector<std::string>{"Update success"});
    EXPECT_EQ(h.platform.FilesUnder("G:\\FIRMWARE").size(), 2u);
    EXPECT_TRUE(h.platform.FilesUnder("H:").empty());
    EXPECT_FALSE(h.platform.TimerRunning(SESSION_TIMER_ID));
}

TEST(DriveWait, AfterFifteenSecondsABoxNamesTheDiskInTheSystemsOwnWords) {
    for (HostSystem system : {HostSystem::Windows, HostSystem::Linux}) {
        CameraWithoutDrive h(system);
        h.dialog->OnUpdateClicked();
        h.Tick(Harness::kWaitTicks - 1);
        EXPECT_TRUE(h.platform.messages.empty());
        h.Tick(1);
        ASSERT_EQ(h.platform.messages.size(), 1u);
        const std::string& message = h.platform.messages[0];
        if (system == HostSystem::Windows) {
            EXPECT_TRUE(Contains(message, "(disk 1) has no drive letter yet")) << message;
        } else {
            EXPECT_TRUE(Contains(message, "disk 1 is not mounted")) << message;
            EXPECT_FALSE(Contains(message, "drive letter")) << message;
        }
        EXPECT_FALSE(h.dialog->waitingForDrive());
        EXPECT_FALSE(h.platform.progressVisible);
        EXPECT_FALSE(h.platform.TimerRunning(SESSION_TIMER_ID));
        EXPECT_FALSE(h.platform.endResult.has_value());
        EXPECT_EQ(h.platform.fileOps, 0);
    }
}

// The mended fault: the system shows the camera before its disk, and the
// disk before its card; a press in those first seconds said at once to set
// the USB mode, and nothing was written.
TEST(DriveWait, NoStorageOrNoCardRightAfterPluggingInIsWaitedForLikeAMissingDrive) {
    for (const bool card : {false, true}) {
        for (const bool arrives : {true, false}) {
            SCOPED_TRACE(std::string(card ? "no card" : "no storage") +
                         (arrives ? ", then it arrives" : ", for good"));
            Harness h;
            h.PlugStick("H");
            if (card) {
                h.PlugCamera("G");
                h.platform.Drive("G").hasMedium = false;
            } else {
                h.platform.Plug({kCameraId}, kCameraInstance);
            }
            h.Open();
            h.platform.now += session_time::kSettleTime / 2;
            h.dialog->OnUpdateClicked();
            EXPECT_TRUE(h.platform.messages.empty());
            EXPECT_TRUE(h.dialog->waitingForDrive());
            EXPECT_EQ(h.platform.progressStatus, "Waiting for the camera's drive...");
            h.Tick(4);  // 2 s
            h.platform.now += std::chrono::seconds(2);
            if (!arrives) {
                h.Tick(Harness::kWaitTicks);
                ASSERT_EQ(h.platform.messages.size(), 1u);
                EXPECT_TRUE(Contains(h.platform.messages[0], card ? "no card" : "no storage"))
                    << h.platform.messages[0];
                EXPECT_FALSE(h.dialog->waitingForDrive());
                EXPECT_EQ(h.platform.fileOps, 0);
                continue;
            }
            if (card) {
                h.platform.Drive("G").hasMedium = true;
            } else {
                h.AddCameraDisk("1", 0);
                h.Mount("G", "1");
            }
            h.Tick(1);
            EXPECT_EQ(h.platform.messages, std::vector<std::string>{"Update success"});
            EXPECT_EQ(h.platform.FilesUnder("G:\\FIRMWARE").size(), 2u);
            EXPECT_TRUE(h.platform.FilesUnder("H:").empty());
        }
    }
}

TEST(DriveWait, WithoutATimerTheBoxComesAtOnceRatherThanAWaitWithoutEnd) {
    Harness h;
    h.PlugCameraWithoutDrive("1");
    h.PlugStick("H");
    h.Open();
    h.platform.timerArmFails = true;
    h.dialog->OnUpdateClicked();
    ASSERT_EQ(h.platform.messages.size(), 1u);
    EXPECT_TRUE(Contains(h.platform.messages[0], "has no drive letter yet"));
    EXPECT_FALSE(h.dialog->waitingForDrive());
    EXPECT_FALSE(h.platform.progressVisible);
}

TEST(DriveWait, CancelEndsTheWaitAndAnUnpluggedCameraIsLookedForAgain) {
    {
        CameraWithoutDrive h;
        h.dialog->OnUpdateClicked();
        h.Tick(2);
        h.dialog->OnCancel();
        EXPECT_EQ(h.platform.endResult, IDCANCEL);
        EXPECT_FALSE(h.platform.TimerRunning(SESSION_TIMER_ID));
        h.Mount("G", "1");
        h.dialog->OnTimer(SESSION_TIMER_ID);  // a tick already queued
        EXPECT_EQ(h.platform.fileOps, 0);
    }
    CameraWithoutDrive h;
    h.dialog->OnUpdateClicked();
    h.platform.UnplugAll();
    h.Tick(1);
    EXPECT_EQ(h.platform.messages, std::vector<std::string>{"please check device"});
    EXPECT_FALSE(h.dialog->deviceFound());
    EXPECT_TRUE(h.platform.TimerRunning(POLL_TIMER_ID));
    EXPECT_FALSE(h.platform.TimerRunning(SESSION_TIMER_ID));
}

TEST(DriveWait, ADeviceEventLooksAtOnceWithoutWaitingForATick) {
    Harness h;
    h.PlugStick("H");
    CUpdaterDialog& dialog = h.Open();
    h.PlugCameraWithoutDrive("1");
    dialog.OnDeviceChange();
    ASSERT_TRUE(dialog.deviceFound());
    dialog.OnUpdateClicked();
    ASSERT_TRUE(dialog.waitingForDrive());
    h.Mount("G", "1");
    dialog.OnDeviceChange();
    EXPECT_EQ(h.platform.messages, std::vector<std::string>{"Update success"});
}

// The mended fault: a camera without a drive of its own had the last drive
// of all taken for it, and the update went to a stick.
TEST(DriveChoice, ACameraShowingNoStorageGetsNoOtherDriveAndIsToldWhy) {
    Harness h;
    h.platform.Plug({kCameraId}, kCameraInstance);
    h.PlugStick("H");
    CUpdaterDialog& dialog = h.Open();
    h.platform.now += session_time::kSettleTime;  // long since plugged in: it has settled
    dialog.OnUpdateClicked();
    ASSERT_EQ(h.platform.messages.size(), 1u);
    EXPECT_TRUE(Contains(h.platform.messages[0], "shows no storage")) << h.platform.messages[0];
    EXPECT_TRUE(Contains(h.platform.messages[0], "mass storage"));
    EXPECT_FALSE(dialog.waitingForDrive());
    EXPECT_EQ(h.platform.fileOps, 0);
}

TEST(DriveChoice, OfSeveralVolumesTheFolderThenTheMediumThenTheLastUnitDecides) {
    enum class Case { Plain, FolderOnFirstUnit, EmptyCardSlot };
    for (Case which : {Case::Plain, Case::FolderOnFirstUnit, Case::EmptyCardSlot}) {
        for (bool cardMountedFirst : {false, true}) {
            SCOPED_TRACE(std::to_string(static_cast<int>(which)) +
                         (cardMountedFirst ? " card first" : " memory first"));
            // Internal memory on unit 0 as K:, the card on unit 1 as G:; the
            // order of mounting must not matter, nor the letters.
            Harness h;
            h.PlugCameraWithoutDrive("1", 0);
            h.AddCameraDisk("2", 1);
            if (cardMountedFirst) h.Mount("G", "2");
            h.Mount("K", "1");
            if (!cardMountedFirst) h.Mount("G", "2");
            if (which == Case::FolderOnFirstUnit) h.platform.folders.insert("K:\\FIRMWARE");
            if (which == Case::EmptyCardSlot) h.platform.Drive("G").hasMedium = false;
            h.Open().OnUpdateClicked();
            EXPECT_EQ(h.dialog->driveLetter(), which == Case::Plain ? "G" : "K");
            EXPECT_EQ(h.platform.endResult, IDOK);
        }
    }
    // Two partitions of one disk: the later partition, whatever its letter.
    Harness h;
    h.PlugCameraWithoutDrive("1");
    h.Mount("K", "1");
    h.Mount("G", "1");
    h.platform.Drive("K").partition = 2;
    h.platform.Drive("G").partition = 1;
    h.Open().OnUpdateClicked();
    EXPECT_EQ(h.dialog->driveLetter(), "K");
}

TEST(DriveChoice, AnEmptyCardSlotSaysThereIsNoCardNotThatTheCameraWentAway) {
    for (bool related : {true, false}) {
        SCOPED_TRACE(related ? "the camera's own drive" : "the last drive, as under Wine");
        Harness h;
        if (related) {
            h.PlugCamera("G");
        } else {
            h.platform.Plug({kCameraId}, kCameraInstance);
            h.platform.Drive("G");
        }
        h.platform.Drive("G").hasMedium = false;
        h.Open();
        h.platform.now += session_time::kSettleTime;
        h.dialog->OnUpdateClicked();
        ASSERT_EQ(h.platform.messages.size(), 1u);
        const std::string& message = h.platform.messages[0];
        EXPECT_TRUE(Contains(message, "no card in the camera")) << message;
        EXPECT_FALSE(Contains(message, "disconnected")) << message;
        EXPECT_TRUE(h.platform.FilesUnder("G:").empty());
        EXPECT_FALSE(h.platform.endResult.has_value());
    }
}

// A camera whose disk does not answer is neither "no storage" nor a drive
// to wait for: the box says it is not answering, and nothing is written.
TEST(DriveChoice, ACameraWhoseDiskDoesNotAnswerIsSaidToBeNotAnswering) {
    Harness h;
    h.PlugCameraWithoutDrive("1");
    h.platform.tree.layout.disks.back().answering = false;
    h.platform.tree.layout.disks.back().hasMedium = false;
    h.PlugStick("H");
    h.Open().OnUpdateClicked();
    ASSERT_EQ(h.platform.messages.size(), 1u);
    EXPECT_TRUE(Contains(h.platform.messages[0], "not answering")) << h.platform.messages[0];
    EXPECT_FALSE(h.dialog->waitingForDrive());
    EXPECT_EQ(h.platform.fileOps, 0);
}

// A volume the desktop left unmounted is mounted once per arrival of the
// camera, with the status line saying so; where the system will not or
// cannot, the box says at once how to mount it, and nothing is written.
TEST(DriveWait, AnUnmountedVolumeIsMountedOncePerArrivalOrTheBoxSaysHow) {
    const std::string mountingLine = "Mounting the camera's storage disk 1\u2026";
    using Kind = MountFailure::Kind;
    for (const std::optional<Kind> failure : std::initializer_list<std::optional<Kind>>{
             std::nullopt, Kind::NotAuthorised, Kind::NoService, Kind::Failed}) {
        SCOPED_TRACE(failure ? static_cast<int>(*failure) : -1);
        Harness h;
        h.platform.system = HostSystem::Linux;
        h.platform.mounts = true;
        h.platform.mountFailure = failure;
        h.PlugCameraWithoutDrive("1");
        h.PlugStick("H");
        h.Open();
        h.dialog->OnUpdateClicked();
        const auto mounts = [&h] {
            return std::count(h.platform.calls.begin(), h.platform.calls.end(),
                              "MountVolume disk 1");
        };
        EXPECT_EQ(mounts(), 1);
        EXPECT_EQ(h.platform.statusesShown.front(), mountingLine);
        ASSERT_EQ(h.platform.messages.size(), 1u);
        EXPECT_FALSE(h.dialog->waitingForDrive());
        if (!failure) {
            EXPECT_EQ(h.platform.messages[0], "Update success");
            EXPECT_EQ(h.platform.FilesUnder("G:\\FIRMWARE").size(), 2u);
            continue;
        }
        EXPECT_TRUE(Contains(h.platform.messages[0], "disk 1 is not mounted"))
            << h.platform.messages[0];
        EXPECT_EQ(h.platform.fileOps, 0);
        // Pressed again, the same arrival is not mounted again: the wait
        // gives the user the time to mount it by hand.
        h.dialog->OnUpdateClicked();
        h.Tick(Harness::kWaitTicks);
        EXPECT_EQ(mounts(), 1);
        EXPECT_EQ(h.platform.messages.size(), 2u);
        // Plugged in anew, it is.
        h.platform.tree.usbDevices.front().arrival = "9";
        h.dialog->OnUpdateClicked();
        EXPECT_EQ(mounts(), 2);
        EXPECT_EQ(h.platform.fileOps, 0);
    }
}

// Polkit may ask the user for as long as the user takes: the camera is not
// said to be silent meanwhile, and at the wait's end the box says how to
// mount the volume.
TEST(DriveWait, AMountAwaitingTheUserIsNotTakenForASilentCamera) {
    Harness h;
    h.platform.system = HostSystem::Linux;
    h.platform.mounts = true;
    h.platform.mountFailure = MountFailure::Kind::NotAuthorised;
    h.platform.threaded = true;
    h.PlugCameraWithoutDrive("1");
    h.PlugStick("H");
    h.Open();
    h.platform.HangAt("MountVolume");
    h.dialog->OnUpdateClicked();
    h.platform.WaitForPosted();
    h.platform.DeliverPosted();  // the look: a volume to mount
    h.platform.WaitUntilHung();
    h.platform.DeliverPosted();
    EXPECT_EQ(h.platform.progressStatus, "Mounting the camera's storage disk 1\u2026");
    for (unsigned tick = 0; tick < Harness::kWaitTicks; ++tick) {
        h.Tick(1);
        EXPECT_FALSE(h.dialog->cameraSilent());
    }
    EXPECT_TRUE(h.platform.messages.empty());
    h.Tick(1);
    ASSERT_EQ(h.platform.messages.size(), 1u);
    EXPECT_TRUE(Contains(h.platform.messages[0], "disk 1 is not mounted"))
        << h.platform.messages[0];
    h.platform.EndHang(false);
    h.platform.JoinThreads();
    h.platform.DeliverPosted();
    EXPECT_EQ(h.platform.messages.size(), 1u);
    EXPECT_EQ(h.platform.fileOps, 0);
}

}  // namespace
}  // namespace orvane::testing
