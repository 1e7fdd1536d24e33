// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The Linux program against real volumes on loop devices: the camera's own
// volume is written and nothing else, whatever is mounted after it, and no
// destination leaves it. Needs root for the loop devices and mounts, which are
// made in a private mount namespace; skips, saying why, without it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include "platform/linux/beneath.h"
#include "platform/linux/linux_platform.h"
#include "recording_window.h"
#include "temp_tree.h"
#include "texts/texts.h"
#include "ui/updater_dialog.h"

namespace orvane::linux_port {
namespace {

using testing::ReadFile;
using testing::RecordingWindow;
using testing::TempTree;

// The standard output of a shell command, without its last newline; empty
// when it fails.
std::string Run(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
        if (::pclose(pipe) != 0) return {};
    }
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

// An ext4 image on a loop device, detached at the end. ext4 rather than FAT:
// it can hold the symbolic links the tests plant.
class LoopVolume {
  public:
    LoopVolume(const std::filesystem::path& image) {
        if (Run("truncate -s 4M '" + image.string() + "' && mkfs.ext4 -q -F '" + image.string() +
                "' && echo ok") != "ok")
            return;
        device_ = Run("losetup -f --show '" + image.string() + "'");
        struct stat status {};
        if (!device_.empty() && ::stat(device_.c_str(), &status) == 0)
            number_ =
                std::to_string(major(status.st_rdev)) + ":" + std::to_string(minor(status.st_rdev));
    }
    ~LoopVolume() {
        if (!device_.empty()) Run("losetup -d " + device_);
    }
    LoopVolume(const LoopVolume&) = delete;
    LoopVolume& operator=(const LoopVolume&) = delete;
    const std::string& device() const { return device_; }
    const std::string& number() const { return number_; }  // "major:minor"

  private:
    std::string device_;
    std::string number_;
};

class CameraVolume : public ::testing::Test {
  protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "needs root for loop devices and mounts";
        if (::unshare(CLONE_NEWNS) != 0)
            GTEST_SKIP() << "cannot make a private mount namespace: " << std::strerror(errno);
        ASSERT_EQ(::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0)
            << std::strerror(errno);
        cameraImage.emplace(tree / "camera.img");
        stickImage.emplace(tree / "stick.img");
        if (cameraImage->device().empty() || stickImage->device().empty())
            GTEST_SKIP() << "no free loop device or no mkfs.ext4";

        tree.Write("work/FirmWare.ini",
                   "[PID_VID]\nPID_VID=USB\\VID_1D6C&PID_00AB&REV_0100\n"
                   "[SrcPath]\nPath=\\fw\\\n[DestPath]\nPath=\\FIRMWARE\\\n");
        tree.Write("work/fw/vorm.bin", std::string(50000, 'f') + "image end");
        tree.Write("work/fw/dsccmd.ini", "[Update]\nFile=vorm.bin\n");
        // The camera, then a stick, on two ports of one root hub; sysfs
        // places each one's disk below it, and the loop devices stand in
        // for those disks.
        PlugUsb("1-4", "1d6c", "00ab", *cameraImage);
        PlugUsb("1-5", "0951", "1666", *stickImage);
        camera = Mount(cameraImage->device(), "media/CAMERA");
        stick = Mount(stickImage->device(), "media/STICK");
        outside = tree.MakeFolder("outside");

        previousDirectory = std::filesystem::current_path();
        std::filesystem::current_path(tree / "work");
    }

    void TearDown() override {
        if (!previousDirectory.empty()) std::filesystem::current_path(previousDirectory);
        for (auto it = mounts.rbegin(); it != mounts.rend(); ++it)
            ::umount2(it->c_str(), MNT_DETACH);
    }

    void PlugUsb(const std::string& port, const std::string& vendor, const std::string& product,
                 const LoopVolume& volume) {
        const std::string device = "sys/devices/pci0000:00/0000:00:14.0/usb1/" + port;
        tree.Write(device + "/idVendor", vendor + "\n");
        tree.Write(device + "/idProduct", product + "\n");
        tree.Write(device + "/bcdDevice", "0100\n");
        tree.MakeFolder("sys/bus/usb/devices");
        std::filesystem::create_directory_symlink(tree / device,
                                                  tree / ("sys/bus/usb/devices/" + port));
        const std::string disk = device + "/" + port + ":1.0/host7/target7:0:0/7:0:0:0/block/sd";
        tree.Write(disk + "/removable", "1\n");
        tree.MakeFolder("sys/dev/block");
        std::filesystem::create_directory_symlink(tree / disk,
                                                  tree / ("sys/dev/block/" + volume.number()));
    }

    std::filesystem::path Mount(const std::string& device, const std::string& where) {
        std::filesystem::path point = tree.MakeFolder(where);
        EXPECT_EQ(::mount(device.c_str(), point.c_str(), "ext4", 0, nullptr), 0)
            << device << ": " << std::strerror(errno);
        mounts.push_back(point);
        return point;
    }

    SystemRoots Roots() const {
        return {tree / "sys/bus/usb/devices", "/proc/self/mountinfo", tree / "sys/dev/block"};
    }

    // Starts the dialog, finds the camera, presses UpDate once.
    std::string Press(Platform& platform) {
        window.messages.clear();
        CUpdaterDialog dialog(platform);
        dialog.OnInitDialog();
        EXPECT_TRUE(dialog.deviceFound());
        dialog.OnUpdateClicked();
        EXPECT_EQ(window.messages.size(), 1u);
        return window.messages.empty() ? std::string() : window.messages[0];
    }

    // Every file below `folder` but the ext4 bookkeeping.
    static std::vector<std::string> FilesBelow(const std::filesystem::path& folder) {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
            std::string name = std::filesystem::relative(entry.path(), folder).string();
            if (name.rfind("lost+found", 0) != 0) names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    TempTree tree;
    std::optional<LoopVolume> cameraImage, stickImage;
    std::filesystem::path camera, stick, outside, previousDirectory;
    std::vector<std::filesystem::path> mounts;
    RecordingWindow window;
};

TEST_F(CameraVolume, AStickMountedAfterTheCameraGetsNothing) {
    LinuxPlatform platform(window, Roots());
    EXPECT_EQ(Press(platform), texts::kUpdateSuccess);
    EXPECT_EQ(FilesBelow(camera),
              (std::vector<std::string>{"FIRMWARE", "FIRMWARE/dsccmd.ini", "FIRMWARE/vorm.bin"}));
    EXPECT_EQ(ReadFile(camera / "FIRMWARE/vorm.bin"), ReadFile(tree / "work/fw/vorm.bin"));
    EXPECT_TRUE(FilesBelow(stick).empty());
}

TEST_F(CameraVolume, NoDestinationWritesOutsideTheVolume) {
    // ".." is resolved on the text, so this is the folder "escape" on the camera.
    tree.Write("work/FirmWare.ini",
               "[PID_VID]\nPID_VID=USB\\VID_1D6C&PID_00AB&REV_0100\n"
               "[SrcPath]\nPath=\\fw\\\n[DestPath]\nPath=\\..\\..\\..\\outside\\\n");
    {
        LinuxPlatform platform(window, Roots());
        EXPECT_EQ(Press(platform), texts::kUpdateSuccess);
        EXPECT_EQ(FilesBelow(camera),
                  (std::vector<std::string>{"outside", "outside/dsccmd.ini", "outside/vorm.bin"}));
        std::filesystem::remove_all(camera / "outside");
    }
    // A link on the volume to a folder off it, and another volume mounted
    // inside the destination: both refused, by path.
    std::filesystem::create_directory_symlink(outside, camera / "outside");
    tree.MakeFolder("media/CAMERA/FIRMWARE");
    std::filesystem::path inner = Mount(stickImage->device(), "media/CAMERA/FIRMWARE");
    for (const char* destination : {"\\outside\\", "\\FIRMWARE\\"}) {
        SCOPED_TRACE(destination);
        tree.Write("work/FirmWare.ini",
                   "[PID_VID]\nPID_VID=USB\\VID_1D6C&PID_00AB&REV_0100\n"
                   "[SrcPath]\nPath=\\fw\\\n[DestPath]\nPath=" +
                       std::string(destination) + "\n");
        LinuxPlatform platform(window, Roots());
        const std::string message = Press(platform);
        EXPECT_NE(message.find("leads off the camera's drive"), std::string::npos) << message;
        EXPECT_NE(message.find(camera.string()), std::string::npos) << message;
    }
    // Where the kernel lacks openat2, the walk stops at the mount too.
    const int root = ::open(camera.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    EXPECT_EQ(OpenBeneath(root, "FIRMWARE/x", O_WRONLY | O_CREAT | O_EXCL, 0644, Resolution::Walk),
              -1);
    EXPECT_EQ(errno, EXDEV);
    ::close(root);
    EXPECT_TRUE(FilesBelow(outside).empty());
    EXPECT_TRUE(FilesBelow(inner).empty());
    EXPECT_TRUE(FilesBelow(stick).empty());
}

// Unmounts the camera right after the drive check, as a user pulling the
// cable would: its mount point is then an empty folder of another filesystem.
class UnmountAfterCheck : public LinuxPlatform {
  public:
    UnmountAfterCheck(WindowSide& window, SystemRoots roots, std::filesystem::path camera)
        : LinuxPlatform(window, std::move(roots)), camera_(std::move(camera)) {}
    DriveRefusal CheckDrive(std::string_view drive) override {
        DriveRefusal refusal = LinuxPlatform::CheckDrive(drive);
        ::umount2(camera_.c_str(), MNT_DETACH);
        return refusal;
    }

  private:
    std::filesystem::path camera_;
};

TEST_F(CameraVolume, AVolumeUnmountedAfterTheCheckIsNotWrittenThroughItsMountPoint) {
    UnmountAfterCheck platform(window, Roots(), camera);
    const std::string message = Press(platform);
    EXPECT_NE(message.find("no longer there"), std::string::npos) << message;
    EXPECT_TRUE(FilesBelow(camera).empty());
}

}  // namespace
}  // namespace orvane::linux_port
