// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Faults of a real filesystem under the transfer: a drive that fills up
// mid-file, one short of room only by the slack of each file's last cluster,
// a read-only drive, and a destination folder removed between two steps. The
// camera's volume is a size-limited tmpfs, and again an exFAT card through
// FUSE; the file operations are also tried on a FAT32 card. Everything is
// mounted in a private mount namespace, so these tests need root; they skip,
// saying why, without it (and the card ones without FUSE).
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "card_volume.h"
#include "platform/linux/linux_platform.h"
#include "recording_window.h"
#include "temp_tree.h"
#include "texts/texts.h"
#include "ui/updater_dialog.h"

namespace orvane::linux_port {
namespace {

using testing::CardFormat;
using testing::CardUnavailable;
using testing::CardVolume;
using testing::EnterPrivateMountNamespace;
using testing::ReadFile;
using testing::RecordingWindow;
using testing::TempTree;

constexpr std::size_t kPage = 4096;
// Far larger than a page, as on a card, so that slack counts.
constexpr std::uint64_t kExfatCluster = 32768;
const std::string kOldImage = "old image, whole and working";
const std::string kOldCommands = "[Update]\nFile=old\n";

enum class Volume { Tmpfs, Exfat };

class RealFilesystemFaults : public ::testing::TestWithParam<Volume> {
  protected:
    void SetUp() override {
        // Nothing mounted here may leak out to the rest of the machine.
        if (std::string why = EnterPrivateMountNamespace(); !why.empty()) GTEST_SKIP() << why;
        if (GetParam() == Volume::Exfat) {
            if (std::string why = CardUnavailable(CardFormat::Exfat); !why.empty())
                GTEST_SKIP() << why;
        }

        tree.Write("work/FirmWare.ini",
                   "[PID_VID]\nPID_VID=USB\\VID_1D6C&PID_00AB&REV_0100\n"
                   "[SrcPath]\nPath=\\fw\\\n[DestPath]\nPath=\\FIRMWARE\\\n");
        const std::string device = "sys/devices/pci0000:00/usb1/1-4";
        tree.Write(device + "/idVendor", "1d6c\n");
        tree.Write(device + "/idProduct", "00ab\n");
        tree.Write(device + "/bcdDevice", "0100\n");
        tree.MakeFolder("sys/bus/usb/devices");
        std::filesystem::create_directory_symlink(tree / device, tree / "sys/bus/usb/devices/1-4");
        tree.Write(device + "/1-4:1.0/host7/block/sdc/removable", "1\n");
        tree.MakeFolder(device + "/1-4:1.0/host7/block/sdc/sdc1");
        tree.MakeFolder("sys/dev/block");
        camera = tree.MakeFolder("camera");
        previousDirectory = std::filesystem::current_path();
        std::filesystem::current_path(tree / "work");
    }

    void TearDown() override {
        if (!previousDirectory.empty()) std::filesystem::current_path(previousDirectory);
        Unmount();
    }

    // The mount table and sysfs name the mounted tmpfs by its own device
    // number, as the camera's partition.
    void RecordMount() {
        const std::string number = testing::DeviceNumberOf(camera);
        const std::filesystem::path link = tree / ("sys/dev/block/" + number);
        std::filesystem::remove(link);
        std::filesystem::create_directory_symlink(
            tree / "sys/devices/pci0000:00/usb1/1-4/1-4:1.0/host7/block/sdc/sdc1", link);
        tree.Write("mountinfo", "1 0 8:2 / / rw - ext4 /dev/sda2 rw\n2 1 " + number + " / " +
                                    camera.string() + " rw - vfat /dev/sdc1 rw\n");
    }

    // Mounts a small camera volume holding the old files: a tmpfs of 64
    // pages, or the smallest exFAT card mkfs.exfat makes.
    void MountCamera() {
        Unmount();
        if (GetParam() == Volume::Tmpfs) {
            const std::string options = "size=" + std::to_string(64 * kPage);
            ASSERT_EQ(::mount("tmpfs", camera.c_str(), "tmpfs", 0, options.c_str()), 0)
                << std::strerror(errno);
            tmpfsMounted = true;
        } else {
            card = std::make_unique<CardVolume>(CardFormat::Exfat, tree / "card.img", camera,
                                                4 << 20, kExfatCluster);
            ASSERT_EQ(card->error(), "");
        }
        RecordMount();
        tree.Write("camera/FIRMWARE/vorm.bin", kOldImage);
        tree.Write("camera/FIRMWARE/dsccmd.ini", kOldCommands);
    }

    void Unmount() {
        if (tmpfsMounted) ::umount2(camera.c_str(), MNT_DETACH);
        tmpfsMounted = false;
        card.reset();
    }

    // The volume's allocation unit, and how many of them are free.
    std::size_t Unit() const {
        struct statvfs volume {};
        ::statvfs(camera.c_str(), &volume);
        return volume.f_frsize;
    }
    std::size_t FreeUnits() const {
        struct statvfs volume {};
        ::statvfs(camera.c_str(), &volume);
        return volume.f_bavail;
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
        dialog.OnUpdateClicked();
        EXPECT_EQ(dialog.driveLetter(), camera.string());
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
    bool tmpfsMounted = false;
    std::unique_ptr<CardVolume> card;
    RecordingWindow window;
};

// A platform that reports more room than the volume has, as when another
// program fills the card between the check and the write.
class OverstatingPlatform : public LinuxPlatform {
  public:
    using LinuxPlatform::LinuxPlatform;
    Result<VolumeSpace> FreeSpace(std::string_view path) override {
        Result<VolumeSpace> space = LinuxPlatform::FreeSpace(path);
        if (space.ok()) space.value().freeBytes += std::uint64_t{1} << 30;
        return space;
    }
};

TEST_P(RealFilesystemFaults, DriveThatFillsUpMidFileKeepsTheOldFiles) {
    MountCamera();
    WriteSources(Unit() * FreeUnits() - Unit() / 2, 3 * Unit());
    OverstatingPlatform platform(window, Roots());
    PressUpdate(platform);
    ExpectFailureReported("The camera's drive is full.");
    ExpectOldFilesKept();
}

TEST_P(RealFilesystemFaults, DriveShortOnlyOfClusterSlackIsRefusedBeforeWriting) {
    MountCamera();
    const std::size_t unit = Unit(), free = FreeUnits();
    ASSERT_GT(free, 8u);
    LinuxPlatform platform(window, Roots());
    auto space = platform.FreeSpace(camera.string());
    ASSERT_TRUE(space.ok());
    EXPECT_EQ(space.value().clusterBytes, GetParam() == Volume::Exfat ? kExfatCluster : kPage);
    // Both files fit by their byte count, but each ends one byte into an
    // allocation unit: together they need one unit more than there is.
    WriteSources(unit * (free - 3) + 1, 2 * unit + 1);
    PressUpdate(platform);
    ExpectFailureReported("There is not enough room on drive");
    ExpectOldFilesKept();
    EXPECT_FALSE(std::filesystem::exists(camera / "FIRMWARE/vorm.bin.orvtmp"));
    EXPECT_EQ(FreeUnits(), free);  // nothing was written
}

// An earlier run cut short left its temporary files on a nearly full camera;
// the update fits only in the room they take.
TEST_P(RealFilesystemFaults, StaleTemporariesAreRemovedAndTheirRoomCounts) {
    MountCamera();
    tree.Write("camera/FIRMWARE/vorm.bin.orvtmp", std::string(40 * Unit(), 's'));
    tree.Write("camera/FIRMWARE/dsccmd.ini.orvtmp", "stale");
    WriteSources(Unit() * (FreeUnits() + 5), 100);
    LinuxPlatform platform(window, Roots());
    PressUpdate(platform);
    EXPECT_EQ(window.messages, std::vector<std::string>{std::string(texts::kUpdateSuccess)});
    EXPECT_EQ(ReadFile(camera / "FIRMWARE/vorm.bin"), ReadFile(tree / "work/fw/vorm.bin"));
    EXPECT_FALSE(std::filesystem::exists(camera / "FIRMWARE/vorm.bin.orvtmp"));
    EXPECT_FALSE(std::filesystem::exists(camera / "FIRMWARE/dsccmd.ini.orvtmp"));
}

TEST_P(RealFilesystemFaults, ReadOnlyDriveIsReportedAsWriteProtected) {
    MountCamera();
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

TEST_P(RealFilesystemFaults, DestinationFolderRemovedBetweenStepsIsReported) {
    for (const char* when : {"", "dsccmd.ini"}) {
        SCOPED_TRACE(std::string("removed before writing ") + (*when ? when : "anything"));
        MountCamera();
        window.messages.clear();
        WriteSources(100000, 100);
        VanishingFolderPlatform platform(window, Roots(), (camera / "FIRMWARE").string(), when);
        PressUpdate(platform);
        ExpectFailureReported("does not exist");
        EXPECT_FALSE(std::filesystem::exists(camera / "FIRMWARE/vorm.bin"));
    }
}

// The file operations the transfer is made of, on a FAT32 card with 512-byte
// clusters: a card that fills up, a replace over an existing file, and the
// read-back past the cache.
class Fat32Card : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::string why = EnterPrivateMountNamespace(); !why.empty()) GTEST_SKIP() << why;
        if (std::string why = CardUnavailable(CardFormat::Fat32); !why.empty()) GTEST_SKIP() << why;
        card = std::make_unique<CardVolume>(CardFormat::Fat32, tree / "card.img",
                                            tree.MakeFolder("card"), 40 << 20, 512);
        ASSERT_EQ(card->error(), "");
    }

    std::string Read(const std::string& path, ReadCaching caching) {
        auto file = platform.OpenForRead(path, caching);
        EXPECT_TRUE(file.ok()) << file.error().text;
        if (!file.ok()) return {};
        std::string bytes(file.value()->Size(), '\0');
        std::size_t done = 0;
        while (done < bytes.size()) {
            auto read = file.value()->Read(
                std::as_writable_bytes(std::span(bytes.data() + done, bytes.size() - done)));
            if (!read.ok() || read.value() == 0) break;
            done += read.value();
        }
        EXPECT_EQ(done, bytes.size());
        return bytes;
    }

    TempTree tree;
    std::unique_ptr<CardVolume> card;
    RecordingWindow window;
    LinuxPlatform platform{window, {}};
};

TEST_F(Fat32Card, FileOperationsOnAFullCardAndAReplace) {
    const std::string folder = tree / "card/FIRMWARE";
    ASSERT_TRUE(platform.MakeDirectory(folder).ok());
    const std::string image = folder + "/vorm.bin", temporary = image + ".orvtmp";
    tree.Write("card/FIRMWARE/vorm.bin", kOldImage);

    // The card fills up and the write fails. fusefat answers EPERM there,
    // where the kernel's FAT driver answers ENOSPC.
    auto filler = platform.CreateForWrite(folder + "/filler");
    ASSERT_TRUE(filler.ok());
    const std::string chunk(1 << 20, 'f');
    Status written = Ok();
    for (int i = 0; i < 64 && written.ok(); ++i)
        written = filler.value()->Write(std::as_bytes(std::span(chunk)));
    ASSERT_FALSE(written.ok());
    EXPECT_TRUE(written.error().kind == ErrorKind::DiskFull ||
                written.error().kind == ErrorKind::AccessDenied)
        << written.error().text;
    filler.value().reset();
    ASSERT_TRUE(platform.RemoveFile(folder + "/filler").ok());
    // fusefat reports a size of 0 blocks: no figure, rather than no room.
    auto space = platform.FreeSpace(folder);
    EXPECT_FALSE(space.ok() && space.value().freeBytes == 0);

    // A new file written, flushed, read back past the cache, put in the old
    // one's place.
    std::string bytes(300001, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 13 + 5);
    auto output = platform.CreateForWrite(temporary);
    ASSERT_TRUE(output.ok());
    ASSERT_TRUE(output.value()->Write(std::as_bytes(std::span(bytes))).ok());
    ASSERT_TRUE(output.value()->Flush().ok());
    ASSERT_TRUE(output.value()->Close().ok());
    EXPECT_EQ(Read(temporary, ReadCaching::Uncached), bytes);
    ASSERT_TRUE(platform.ReplaceWith(temporary, image, {}).ok());
    EXPECT_EQ(ReadFile(image), bytes);
    EXPECT_FALSE(std::filesystem::exists(temporary));
}

INSTANTIATE_TEST_SUITE_P(Volumes, RealFilesystemFaults,
                         ::testing::Values(Volume::Tmpfs, Volume::Exfat), [](const auto& volume) {
                             return volume.param == Volume::Tmpfs ? "tmpfs" : "exfat";
                         });

}  // namespace
}  // namespace orvane::linux_port
