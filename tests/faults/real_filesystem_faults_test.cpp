// Faults of a real filesystem under the transfer: a drive that fills up
// mid-file, a read-only drive, and a destination folder removed between two
// steps. The camera's volume is a size-limited tmpfs mounted in a private
// mount namespace, so these tests need root; they skip, saying why, without it.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/linux/linux_platform.h"
#include "recording_window.h"
#include "temp_tree.h"
#include "ui/texts.h"
#include "ui/updater_dialog.h"

namespace orvane::linux_port {
namespace {

using testing::ReadFile;
using testing::RecordingWindow;
using testing::TempTree;

constexpr std::size_t kPage = 4096;
const std::string kOldImage = "old image, whole and working";
const std::string kOldCommands = "[Update]\nFile=old\n";

class RealFilesystemFaults : public ::testing::Test {
  protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "needs root to mount a tmpfs as the camera";
        if (::unshare(CLONE_NEWNS) != 0)
            GTEST_SKIP() << "cannot make a private mount namespace: " << std::strerror(errno);
        // Nothing mounted here may leak out to the rest of the machine.
        ASSERT_EQ(::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0)
            << std::strerror(errno);

        tree.Write("work/FirmWare.ini",
                   "[PID_VID]\nPID_VID=USB\\VID_1D6C&PID_00AB&REV_0100\n"
                   "[SrcPath]\nPath=\\fw\\\n[DestPath]\nPath=\\FIRMWARE\\\n");
        tree.Write("sys/bus/usb/devices/1-4/idVendor", "1d6c\n");
        tree.Write("sys/bus/usb/devices/1-4/idProduct", "00ab\n");
        tree.Write("sys/bus/usb/devices/1-4/bcdDevice", "0100\n");
        const std::string disk = "sys/devices/pci0000:00/usb1/1-4/1-4:1.0/host7/block/sdc";
        tree.Write(disk + "/removable", "1\n");
        tree.MakeFolder(disk + "/sdc1");
        tree.MakeFolder("sys/dev/block");
        std::filesystem::create_directory_symlink(tree / (disk + "/sdc1"),
                                                  tree / "sys/dev/block/8:33");
        camera = tree.MakeFolder("camera");
        tree.Write("mountinfo", "1 0 8:2 / / rw - ext4 /dev/sda2 rw\n2 1 8:33 / " +
                                    camera.string() + " rw - vfat /dev/sdc1 rw\n");
        previousDirectory = std::filesystem::current_path();
        std::filesystem::current_path(tree / "work");
    }

    void TearDown() override {
        if (!previousDirectory.empty()) std::filesystem::current_path(previousDirectory);
        if (mounted) ::umount2(camera.c_str(), MNT_DETACH);
    }

    // Mounts a tmpfs of `pages` pages as the camera, holding the old files.
    void MountCamera(std::size_t pages) {
        const std::string options = "size=" + std::to_string(pages * kPage);
        ASSERT_EQ(::mount("tmpfs", camera.c_str(), "tmpfs", 0, options.c_str()), 0)
            << std::strerror(errno);
        mounted = true;
        tree.Write("camera/FIRMWARE/vorm.bin", kOldImage);
        tree.Write("camera/FIRMWARE/dsccmd.ini", kOldCommands);
    }

    std::size_t FreePages() const {
        struct statvfs volume {};
        ::statvfs(camera.c_str(), &volume);
        return volume.f_bavail * volume.f_frsize / kPage;
    }

    void WriteSources(std::size_t imageSize, std::size_t commandsSize) {
        std::string image(imageSize, '\0');
        for (std::size_t i = 0; i < imageSize; ++i) image[i] = static_cast<char>(i * 7 + 1);
        tree.Write("work/fw/vorm.bin", image);
        tree.Write("work/fw/dsccmd.ini", std::string(commandsSize, 'c'));
    }

    SystemRoots Roots() const {
        return {tree / "sys/bus/usb/devices", tree / "mountinfo", tree / "sys/dev/block"};
    }

    // Runs the dialog as a user would: start, camera found, one press.
    void PressUpdate(Platform& platform) {
        CUpdaterDialog dialog(platform);
        dialog.OnInitDialog();
        ASSERT_TRUE(dialog.deviceFound());
        ASSERT_EQ(dialog.driveLetter(), camera.string());
        dialog.OnUpdateClicked();
    }

    // The checks every fault shares: told, not closed, nothing half-done left.
    void ExpectFailureReported(const std::string& expectedWords) {
        ASSERT_EQ(window.messages.size(), 1u);
        const std::string& message = window.messages[0];
        EXPECT_NE(message, texts::kUpdateSuccess);
        EXPECT_NE(message.find(expectedWords), std::string::npos) << message;
        EXPECT_FALSE(window.endResult.has_value());
        if (std::filesystem::exists(camera / "FIRMWARE")) {
            for (const auto& entry : std::filesystem::directory_iterator(camera / "FIRMWARE"))
                EXPECT_EQ(entry.path().string().find(".orvtmp"), std::string::npos) << entry.path();
        }
    }

    void ExpectOldFilesKept() {
        EXPECT_EQ(ReadFile(camera / "FIRMWARE/vorm.bin"), kOldImage);
        EXPECT_EQ(ReadFile(camera / "FIRMWARE/dsccmd.ini"), kOldCommands);
    }

    TempTree tree;
    std::filesystem::path camera;
    std::filesystem::path previousDirectory;
    bool mounted = false;
    RecordingWindow window;
};

TEST_F(RealFilesystemFaults, DriveThatFillsUpMidFileKeepsTheOldFiles) {
    MountCamera(64);
    const std::size_t pages = FreePages();
    ASSERT_GT(pages, 8u);
    // Both files fit by their byte count, so the free-space check lets them
    // through, but each ends one byte into a page: together they need one
    // page more than there is, and the command file runs out mid-way.
    WriteSources(kPage * (pages - 3) + 1, 2 * kPage + 1);
    LinuxPlatform platform(window, Roots());
    PressUpdate(platform);
    ExpectFailureReported("The camera's drive is full.");
    ExpectOldFilesKept();
}

TEST_F(RealFilesystemFaults, DriveTooSmallForTheUpdateIsRefusedBeforeWriting) {
    MountCamera(16);
    WriteSources(kPage * (FreePages() + 1), 10);
    LinuxPlatform platform(window, Roots());
    PressUpdate(platform);
    ExpectFailureReported("There is not enough room on drive");
    ExpectOldFilesKept();
}

// An earlier run cut short left its temporary files on a nearly full camera;
// the update fits only in the room they take.
TEST_F(RealFilesystemFaults, StaleTemporariesAreRemovedAndTheirRoomCounts) {
    MountCamera(64);
    tree.Write("camera/FIRMWARE/vorm.bin.orvtmp", std::string(40 * kPage, 's'));
    tree.Write("camera/FIRMWARE/dsccmd.ini.orvtmp", "stale");
    WriteSources(kPage * (FreePages() + 5), 100);
    LinuxPlatform platform(window, Roots());
    PressUpdate(platform);
    EXPECT_EQ(window.messages, std::vector<std::string>{std::string(texts::kUpdateSuccess)});
    EXPECT_EQ(ReadFile(camera / "FIRMWARE/vorm.bin"), ReadFile(tree / "work/fw/vorm.bin"));
    EXPECT_FALSE(std::filesystem::exists(camera / "FIRMWARE/vorm.bin.orvtmp"));
    EXPECT_FALSE(std::filesystem::exists(camera / "FIRMWARE/dsccmd.ini.orvtmp"));
}

TEST_F(RealFilesystemFaults, ReadOnlyDriveIsReportedAsWriteProtected) {
    MountCamera(64);
    ASSERT_EQ(::mount(nullptr, camera.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0)
        << std::strerror(errno);
    WriteSources(50000, 100);
    LinuxPlatform platform(window, Roots());
    PressUpdate(platform);
    ExpectFailureReported("write-protected");
    ExpectOldFilesKept();
}

// A platform whose destination folder disappears right after one step, as
// when another program or the camera itself removes it.
class VanishingFolderPlatform : public LinuxPlatform {
  public:
    VanishingFolderPlatform(WindowSide& window, SystemRoots roots, std::string folder,
                            std::string afterCreating)
        : LinuxPlatform(window, std::move(roots)),
          folder_(std::move(folder)),
          afterCreating_(std::move(afterCreating)) {}

    Status MakeDirectory(std::string_view path) override {
        Status made = LinuxPlatform::MakeDirectory(path);
        if (afterCreating_.empty()) std::filesystem::remove_all(folder_);
        return made;
    }
    Result<std::unique_ptr<WritableFile>> CreateForWrite(std::string_view path) override {
        if (!afterCreating_.empty() && path.find(afterCreating_) != std::string_view::npos)
            std::filesystem::remove_all(folder_);
        return LinuxPlatform::CreateForWrite(path);
    }

  private:
    std::string folder_;
    std::string afterCreating_;  // empty: right after the folder is made
};

TEST_F(RealFilesystemFaults, DestinationFolderRemovedBetweenStepsIsReported) {
    for (const char* when : {"", "dsccmd.ini"}) {
        SCOPED_TRACE(std::string("removed before writing ") + (*when ? when : "anything"));
        if (mounted) {
            ASSERT_EQ(::umount2(camera.c_str(), 0), 0);
        }
        ASSERT_EQ(::mount("tmpfs", camera.c_str(), "tmpfs", 0, "size=4m"), 0);
        mounted = true;
        window.messages.clear();
        WriteSources(300000, 100);
        VanishingFolderPlatform platform(window, Roots(), (camera / "FIRMWARE").string(), when);
        PressUpdate(platform);
        ExpectFailureReported("does not exist");
        EXPECT_FALSE(std::filesystem::exists(camera / "FIRMWARE/vorm.bin"));
    }
}

}  // namespace
}  // namespace orvane::linux_port
