// The "UpDate" button from the user's side: what is written and what is said.
#include <gtest/gtest.h>

#include "harness.h"
#include "ui/texts.h"

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

TEST(UpdateCommand, EmptyDestPathWritesToTheDriveRoot) {
    Harness h;
    h.platform.SetProfileValue(kIniPath, "DestPath", "Path", "");
    h.PlugCamera("G");
    h.Open().OnUpdateClicked();
    EXPECT_EQ(h.platform.files["G:vorm.bin"], Harness::FirmwareImage());
    EXPECT_EQ(h.platform.endResult, IDOK);
}

TEST(UpdateCommand, SourcePathWithoutTrailingSeparatorReportsTheMissingFile) {
    Harness h;
    h.platform.SetProfileValue(kIniPath, "SrcPath", "Path", "\\fw");
    h.PlugCamera("G");
    h.platform.folders.insert("G:\\FIRMWARE");
    h.platform.files[kDest + "vorm.bin"] = "old image";
    CUpdaterDialog& dialog = h.Open();
    dialog.OnUpdateClicked();
    ASSERT_EQ(h.platform.messages.size(), 1u);
    const std::string& message = h.platform.messages[0];
    EXPECT_NE(message.find("vorm.bin was not found in the folder C:\\Tools\\Update\\fw"),
              std::string::npos)
        << message;
    EXPECT_FALSE(h.platform.endResult.has_value());
    EXPECT_EQ(h.platform.files[kDest + "vorm.bin"], "old image");
    EXPECT_EQ(h.platform.FilesUnder("G:").size(), 1u);
}

TEST(UpdateCommand, FoundWithoutADriveResolvesAgainAtThePress) {
    Harness h;
    h.platform.drives.clear();
    h.platform.Plug({kCameraId});
    CUpdaterDialog& dialog = h.Open();
    ASSERT_TRUE(dialog.deviceFound());
    ASSERT_EQ(dialog.driveLetter(), "");

    dialog.OnUpdateClicked();  // still no drive
    EXPECT_EQ(h.platform.messages, std::vector<std::string>{"please check device"});
    EXPECT_FALSE(h.platform.endResult.has_value());

    h.platform.drives = {"C", "G"};
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
    h.platform.drives = {"C"};  // unplugged: G is gone
    dialog.OnUpdateClicked();
    ASSERT_EQ(h.platform.messages.size(), 1u);
    EXPECT_NE(h.platform.messages[0].find("G:"), std::string::npos) << h.platform.messages[0];
    EXPECT_NE(h.platform.messages[0], "Update success");

    h.platform.drives = {"C", "H"};  // back under another letter
    h.platform.folders.clear();
    h.platform.folders = {"C:\\Tools", "C:\\Tools\\Update", "C:\\Tools\\Update\\fw"};
    dialog.OnUpdateClicked();
    EXPECT_EQ(h.platform.files["H:\\FIRMWARE\\vorm.bin"], Harness::FirmwareImage());
    EXPECT_EQ(h.platform.endResult, IDOK);
}

}  // namespace
}  // namespace orvane::testing
