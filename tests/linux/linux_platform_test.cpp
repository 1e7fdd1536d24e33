// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The Linux back end on temporary folders: drives, the drive check, files and
// settings, each against what the real system calls do.
#include "platform/linux/linux_platform.h"
#include "platform/linux/beneath.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>

#include <cerrno>
#include <cstring>

#include "recording_window.h"
#include "temp_tree.h"
#include "ui/updater_dialog.h"

namespace orvane::linux_port {
namespace {

using testing::ReadFile;
using testing::RecordingWindow;
using testing::TempTree;

std::string Bytes(std::span<const std::byte> data) {
    return std::string(reinterpret_cast<const char*>(data.data()), data.size());
}

std::span<const std::byte> AsBytes(std::string_view text) {
    return std::as_bytes(std::span(text.data(), text.size()));
}

TEST(Errors, KindsFollowTheErrorNumber) {
    EXPECT_EQ(ErrorFromErrno(ENOENT).kind, ErrorKind::NotFound);
    EXPECT_EQ(ErrorFromErrno(EEXIST).kind, ErrorKind::AlreadyExists);
    EXPECT_EQ(ErrorFromErrno(ENOSPC).kind, ErrorKind::DiskFull);
    EXPECT_EQ(ErrorFromErrno(EROFS).kind, ErrorKind::WriteProtected);
    EXPECT_EQ(ErrorFromErrno(EACCES).kind, ErrorKind::AccessDenied);
    // A pulled card, and an exFAT volume whose FUSE daemon died with it.
    for (int error : {EIO, ENODEV, ENXIO, ESTALE, ENOTCONN})
        EXPECT_EQ(ErrorFromErrno(error).kind, ErrorKind::DeviceGone) << error;
    EXPECT_EQ(ErrorFromErrno(ENOMEDIUM).kind, ErrorKind::NoMedium);  // an empty card slot
    EXPECT_EQ(ErrorFromErrno(ENAMETOOLONG).kind, ErrorKind::TooLong);
    SystemError other = ErrorFromErrno(EBADF);
    EXPECT_EQ(other.kind, ErrorKind::Other);
    EXPECT_EQ(other.code, static_cast<unsigned long>(EBADF));
    EXPECT_EQ(other.text, std::strerror(EBADF));
}

TEST(Paths, BackslashesBecomeSlashesAndTheSeamIsNotDoubled) {
    EXPECT_EQ(JoinLinuxPath("/home/al/update", "\\fw\\"), "/home/al/update/fw/");
    EXPECT_EQ(JoinLinuxPath("/home/al/update/fw/", "vorm.bin"), "/home/al/update/fw/vorm.bin");
    EXPECT_EQ(JoinLinuxPath("/", "\\FirmWare.ini"), "/FirmWare.ini");
    EXPECT_EQ(JoinLinuxPath("/media/cam/", "\\FIRMWARE\\"), "/media/cam/FIRMWARE/");
    // A fragment without its separator runs into the folder's name, as on Windows.
    EXPECT_EQ(JoinLinuxPath("/home/al/update/fw", "vorm.bin"), "/home/al/update/fwvorm.bin");
    EXPECT_EQ(JoinLinuxPath("/a", "b\\\\c"), "/ab//c");
}

// A machine with an internal disk, a USB stick, a card in a card reader and a
// camera that gets plugged in, laid out as the back end's roots.
class Machine : public ::testing::Test {
  protected:
    Machine() {
        Disk("259:2", "devices/pci0000:00/0000:00:1d.0/nvme/nvme0/nvme0n1", "nvme0n1p2", "0");
        Disk("259:3", "devices/pci0000:00/0000:00:1d.0/nvme/nvme0/nvme0n1", "nvme0n1p3", "0");
        Disk("8:17", "devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/block/sdb", "sdb1",
             "0");
        Disk("179:1", "devices/platform/mmc0/mmc0:0001/block/mmcblk0", "mmcblk0p1", "1");
        Mount("1 0 259:2 / / rw - ext4 /dev/nvme0n1p2 rw");
        Mount("2 1 0:21 / /sys rw - sysfs sysfs rw");
        Mount("3 1 259:3 / /home rw - ext4 /dev/nvme0n1p3 rw");
        Mount("4 1 0:33 / /run/user/1000 rw - tmpfs tmpfs rw");
        Mount("5 1 8:17 / " + Escaped(stick) + " rw - vfat /dev/sdb1 rw");
    }

    void Disk(const std::string& number, const std::string& disk, const std::string& partition,
              const std::string& removable) {
        tree.Write("sys/" + disk + "/removable", removable + "\n");
        tree.MakeFolder("sys/" + disk + "/" + partition);
        tree.MakeFolder("sys/dev/block");
        std::filesystem::create_directory_symlink(tree / ("sys/" + disk + "/" + partition),
                                                  tree / ("sys/dev/block/" + number));
    }
    void Mount(const std::string& line) { mountTable += line + "\n"; }
    void WriteMountTable() { tree.Write("mountinfo", mountTable); }
    static std::string Escaped(const std::filesystem::path& path) {
        std::string out;
        for (char c : path.string()) out += c == ' ' ? std::string("\\040") : std::string(1, c);
        return out;
    }
    SystemRoots Roots() const {
        return {tree / "sys/bus/usb/devices", tree / "mountinfo", tree / "sys/dev/block"};
    }

    TempTree tree;
    std::filesystem::path stick = tree.MakeFolder("media/USB STICK");
    std::filesystem::path card = tree.MakeFolder("media/CARD");
    std::string mountTable;
    RecordingWindow window;
};

TEST_F(Machine, DrivesAreTheBlockDeviceVolumesInMountOrder) {
    Mount("6 1 179:1 / " + card.string() + " rw - vfat /dev/mmcblk0p1 rw");
    WriteMountTable();
    LinuxPlatform platform(window, Roots());
    EXPECT_EQ(platform.LogicalDrives(),
              (std::vector<std::string>{"/", "/home", stick.string(), card.string()}));
    EXPECT_EQ(platform.DriveRoot(card.string()), card.string() + "/");
    EXPECT_EQ(platform.DriveRoot("/"), "/");
}

TEST_F(Machine, NoMountTableMeansNoDrives) {
    LinuxPlatform platform(window, Roots());
    EXPECT_TRUE(platform.LogicalDrives().empty());
    EXPECT_EQ(platform.CheckDrive("/"), DriveRefusal::Gone);
}

TEST_F(Machine, OnlyUsbAndRemovableVolumesMayBeTheCamera) {
    Mount("6 1 179:1 / " + card.string() + " rw - vfat /dev/mmcblk0p1 rw");
    Mount("7 1 8:33 / /media/pulled rw - vfat /dev/sdc1 rw");  // its device has gone
    WriteMountTable();
    LinuxPlatform platform(window, Roots());
    EXPECT_EQ(platform.CheckDrive(stick.string()), DriveRefusal::None);
    EXPECT_EQ(platform.CheckDrive(card.string() + "/"), DriveRefusal::None);
    EXPECT_EQ(platform.CheckDrive("/"), DriveRefusal::SystemDrive);
    EXPECT_EQ(platform.CheckDrive("/home"), DriveRefusal::NotRemovable);
    EXPECT_EQ(platform.CheckDrive("/media/pulled"), DriveRefusal::Gone);
    EXPECT_EQ(platform.CheckDrive("/media/never-mounted"), DriveRefusal::Gone);
    EXPECT_EQ(platform.CheckDrive("/run/user/1000"), DriveRefusal::Gone);
}

TEST_F(Machine, AMountOverTheStickHidesIt) {
    Mount("6 5 259:3 / " + Escaped(stick) + " rw - ext4 /dev/nvme0n1p3 rw");
    Mount("7 1 179:1 / " + card.string() + " rw - vfat /dev/mmcblk0p1 rw");
    Mount("8 7 0:50 / " + card.string() + " rw - tmpfs tmpfs rw");
    WriteMountTable();
    LinuxPlatform platform(window, Roots());
    EXPECT_EQ(platform.CheckDrive(stick.string()), DriveRefusal::NotRemovable);
    EXPECT_EQ(platform.CheckDrive(card.string()), DriveRefusal::Gone);
}

class Files : public ::testing::Test {
  protected:
    TempTree tree;
    RecordingWindow window;
    LinuxPlatform platform{window};
};

TEST_F(Files, WrittenFileReadsBackWithAndWithoutTheCache) {
    const std::string path = tree / "out.bin";
    auto created = platform.CreateForWrite(path);
    ASSERT_TRUE(created.ok());
    WritableFile& file = *created.value();
    std::string data(300000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 256);
    // A piece at a time: each call leaves at most its own piece on its way,
    // and a call with no data waits for that one too.
    constexpr std::size_t kPiece = 100000;
    for (std::size_t at = 0; at < data.size(); at += kPiece) {
        ASSERT_TRUE(file.Write(AsBytes(data).subspan(at, kPiece)).ok());
        EXPECT_EQ(file.BytesOnDevice(), at);
    }
    ASSERT_TRUE(file.Write({}).ok());
    EXPECT_EQ(file.BytesOnDevice(), data.size());
    ASSERT_TRUE(file.Flush().ok());
    ASSERT_TRUE(file.Close().ok());

    // Read in pieces of whole blocks, and of a size that is none.
    for (ReadCaching caching : {ReadCaching::Normal, ReadCaching::Uncached}) {
        for (const std::size_t size : {std::size_t{65536}, std::size_t{5000}}) {
            auto opened = platform.OpenForRead(path, caching);
            ASSERT_TRUE(opened.ok());
            EXPECT_EQ(opened.value()->Size(), data.size());
            std::string back;
            std::vector<std::byte> buffer(size);
            for (;;) {
                auto read = opened.value()->Read(buffer);
                ASSERT_TRUE(read.ok());
                if (read.value() == 0) break;
                back += Bytes(std::span(buffer.data(), read.value()));
            }
            EXPECT_EQ(back, data);
        }
    }
}

TEST_F(Files, CreateMakesOnlyNewFilesAndReplaceSwapsInTheNewFile) {
    const std::string old =
        tree.Write("cam/vorm.bin", "old firmware, longer than the new").string();
    auto created = platform.CreateForWrite(old + ".tmp");
    ASSERT_TRUE(created.ok());
    ASSERT_TRUE(created.value()->Write(AsBytes("new")).ok());
    ASSERT_TRUE(created.value()->Close().ok());
    ASSERT_TRUE(platform.ReplaceWith(old + ".tmp", old, {}).ok());
    EXPECT_EQ(ReadFile(old), "new");
    EXPECT_FALSE(std::filesystem::exists(old + ".tmp"));

    // Neither a file nor a link at the name is ever written through.
    std::filesystem::create_symlink(tree / "outside", old + ".link");
    for (const std::string& taken : {old, old + ".link"})
        EXPECT_EQ(platform.CreateForWrite(taken).error().kind, ErrorKind::AlreadyExists);
    EXPECT_EQ(ReadFile(old), "new");
    EXPECT_FALSE(std::filesystem::exists(tree / "outside"));
}

TEST(Beneath, NeitherResolutionFollowsALinkOffTheFolder) {
    TempTree tree;
    tree.MakeFolder("volume/a/b");
    tree.MakeFolder("elsewhere");
    std::filesystem::create_directory_symlink(tree / "elsewhere", tree / "volume/a/out");
    const int root = ::open((tree / "volume").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(root, 0);
    for (Resolution resolution : {Resolution::Kernel, Resolution::Walk}) {
        int folder = OpenBeneath(root, "a/b/", O_RDONLY | O_DIRECTORY, 0, resolution);
        EXPECT_GE(folder, 0);
        ::close(folder);
        for (const char* path : {"a/out/x", "a/out"}) {
            errno = 0;
            EXPECT_EQ(OpenBeneath(root, path, O_WRONLY | O_CREAT | O_EXCL, 0644, resolution), -1);
            EXPECT_TRUE(errno == ELOOP || errno == EEXIST) << path << ": " << errno;
        }
    }
    ::close(root);
    EXPECT_TRUE(std::filesystem::is_empty(tree / "elsewhere"));
}

// Sandboxes whose seccomp filter predates openat2 answer EPERM for it, not
// ENOSYS: the checked walk must take over, or every write is "denied".
TEST(Beneath, AnOpenat2RefusedByASandboxFallsBackToTheWalk) {
    TempTree tree;
    tree.Write("volume/FIRMWARE/vorm.bin", "image");
    tree.MakeFolder("elsewhere");
    std::filesystem::create_directory_symlink(tree / "elsewhere", tree / "volume/out");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const auto statement = [](unsigned code, unsigned k, unsigned char jt = 0,
                                  unsigned char jf = 0) {
            return sock_filter{static_cast<__u16>(code), jt, jf, k};
        };
        sock_filter filter[] = {
            statement(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
            statement(BPF_JMP | BPF_JEQ | BPF_K, SYS_openat2, 0, 1),
            statement(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
            statement(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        };
        sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
        if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
            ::syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &program) != 0)
            ::_exit(2);
        const int root = ::open((tree / "volume").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const int file = OpenBeneath(root, "FIRMWARE/vorm.bin", O_RDONLY, 0);
        errno = 0;
        const bool linkRefused =
            OpenBeneath(root, "out/x", O_WRONLY | O_CREAT, 0644) < 0 && errno == ELOOP;
        ::_exit(file >= 0 && linkRefused ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_NE(WEXITSTATUS(status), 2) << "no seccomp filter could be installed";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(std::filesystem::is_empty(tree / "elsewhere"));
}

TEST_F(Files, FailuresCarryTheirKindNumberAndText) {
    auto missing = platform.OpenForRead(tree / "nope.bin", ReadCaching::Normal);
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().kind, ErrorKind::NotFound);
    EXPECT_EQ(missing.error().code, static_cast<unsigned long>(ENOENT));
    EXPECT_FALSE(missing.error().text.empty());

    EXPECT_EQ(platform.CreateForWrite(tree / "no/folder/x").error().kind, ErrorKind::NotFound);
    EXPECT_EQ(platform.ReplaceWith(tree / "nope", tree / "x", {}).error().kind,
              ErrorKind::NotFound);
    EXPECT_EQ(platform.RemoveFile(tree / "nope").error().kind, ErrorKind::NotFound);
    EXPECT_EQ(platform.FreeSpace(tree / "nope").error().kind, ErrorKind::NotFound);
}

TEST_F(Files, MakeDirectoryCreatesTheLastLevelOnly) {
    EXPECT_TRUE(platform.MakeDirectory(tree / "FIRMWARE/").ok());
    EXPECT_TRUE(std::filesystem::is_directory(tree / "FIRMWARE"));
    EXPECT_EQ(platform.MakeDirectory(tree / "FIRMWARE").error().kind, ErrorKind::AlreadyExists);
    EXPECT_EQ(platform.MakeDirectory(tree / "a/b").error().kind, ErrorKind::NotFound);
}

TEST_F(Files, FreeSpaceIsWhatStatvfsReports) {
    auto free = platform.FreeSpace(tree.root().string());
    ASSERT_TRUE(free.ok());
    std::filesystem::space_info space = std::filesystem::space(tree.root());
    // Other programs may write in between the two looks.
    const std::uint64_t slack = std::uint64_t{64} << 20;
    EXPECT_LE(free.value().freeBytes, space.available + slack);
    EXPECT_GE(free.value().freeBytes + slack, space.available);
}

TEST_F(Files, SettingsAreReadFromTheFileWhateverTheCaseOfItsName) {
    tree.Write("work/firmware.INI", "[SrcPath]\r\nPath=\\fw\\\r\n");
    const std::string path = tree / "work/FirmWare.ini";
    EXPECT_EQ(platform.ReadProfileString("SrcPath", "Path", "dflt", 260, path), "\\fw\\");
    EXPECT_EQ(platform.ReadProfileString("DestPath", "Path", "dflt", 260, path), "dflt");
    EXPECT_EQ(platform.ReadProfileString("SrcPath", "Path", "dflt", 260, tree / "x/FirmWare.ini"),
              "dflt");
}

// As Notepad saves it: "Unicode" (UTF-16 LE with its mark) or CR line ends.
TEST_F(Files, SettingsSavedAsUtf16OrWithCrLineEndsAreRead) {
    const std::string path = tree / "work/FirmWare.ini";
    tree.Write("work/FirmWare.ini", std::string("\xFF\xFE[\0S\0]\0\r\0\n\0P\0=\0\xE9\0", 18));
    EXPECT_EQ(platform.ReadProfileString("S", "P", "dflt", 260, path), "\xC3\xA9");
    tree.Write("work/FirmWare.ini", "[T]\rP=t\r[S]\rP=\\fw\\\r");
    EXPECT_EQ(platform.ReadProfileString("S", "P", "dflt", 260, path), "\\fw\\");
}

TEST_F(Files, CurrentDirectoryIsTheProcesses) {
    auto directory = platform.CurrentDirectory();
    ASSERT_TRUE(directory.ok());
    EXPECT_EQ(directory.value(), std::filesystem::current_path().string());
}

TEST(Subscription, AFailureWritesALinuxLineWithTheErrno) {
    RecordingWindow window;
    LinuxPlatform platform(window);
    CUpdaterDialog dialog(platform);

    // The sanitizers check an object's type on its first use with a pipe of
    // their own, so the same path runs once while descriptors are still free.
    {
        RecordingWindow otherWindow;
        LinuxPlatform other(otherWindow);
        CUpdaterDialog otherDialog(other);
        ASSERT_EQ(otherDialog.RegisterUsbArrival(), 1);
        Platform& port = other;
        port.WriteStdout("");
        ASSERT_EQ(port.System(), HostSystem::Linux);
    }
    // With no descriptor left to open, the uevent socket cannot be made.
    int next = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(next, 0);
    ::close(next);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    ::testing::internal::CaptureStdout();
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(next);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    const int registered = dialog.RegisterUsbArrival();
    ::setrlimit(RLIMIT_NOFILE, &saved);
    const std::string output = ::testing::internal::GetCapturedStdout();

    EXPECT_EQ(registered, 0);
    // The line names no Windows call, and gives the errno as Linux tools do.
    EXPECT_EQ(output,
              "Listening for device events failed: error " + std::to_string(EMFILE) + ".\n");
}

}  // namespace
}  // namespace orvane::linux_port
