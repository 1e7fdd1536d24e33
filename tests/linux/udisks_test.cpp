// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// orvane-cli's run with the UDisks2 mounter against the real services, which
// udisks_test.sh starts: a camera whose storage is an ext4 image on a loop
// device gets its volume mounted, the update written to it, and the volume
// unmounted again; the dialog, through its Linux port, mounts and updates it
// too. The camera's USB device and its place in the device tree are laid out
// in a temporary folder; the mount table is the system's own.
//
// ORVANE_TEST_LOOP names the loop device; without it the mount case is
// skipped. The case without UDisks2 runs on any bus, or none.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusVirtualObject>
#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

#include "cli/cli_run.h"
#include "platform/linux/cli_host.h"
#include "platform/linux/udisks_mounter.h"
#include "recording_window.h"
#include "temp_tree.h"
#include "texts/texts.h"
#include "ui/updater_dialog.h"

namespace orvane::linux_port {
namespace {

using testing::ReadFile;
using testing::TempTree;

const std::string kCameraDevice = "sys/devices/pci0000:00/0000:00:14.0/usb1/1-4";

class UDisks : public ::testing::Test {
  protected:
    UDisks() {
        tree.Write("work/FirmWare.ini",
                   "[PID_VID]\r\nPID_VID=usb\\vid_1d6c&pid_00ab&rev_0100\r\n"
                   "[SrcPath]\r\nPath=\\fw\\\r\n[DestPath]\r\nPath=\\FIRMWARE\\\r\n");
        tree.Write("work/fw/vorm.bin", image);
        tree.Write("work/fw/dsccmd.ini", "[Update]\nFile=vorm.bin\n");
        tree.Write(kCameraDevice + "/idVendor", "1d6c\n");
        tree.Write(kCameraDevice + "/idProduct", "00ab\n");
        tree.Write(kCameraDevice + "/bcdDevice", "0100\n");
        tree.MakeFolder("sys/bus/usb/devices");
        std::filesystem::create_directory_symlink(tree / kCameraDevice,
                                                  tree / "sys/bus/usb/devices/1-4");
        // The disk of the system's root filesystem, so that the mount table's
        // volumes relate to the tree.
        tree.Write("sys/devices/pci0000:00/system-disk/removable", "0\n");
        tree.MakeFolder("sys/dev/block");
        std::filesystem::create_directory_symlink(
            tree / "sys/devices/pci0000:00/system-disk",
            tree / ("sys/dev/block/" + testing::DeviceNumberOf("/")));
        previousDirectory = std::filesystem::current_path();
        std::filesystem::current_path(tree / "work");
    }
    ~UDisks() override { std::filesystem::current_path(previousDirectory); }

    // The camera's disk `name` ("loop3", "sdc1"), with the device number
    // `number` that the mount table gives its volume.
    void CameraDisk(const std::string& name, const std::string& number) {
        const std::string disk = kCameraDevice + "/1-4:1.0/host7/block/" + name;
        tree.Write(disk + "/removable", "1\n");
        std::filesystem::create_directory_symlink(tree / disk, tree / ("sys/dev/block/" + number));
    }

    // The loop device the script set up, as the camera's disk; nothing
    // where it set up none.
    std::optional<std::string> LoopDisk() {
        const char* loop = std::getenv("ORVANE_TEST_LOOP");
        if (loop == nullptr) return std::nullopt;
        struct stat status {};
        EXPECT_EQ(::stat(loop, &status), 0) << loop;
        CameraDisk(
            std::filesystem::path(loop).filename(),
            std::to_string(major(status.st_rdev)) + ":" + std::to_string(minor(status.st_rdev)));
        return loop;
    }

    int Run(std::vector<std::string> arguments, VolumeMounter& mounter, bool watchSignals = false) {
        out.clear();
        err.clear();
        const cli::Options options = std::get<cli::Options>(cli::ParseOptions(arguments));
        cli::Reporter report(
            options.json ? cli::OutputStyle::Json : cli::OutputStyle::Lines,
            [this](std::string_view text) { out += text; },
            [this](std::string_view text) { err += text; });
        CliHost host(
            {tree / "sys/bus/usb/devices", "/proc/self/mountinfo", tree / "sys/dev/block"});
        if (watchSignals) host.WatchTerminationSignals();
        return cli::RunUpdate(options, host, host, report, &mounter);
    }

    TempTree tree;
    std::string image = std::string(70000, '\x5a') + "firmware end";
    std::filesystem::path previousDirectory;
    std::string out, err;
};

bool Mounted(const std::string& mountPoint) {
    std::istringstream table(ReadFile("/proc/self/mountinfo"));
    for (std::string line; std::getline(table, line);) {
        if (line.find(" " + mountPoint + " ") != std::string::npos) return true;
    }
    return false;
}

// Without UDisks2 (on a bus without it, or with no bus at all) the message
// names the device and says how to mount it.
TEST_F(UDisks, WithoutTheServiceTheDeviceIsNamed) {
    CameraDisk("sdc1", "8:33");
    UDisksMounter mounter;
    EXPECT_EQ(Run({"--wait", "0"}, mounter), cli::kNoCamera);
    EXPECT_NE(err.find("its storage /dev/sdc1 is not mounted, and UDisks2 is not running to "
                       "mount it"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("mount -o uid=$(id -u) /dev/sdc1 /mnt"), std::string::npos);
}

TEST_F(UDisks, MountsUpdatesAndUnmountsTheCameraVolume) {
    const std::optional<std::string> loop = LoopDisk();
    if (!loop) GTEST_SKIP() << "ORVANE_TEST_LOOP names no loop device";
    UDisksMounter mounter;
    EXPECT_EQ(Run({"--wait", "0", "--eject", "--json"}, mounter), cli::kSuccess) << out;
    std::vector<QJsonObject> events;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
        events.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(line)).object());
    ASSERT_GE(events.size(), 4u) << out;
    const std::string volume = events[1]["volume"].toString().toStdString();
    EXPECT_EQ(events[0]["event"].toString(), "notice");
    EXPECT_EQ(events[0]["message"].toString().toStdString(),
              "Mounted " + *loop + " at " + volume + " through UDisks2.");
    EXPECT_EQ(events[1]["event"].toString(), "found");
    EXPECT_EQ(events[events.size() - 2]["event"].toString(), "done");
    // A loop device has no drive to power off: the unmount is all.
    EXPECT_EQ(events.back()["message"].toString().toStdString(),
              "Unmounted " + volume + " through UDisks2: the camera can be unplugged.");
    EXPECT_FALSE(Mounted(volume));

    // The files are on the volume: mounted again, through the mounter alone.
    auto again = mounter.Mount(*loop);
    ASSERT_TRUE(std::holds_alternative<MountedVolume>(again))
        << std::get<MountFailure>(again).detail;
    const std::string mountPoint = std::get<MountedVolume>(again).mountPoint;
    EXPECT_EQ(ReadFile(mountPoint + "/FIRMWARE/vorm.bin"), image);
    EXPECT_EQ(ReadFile(mountPoint + "/FIRMWARE/dsccmd.ini"), "[Update]\nFile=vorm.bin\n");
    const EjectResult ejected = mounter.Eject(mountPoint, {});
    EXPECT_TRUE(ejected.unmounted);
    EXPECT_FALSE(ejected.poweredOff);
    EXPECT_FALSE(ejected.failure) << ejected.failure->detail;
    EXPECT_FALSE(Mounted(mountPoint));
}

// The dialog's questions run on threads of their own, the mount among them.
class ThreadedWindow : public testing::RecordingWindow {
  public:
    void RunDeviceQuery(std::function<void()> work) override {
        std::thread(std::move(work)).join();
        RunInBackground([] {});  // delivers what the query posted
    }
};

// The dialog mounts the volume the desktop left unmounted, and updates it.
TEST_F(UDisks, TheDialogMountsTheCameraVolumeAndUpdatesIt) {
    const std::optional<std::string> loop = LoopDisk();
    if (!loop) GTEST_SKIP() << "ORVANE_TEST_LOOP names no loop device";
    UDisksMounter mounter;
    ThreadedWindow window;
    LinuxPlatform platform(
        window, {tree / "sys/bus/usb/devices", "/proc/self/mountinfo", tree / "sys/dev/block"},
        &mounter);
    CUpdaterDialog dialog(platform);
    dialog.OnInitDialog();
    ASSERT_TRUE(dialog.deviceFound());
    dialog.OnUpdateClicked();
    EXPECT_EQ(window.messages, std::vector<std::string>{"Update success"});
    EXPECT_EQ(window.endResult, IDOK);
    const std::string mountPoint = dialog.driveLetter();
    ASSERT_TRUE(Mounted(mountPoint)) << mountPoint;
    EXPECT_EQ(ReadFile(mountPoint + "/FIRMWARE/vorm.bin"), image);
    EXPECT_EQ(ReadFile(mountPoint + "/FIRMWARE/dsccmd.ini"), "[Update]\nFile=vorm.bin\n");
    EXPECT_TRUE(mounter.Eject(mountPoint, {}).unmounted);
}

// A user whom polkit does not let mount (no session at the machine, no agent
// to ask through) is told so, with the device; so is an unattended run
// (--no-interaction), which polkit may not ask about.
TEST_F(UDisks, ARefusedMountIsSaid) {
    const std::optional<std::string> loop = LoopDisk();
    if (!loop) GTEST_SKIP() << "ORVANE_TEST_LOOP names no loop device";
    for (const bool interactive : {true, false}) {
        UDisksMounter mounter(interactive);
        std::vector<std::string> arguments{"--wait", "0"};
        if (!interactive) arguments.push_back("--no-interaction");
        EXPECT_EQ(Run(arguments, mounter), cli::kNoCamera);
        EXPECT_NE(err.find("its storage " + *loop +
                           " is not mounted, and mounting it through UDisks2 was not authorised"),
                  std::string::npos)
            << err;
    }
}

// Against a UDisks2 that never answers (the script's --never-answer
// process), Ctrl-C in the program's wait for it ends the run as stopped, and
// says what stands. The signal is sent once the wait has begun, from a
// thread of its own, as a terminal's would come.
TEST_F(UDisks, AStopEndsAWaitForTheServiceThatNeverAnswers) {
    if (std::getenv("ORVANE_TEST_NEVER_ANSWERS") == nullptr)
        GTEST_SKIP() << "no service that never answers on this bus";
    CameraDisk("sdc1", "8:33");
    std::chrono::steady_clock::time_point signalled{};
    std::thread sender;
    const auto stopped = [&] {
        if (!sender.joinable() && signalled == std::chrono::steady_clock::time_point{}) {
            sender = std::thread([&signalled] {
                signalled = std::chrono::steady_clock::now();
                ::kill(::getpid(), SIGINT);
            });
        }
        return CliHost::StopSignal() != 0;
    };
    UDisksMounter mounter(true, {CliHost::AttendStops, stopped});
    EXPECT_EQ(Run({"--wait", "5"}, mounter, true), cli::kStopped);
    if (sender.joinable()) sender.join();
    // For the record, not a limit the test holds it to: ctest -V shows it.
    std::printf("the run ended %lld ms after the signal\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - signalled)
                                           .count()));
    EXPECT_EQ(CliHost::StopSignal(), SIGINT);
    EXPECT_NE(err.find("Stopped while waiting for UDisks2 to mount /dev/sdc1: it was not mounted. "
                       "Nothing was written."),
              std::string::npos)
        << err;

    // The eject after an update, stopped alike: the volume stays mounted, and that is said.
    const EjectResult ejected = mounter.Eject("/media/CAMERA", {});
    ASSERT_TRUE(ejected.failure);
    EXPECT_EQ(ejected.failure->kind, MountFailure::Kind::Stopped);
    EXPECT_FALSE(ejected.unmounted);
    EXPECT_NE(texts::DescribeEject(ejected, "/media/CAMERA")
                  .find("Stopped while waiting for UDisks2 to unmount /media/CAMERA: the volume "
                        "is still mounted."),
              std::string::npos);
}

// Takes every call to UDisks2's objects and answers none.
class NeverAnswers : public QDBusVirtualObject {
  public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage&, const QDBusConnection&) override { return true; }
};

}  // namespace
}  // namespace orvane::linux_port

// One Qt application for every case: Qt's D-Bus lives as long as it does.
int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc == 2 && std::strcmp(argv[1], "--never-answer") == 0) {
        // UDisks2's name on the bus, held until the script ends this process.
        QDBusConnection bus = QDBusConnection::systemBus();
        orvane::linux_port::NeverAnswers silent;
        if (!bus.registerVirtualObject(QStringLiteral("/org/freedesktop/UDisks2"), &silent,
                                       QDBusConnection::SubPath) ||
            !bus.registerService(QStringLiteral("org.freedesktop.UDisks2"))) {
            std::fprintf(stderr, "cannot take UDisks2's name: %s\n",
                         bus.lastError().message().toLocal8Bit().constData());
            return 1;
        }
        return QCoreApplication::exec();
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
