// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The "UpDate" button from the user's side: what is written and what is said.
#include <gtest/gtest.h>

#include "harness.h"
#include "settings/folder_values.h"
#include "texts/texts.h"

namespace orvane::testing {
namespace {

const std::string kDest = "G:\\FIRMWARE\\";

TEST(UpdateCommand, BeforeTheCameraIsFoundItAsksToCheckTheDeviceAndKeepsPolling) {
    Harness h;
    CUpdaterDialog& dialog = h.Open();
    dialog.OnUpdateClicked();
    EXPECT_EQ(h.platform.messages, std::vector<std::string>{"please check device"});
    EXPECT_FALSE(h.platform.endResult.has_value());
    EXPECT_TRUE(h.platform.TimerRunning(POLL_TIMER_ID));
    EXPECT_TRUE(h.platform.FilesUnder("G:").empty());
}

TEST(UpdateCommand, CameraFoundWhileTheBoxIsOpenWaitsForTheNextPress) {
    Harness h;
    CUpdaterDialog& dialog = h.Open();
    h.platform.onMessage = [&](std::string_view) {
        h.PlugCamera("G");
        h.platform.FireTimers();  // the box's own loop delivers the tick
        h.platform.onMessage = nullptr;
    };
    dialog.OnUpdateClicked();
    EXPECT_TRUE(dialog.deviceFound());
    EXPECT_TRUE(h.platform.FilesUnder("G:").empty());
    EXPECT_FALSE(h.platform.endResult.has_value());

    dialog.OnUpdateClicked();
    EXPECT_EQ(h.platform.messages.back(), "Update success");
    EXPECT_EQ(h.platform.endResult, IDOK);
}

TEST(UpdateCommand, WritesBothFilesWithTheSourceBytesThenSaysSuccessAndEnds) {
    Harness h;
    h.PlugCamera("G");
    CUpdaterDialog& dialog = h.Open();
    dialog.OnUpdateClicked();
    EXPECT_EQ(h.platform.files[kDest + "vorm.bin"], Harness::FirmwareImage());
    EXPECT_EQ(h.platform.files[kDest + "dsccmd.ini"], "[CMD]\r\nUPDATE=1\r\n");
    EXPECT_EQ(h.platform.FilesUnder("G:").size(), 2u);  // no temporary file left
    EXPECT_EQ(h.platform.messages, std::vector<std::string>{"Update success"});
    EXPECT_EQ(h.platform.endResult, IDOK);
}

TEST(UpdateCommand, ExistingFilesAndFolderAreReplaced) {
    Harness h;
    h.PlugCamera("G");
    h.platform.folders.insert("G:\\FIRMWARE");
    h.platform.files[kDest + "vorm.bin"] = "old image";
    h.platform.files[kDest + "dsccmd.ini"] = "old commands";
    h.Open().OnUpdateClicked();
    EXPECT_EQ(h.platform.files[kDest + "vorm.bin"], Harness::FirmwareImage());
    EXPECT_EQ(h.platform.files[kDest + "dsccmd.ini"], "[CMD]\r\nUPDATE=1\r\n");
    EXPECT_EQ(h.platform.endResult, IDOK);
}

TEST(UpdateCommand, ReadsTheCurrentDirectoryAtThePressNotAtStart) {
    Harness h;
    h.PlugCamera("G");
    CUpdaterDialog& dialog = h.Open();
    h.platform.currentDirectory = "C:\\Later";
    h.platform.folders.insert("C:\\Later\\fw");
    h.platform.files["C:\\Later\\fw\\vorm.bin"] = "later image";
    h.platform.files["C:\\Later\\fw\\dsccmd.ini"] = "later cmd";
    dialog.OnUpdateClicked();
    EXPECT_EQ(h.platform.files[kDest + "vorm.bin"], "later image");
}

TEST(UpdateCommand, FolderValuesAreMadeWellFormedAndKeptOnTheDrive) {
    struct Case {
        const char* src;
        const char* dest;
        const char* written;
    };
    for (const Case& c :
         {Case{"\\fw", "", "G:\\vorm.bin"}, Case{"fw", "\\FIRMWARE", "G:\\FIRMWARE\\vorm.bin"},
          Case{"\\fw\\", "\\..\\..\\..\\x\\", "G:\\x\\vorm.bin"}}) {
        SCOPED_TRACE(std::string(c.src) + " " + c.dest);
        Harness h;
        h.platform.SetProfileValue(kIniPath, "SrcPath", "Path", c.src);
        h.platform.SetProfileValue(kIniPath, "DestPath", "Path", c.dest);
        h.PlugCamera("G");
        h.platform.folders.insert("G:\\x");
        h.Open().OnUpdateClicked();
        EXPECT_EQ(h.platform.files[c.written], Harness::FirmwareImage());
        EXPECT_EQ(h.platform.endResult, IDOK);
    }
}

TEST(FolderValues, TheDestinationIsResolvedOnTheTextAndNeverClimbsAboveTheRoot) {
    EXPECT_EQ(DestinationFolderFragment("\\FIRMWARE\\"), "\\FIRMWARE\\");
    EXPECT_EQ(DestinationFolderFragment("FW/sub"), "\\FW\\sub\\");
    EXPECT_EQ(DestinationFolderFragment(""), "\\");
    EXPECT_EQ(DestinationFolderFragment("\\..\\..\\x\\"), "\\x\\");
    EXPECT_EQ(DestinationFolderFragment("\\a\\.\\b\\..\\..\\..\\c\\\\d"), "\\c\\d\\");
    EXPECT_EQ(DestinationFolderFragment("..\\..."), "\\...\\");  // "..." is a name
    EXPECT_EQ(SourceFolderFragment(""), "\\");
    EXPECT_EQ(SourceFolderFragment("\\..\\fw"), "\\..\\fw\\");  // the source may climb
}

TEST(UpdateCommand, AMissingFolderSettingIsNamedAndNothingIsWritten) {
    for (const char* section : {"SrcPath", "DestPath"}) {
        SCOPED_TRACE(section);
        Harness h;
        h.platform.SetProfileValue(kIniPath, section, "Path", std::string(texts::kSettingMissing));
        h.PlugCamera("G");
        CUpdaterDialog& dialog = h.Open();
        dialog.OnUpdateClicked();
        ASSERT_EQ(h.platform.messages.size(), 1u);
        EXPECT_NE(h.platform.messages[0].find("[" + std::string(section) + "]"), std::string::npos)
            << h.platform.messages[0];
        EXPECT_EQ(h.platform.FilesUnder("G:").size(), 0u);
        EXPECT_EQ(h.platform.fileOps, 0);
        EXPECT_FALSE(h.platform.endResult.has_value());
    }
}

TEST(UpdateCommand, FoundWithoutADriveResolvesAgainAtThePress) {
    Harness h;
    h.platform.SetDrives({});
    h.platform.Plug({kCameraId});
    CUpdaterDialog& dialog = h.Open();
    ASSERT_TRUE(dialog.deviceFound());

    dialog.OnUpdateClicked();  // still no drive
    EXPECT_EQ(h.platform.messages, std::vector<std::string>{"please check device"});
    EXPECT_FALSE(h.platform.endResult.has_value());

    h.platform.SetDrives({"C", "G"});
    dialog.OnUpdateClicked();
    EXPECT_EQ(dialog.driveLetter(), "G");
    EXPECT_EQ(h.platform.files[kDest + "vorm.bin"], Harness::FirmwareImage());
    EXPECT_EQ(h.platform.endResult, IDOK);
}

TEST(UpdateCommand, UnreadableOrOverlongCurrentDirectoryIsReportedNotCopiedFrom) {
    for (bool unreadable : {true, false}) {
        Harness h;
        h.PlugCamera("G");
        CUpdaterDialog& dialog = h.Open();
        if (unreadable)
            h.platform.currentDirectory.reset();
        else
            h.platform.currentDirectory = "C:\\" + std::string(257, 'y');
        dialog.OnUpdateClicked();
        ASSERT_EQ(h.platform.messages.size(), 1u);
        EXPECT_NE(h.platform.messages[0].find("current folder could not be read"),
                  std::string::npos);
        EXPECT_FALSE(h.platform.endResult.has_value());
        EXPECT_TRUE(h.platform.FilesUnder("G:").empty());
    }
}

TEST(UpdateCommand, AfterAFailureTheNextPressLooksForTheDriveAgain) {
    Harness h;
    h.PlugCamera("G");
    CUpdaterDialog& dialog = h.Open();
    h.platform.SetDrives({"C"});  // the volume went away; the camera is still there
    h.platform.refusals["C"] = DriveRefusal::SystemDrive;
    dialog.OnUpdateClicked();
    ASSERT_EQ(h.platform.messages.size(), 1u);
    EXPECT_NE(h.platform.messages[0].find("running system"), std::string::npos)
        << h.platform.messages[0];
    EXPECT_NE(h.platform.messages[0], "Update success");

    h.platform.SetDrives({"C", "H"});  // back under another letter
    h.platform.Drive("H").diskId = "1";
    dialog.OnUpdateClicked();
    EXPECT_EQ(h.platform.files["H:\\FIRMWARE\\vorm.bin"], Harness::FirmwareImage());
    EXPECT_EQ(h.platform.endResult, IDOK);
}

TEST(DriveChoice, TheCamerasOwnVolumeIsWrittenWhereverItStandsAndNothingElse) {
    // An older disk is the last drive when the camera is matched; its own
    // volume appears before the press, and a stick is plugged after it.
    Harness h;
    h.platform.SetDrives({"C", "E"});
    h.platform.Plug({kCameraId, kCameraIdNoRev}, kCameraInstance);
    CUpdaterDialog& dialog = h.Open();
    ASSERT_TRUE(dialog.deviceFound());
    h.platform.SetDrives({"C", "E", "G"});
    h.platform.Drive("G").diskId = "1";
    h.AddDisk("1", {"USBSTOR\\DISK&VEN_VORM\\CAM0001&0", kCameraInstance, kRootHub});
    h.PlugStick("H");
    dialog.OnUpdateClicked();
    EXPECT_EQ(dialog.driveLetter(), "G");
    EXPECT_EQ(h.platform.FilesUnder("G:").size(), 2u);
    EXPECT_TRUE(h.platform.FilesUnder("E:").empty());
    EXPECT_TRUE(h.platform.FilesUnder("H:").empty());
    EXPECT_EQ(h.platform.endResult, IDOK);
}

TEST(DriveChoice, TheLastOfTheCamerasVolumesIsTaken) {
    Harness h;
    h.PlugCamera("G");
    h.platform.Drive("K");
    h.platform.Drive("K").diskId = "1";
    h.PlugStick("M");
    h.Open().OnUpdateClicked();
    EXPECT_EQ(h.platform.files["K:\\FIRMWARE\\vorm.bin"], Harness::FirmwareImage());
    EXPECT_TRUE(h.platform.FilesUnder("G:").empty());
    EXPECT_TRUE(h.platform.FilesUnder("M:").empty());
}

TEST(DriveChoice, WithoutAVolumeOfItsOwnTheLastDriveIsTakenAndStillChecked) {
    for (bool walkFails : {false, true}) {
        SCOPED_TRACE(walkFails ? "failing walk" : "no volume below the camera");
        Harness h;
        h.platform.Plug({kCameraId}, kCameraInstance);  // as under Wine: no disk below it
        h.platform.SetDrives({"C", "G", "Z"});
        h.platform.refusals["Z"] = DriveRefusal::Network;
        if (walkFails) {
            h.AddDisk("1", {kCameraInstance});
            h.platform.Drive("C").diskId = "1";  // never believed: the walk failed
            h.platform.layoutError = SystemError{ErrorKind::Other, 5, "Access is denied."};
        }
        CUpdaterDialog& dialog = h.Open();
        dialog.OnUpdateClicked();
        ASSERT_EQ(h.platform.messages.size(), 1u);
        EXPECT_NE(h.platform.messages[0].find("network drive"), std::string::npos)
            << h.platform.messages[0];
        EXPECT_TRUE(h.platform.FilesUnder("Z:").empty());

        h.platform.tree.layout.drives.pop_back();
        h.platform.messages.clear();
        dialog.OnUpdateClicked();
        EXPECT_EQ(h.platform.messages, std::vector<std::string>{"Update success"});
        EXPECT_EQ(h.platform.FilesUnder("G:").size(), 2u);
        EXPECT_TRUE(h.platform.FilesUnder("C:\\FIRMWARE").empty());
    }
}

TEST(DriveChoice, ACameraUnpluggedAfterAFailureIsWaitedForAgain) {
    Harness h;
    h.PlugCamera("G");
    h.platform.SetDrives({"C", "D"});  // its volume is not mounted: D is taken and refused
    h.platform.refusals["D"] = DriveRefusal::NotRemovable;
    CUpdaterDialog& dialog = h.Open();
    dialog.OnUpdateClicked();
    ASSERT_EQ(h.platform.messages.size(), 1u);

    h.platform.UnplugAll();
    h.platform.refusals.clear();
    h.platform.messages.clear();
    dialog.OnUpdateClicked();
    EXPECT_EQ(h.platform.messages, std::vector<std::string>{"please check device"});
    EXPECT_FALSE(dialog.deviceFound());
    EXPECT_TRUE(h.platform.TimerRunning(POLL_TIMER_ID));
    EXPECT_EQ(h.platform.fileOps, 0);

    h.PlugCamera("F", "7");
    h.platform.FireTimers();
    EXPECT_TRUE(dialog.deviceFound());
    dialog.OnUpdateClicked();
    EXPECT_EQ(h.platform.files["F:\\FIRMWARE\\vorm.bin"], Harness::FirmwareImage());
}

}  // namespace
}  // namespace orvane::testing
