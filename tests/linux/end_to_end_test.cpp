// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The updater's core on the real Linux back end, from FirmWare.ini to the two
// files on the "camera", with the system's state laid out in temporary folders.
// Each test runs twice: with the camera's volume a plain folder, and with it
// an exFAT card mounted through FUSE on a loop device, whose line in the
// mount table is the system's own (that one needs root and FUSE).
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <condition_variable>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

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

constexpr const char* kSettings =
    "; Camera firmware update\r\n"
    "[PID_VID]\r\n"
    "PID_VID=usb\\vid_1d6c&pid_00ab&rev_0100\r\n"
    "[SrcPath]\r\n"
    "Path=\\fw\\\r\n"
    "[DestPath]\r\n"
    "Path=\\FIRMWARE\\\r\n";

enum class CameraVolume { Folder, Exfat };

// The window side with a worker thread of its own, as the Qt dialog has: the
// transfer runs there and what it posts reaches the test's thread through a
// locked queue. The tsan preset runs these tests under ThreadSanitizer.
class ThreadedWindow : public RecordingWindow {
  public:
    ~ThreadedWindow() override {
        if (worker_.joinable()) worker_.join();
    }
    void RunInBackground(std::function<void()> work) override {
        if (worker_.joinable()) worker_.join();
        worker_ = std::thread(std::move(work));
    }
    void PostToUi(std::function<void()> task) override {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(task));
        posted_.notify_one();
    }
    void Join() {
        if (worker_.joinable()) worker_.join();
    }
    // Runs what has been posted so far.
    void DeliverPosted() {
        for (;;) {
            std::function<void()> task;
            {
                std::lock_guard lock(mutex_);
                if (queue_.empty()) return;
                task = std::move(queue_.front());
                queue_.pop_front();
            }
            task();
        }
    }
    // The user-interface loop: runs posted tasks until the dialog has ended.
    void RunUntilEnded() {
        while (!endResult) {
            std::function<void()> task;
            {
                std::unique_lock lock(mutex_);
                posted_.wait(lock, [this] { return !queue_.empty(); });
                task = std::move(queue_.front());
                queue_.pop_front();
            }
            task();
        }
    }

  private:
    std::thread worker_;
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> queue_;
};

class EndToEnd : public ::testing::TestWithParam<CameraVolume> {
  protected:
    // The half seconds a press of "UpDate" waits for the camera's storage.
    static constexpr std::chrono::milliseconds kHalfSecond{500};
    static constexpr unsigned kWaitTicks = session_time::kDialogStorageWait / kHalfSecond;
    // Lets `halfSeconds` pass, with the session's ticks.
    void Wait(CUpdaterDialog& dialog, unsigned halfSeconds) {
        for (unsigned tick = 0; tick < 2 * halfSeconds; ++tick)
            window.Tick(dialog, SESSION_TIMER_ID, kHalfSecond / 2);
    }
    EndToEnd() {
        tree.Write("work/FirmWare.ini", kSettings);
        tree.Write("work/fw/vorm.bin", image);
        tree.Write("work/fw/dsccmd.ini", "[Update]\nFile=vorm.bin\n");
        tree.Write("sys/bus/usb/devices/1-1/idVendor", "046d\n");  // a mouse
        tree.Write("sys/bus/usb/devices/1-1/idProduct", "c077\n");
        tree.Write("sys/bus/usb/devices/1-1/bcdDevice", "7200\n");
        Disk("259:2", "sys/devices/pci0000:00/nvme0n1", "nvme0n1p2");
        mountTable = "1 0 259:2 / / rw - ext4 /dev/nvme0n1p2 rw\n";
        tree.Write("mountinfo", mountTable);

        previousDirectory = std::filesystem::current_path();
        std::filesystem::current_path(tree / "work");
    }
    ~EndToEnd() override { std::filesystem::current_path(previousDirectory); }

    void SetUp() override {
        if (GetParam() != CameraVolume::Exfat) return;
        std::string why = EnterPrivateMountNamespace();
        if (why.empty()) why = CardUnavailable(CardFormat::Exfat);
        if (!why.empty()) GTEST_SKIP() << why;
    }

    void Disk(const std::string& number, const std::string& disk, const std::string& partition) {
        tree.Write(disk + "/removable", "0\n");
        tree.MakeFolder(disk + "/" + partition);
        tree.MakeFolder("sys/dev/block");
        std::filesystem::create_directory_symlink(tree / (disk + "/" + partition),
                                                  tree / ("sys/dev/block/" + number));
    }

    // The camera's USB device appears, and its storage gets mounted. The
    // "volume" is a folder of the test's own filesystem, so it carries that
    // filesystem's device number.
    void PlugCamera(std::string number = {}) {
        const bool ownDisk = number.empty();
        PlugCameraWithoutVolume(ownDisk);
        MountCamera(ownDisk ? testing::DeviceNumberOf(tree.root()) : number);
    }

    // The camera's USB device, with its disk in sysfs when `withDisk`.
    void PlugCameraWithoutVolume(bool withDisk = true) {
        tree.Write(kCameraDevice + "/idVendor", "1d6c\n");
        tree.Write(kCameraDevice + "/idProduct", "00ab\n");
        tree.Write(kCameraDevice + "/bcdDevice", "0100\n");
        std::filesystem::create_directory_symlink(tree / kCameraDevice,
                                                  tree / "sys/bus/usb/devices/1-4");
        if (withDisk)
            Disk(testing::DeviceNumberOf(tree.root()), kCameraDevice + "/1-4:1.0/host7/block/sdc",
                 "sdc1");
    }

    void MountCamera(const std::string& number) {
        camera = tree.MakeFolder("media/CAMERA DISK");
        if (GetParam() == CameraVolume::Folder) {
            mountTable += "2 1 " + number + " / " + (tree / "media/CAMERA\\040DISK") +
                          " rw - vfat /dev/sdc1 rw\n";
        } else {
            card = std::make_unique<CardVolume>(CardFormat::Exfat, tree / "card.img", camera,
                                                8 << 20, 32768);
            ASSERT_EQ(card->error(), "");
            // The system's line for the card, with the loop device's numbers;
            // in the test's tree those lead to the disk `number` names.
            const std::string line = MountLine(tree / "media/CAMERA\\040DISK");
            ASSERT_NE(line.find(" - fuseblk " + card->loopDevice() + " "), std::string::npos)
                << line;
            std::istringstream fields(line);
            std::string mountId, parentId, loopNumber;
            fields >> mountId >> parentId >> loopNumber;
            std::filesystem::create_directory_symlink(
                std::filesystem::read_symlink(tree / ("sys/dev/block/" + number)),
                tree / ("sys/dev/block/" + loopNumber));
            mountTable += line + "\n";
        }
        tree.Write("mountinfo", mountTable);
    }

    // A USB stick on another port, its volume mounted.
    void PlugStick() {
        const std::string device = "sys/devices/pci0000:00/0000:00:14.0/usb1/1-5";
        tree.Write(device + "/idVendor", "0951\n");
        tree.Write(device + "/idProduct", "1666\n");
        tree.Write(device + "/bcdDevice", "0110\n");
        std::filesystem::create_directory_symlink(tree / device, tree / "sys/bus/usb/devices/1-5");
        Disk("8:49", device + "/1-5:1.0/host8/block/sdd", "sdd1");
        stick = tree.MakeFolder("media/STICK");
        mountTable += "3 1 8:49 / " + stick.string() + " rw - vfat /dev/sdd1 rw\n";
        tree.Write("mountinfo", mountTable);
    }

    static std::string MountLine(const std::string& mountPoint) {
        std::ifstream table("/proc/self/mountinfo");
        for (std::string line; std::getline(table, line);) {
            if (line.find(" " + mountPoint + " ") != std::string::npos) return line;
        }
        return {};
    }

    SystemRoots Roots() const {
        return {tree / "sys/bus/usb/devices", tree / "mountinfo", tree / "sys/dev/block"};
    }

    static std::vector<std::string> FilesBelow(const std::filesystem::path& folder) {
        std::vector<std::string> names;
        if (folder.empty()) return names;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
            names.push_back(std::filesystem::relative(entry.path(), folder).string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::vector<std::string> CameraFiles() const { return FilesBelow(camera); }

    const std::string kCameraDevice = "sys/devices/pci0000:00/0000:00:14.0/usb1/1-4";

    TempTree tree;
    std::string image = std::string(70000, '\x5a') + "firmware end";
    std::string mountTable;
    std::filesystem::path camera, stick;
    std::filesystem::path previousDirectory;
    RecordingWindow window;
    std::unique_ptr<CardVolume> card;
};

TEST_P(EndToEnd, CameraPluggedAfterStartGetsBothFiles) {
    LinuxPlatform platform(window, Roots());
    CUpdaterDialog dialog(platform);
    dialog.OnInitDialog();
    EXPECT_EQ(dialog.iniPath(), (tree / "work") + "/FirmWare.ini");
    EXPECT_EQ(dialog.srcPath(), "\\fw\\");
    EXPECT_FALSE(dialog.deviceFound());
    EXPECT_EQ(window.timers, (std::map<unsigned, unsigned>{{POLL_TIMER_ID, POLL_INTERVAL_MS}}));

    dialog.OnTimer(POLL_TIMER_ID);
    EXPECT_FALSE(dialog.deviceFound());

    PlugCamera();
    dialog.OnTimer(POLL_TIMER_ID);
    ASSERT_TRUE(dialog.deviceFound());
    EXPECT_TRUE(window.timers.empty());

    // Old copies on the camera are replaced.
    tree.Write("media/CAMERA DISK/FIRMWARE/vorm.bin", "old image");
    dialog.OnUpdateClicked();
    EXPECT_EQ(window.messages, std::vector<std::string>{std::string(texts::kUpdateSuccess)});
    EXPECT_EQ(window.endResult, IDOK);
    EXPECT_EQ(dialog.driveLetter(), tree / "media/CAMERA DISK");
    EXPECT_EQ(CameraFiles(),
              (std::vector<std::string>{"FIRMWARE", "FIRMWARE/dsccmd.ini", "FIRMWARE/vorm.bin"}));
    EXPECT_EQ(ReadFile(camera / "FIRMWARE/vorm.bin"), image);
    EXPECT_EQ(ReadFile(camera / "FIRMWARE/dsccmd.ini"), "[Update]\nFile=vorm.bin\n");
}

// The transfer on a thread of its own, its progress and result posted back;
// Cancel pressed while it runs either stops it with the old files kept or
// comes after the new ones replaced them, never between.
TEST_P(EndToEnd, TransferOnAWorkerThreadEndsWithOneWholeSet) {
    PlugCamera();
    for (const bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancelled" : "left to finish");
        std::filesystem::create_directories(camera / "FIRMWARE");
        std::ofstream(camera / "FIRMWARE/vorm.bin") << "old image";
        std::ofstream(camera / "FIRMWARE/dsccmd.ini") << "old command";
        ThreadedWindow threaded;
        LinuxPlatform platform(threaded, Roots());
        CUpdaterDialog dialog(platform);
        dialog.OnInitDialog();
        threaded.DeliverPosted();  // the first scan's answer
        ASSERT_TRUE(dialog.deviceFound());
        dialog.OnUpdateClicked();
        if (cancel) dialog.OnCancel();
        threaded.RunUntilEnded();
        const std::string firmware = ReadFile(camera / "FIRMWARE/vorm.bin");
        const std::string command = ReadFile(camera / "FIRMWARE/dsccmd.ini");
        EXPECT_EQ(CameraFiles(), (std::vector<std::string>{"FIRMWARE", "FIRMWARE/dsccmd.ini",
                                                           "FIRMWARE/vorm.bin"}));
        if (threaded.endResult == IDOK) {
            EXPECT_EQ(threaded.messages,
                      std::vector<std::string>{std::string(texts::kUpdateSuccess)});
            EXPECT_EQ(firmware, image);
            EXPECT_EQ(command, "[Update]\nFile=vorm.bin\n");
        } else {
            EXPECT_TRUE(cancel);
            EXPECT_EQ(firmware, "old image");
            EXPECT_EQ(command, "old command");
        }
        if (!cancel) {
            EXPECT_EQ(threaded.endResult, IDOK);
        }
    }
}

// The process serving the FUSE mount of `device`, or 0.
pid_t FuseDaemonOf(const std::string& device) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::string arguments = ReadFile(entry.path() / "cmdline");
        std::replace(arguments.begin(), arguments.end(), '\0', ' ');
        if (arguments.find("exfat") != std::string::npos &&
            arguments.find(" " + device + " ") != std::string::npos)
            return static_cast<pid_t>(std::stol(entry.path().filename().string()));
    }
    return 0;
}

// Stops the camera volume's FUSE daemon as the transfer starts: from then
// on every request on the volume waits.
class FreezingWindow : public ThreadedWindow {
  public:
    explicit FreezingWindow(pid_t daemon) : daemon_(daemon) {}
    void RunInBackground(std::function<void()> work) override {
        ::kill(daemon_, SIGSTOP);
        // Stopped for sure before the first request reaches it.
        while (ReadFile("/proc/" + std::to_string(daemon_) + "/stat").find(") T ") ==
               std::string::npos)
            std::this_thread::yield();
        ThreadedWindow::RunInBackground(std::move(work));
    }

  private:
    pid_t daemon_;
};

// The camera's volume stops answering once "UpDate" has started the
// transfer: the window stays live and says so, and Cancel ends the process
// without waiting for the volume. The old files stay.
TEST_P(EndToEnd, AVolumeThatStopsAnsweringIsLeftAtCancel) {
    if (GetParam() != CameraVolume::Exfat) GTEST_SKIP() << "needs the camera on FUSE";
    PlugCamera();
    std::filesystem::create_directories(camera / "FIRMWARE");
    std::ofstream(camera / "FIRMWARE/vorm.bin") << "old image";
    const pid_t daemon = FuseDaemonOf(card->loopDevice());
    ASSERT_GT(daemon, 0);
    FreezingWindow frozen(daemon);
    LinuxPlatform platform(frozen, Roots());
    CUpdaterDialog dialog(platform);
    // Whatever fails below, the volume answers again and the worker ends
    // before the platform it uses does.
    struct Thaw {
        pid_t daemon;
        FreezingWindow& window;
        ~Thaw() {
            ::kill(daemon, SIGCONT);
            window.Join();
        }
    } thaw{daemon, frozen};

    dialog.OnInitDialog();
    frozen.DeliverPosted();  // the first scan's answer
    ASSERT_TRUE(dialog.deviceFound());
    dialog.OnUpdateClicked();
    frozen.DeliverPosted();  // the camera's storage, found
    ASSERT_TRUE(dialog.transferRunning());
    const unsigned quiet = session_time::kSilence / session_time::kTick;
    for (unsigned tick = 0; tick <= quiet && !dialog.cameraSilent(); ++tick) {
        frozen.DeliverPosted();
        frozen.Tick(dialog, SESSION_TIMER_ID, session_time::kTick);
    }
    EXPECT_TRUE(dialog.cameraSilent());
    dialog.OnCancel();
    for (unsigned tick = 0; tick < session_time::kStopGrace / session_time::kTick; ++tick)
        frozen.Tick(dialog, SESSION_TIMER_ID, session_time::kTick);
    EXPECT_EQ(frozen.processEnd, IDCANCEL);
    EXPECT_FALSE(frozen.endResult);
    frozen.DeliverPosted();
    EXPECT_TRUE(frozen.messages.empty());  // the worker, still held, reports nothing

    ::kill(daemon, SIGCONT);
    frozen.Join();
    EXPECT_EQ(ReadFile(camera / "FIRMWARE/vorm.bin"), "old image");
    EXPECT_FALSE(std::filesystem::exists(camera / "FIRMWARE/dsccmd.ini"));
}

TEST_P(EndToEnd, ACameraShowingNoStorageOfItsOwnGetsNoOtherVolume) {
    // A volume shows up on the internal disk's device numbers, and a stick
    // is mounted; the camera has no disk below it.
    PlugCamera("259:2");
    PlugStick();
    LinuxPlatform platform(window, Roots());
    CUpdaterDialog dialog(platform);
    dialog.OnInitDialog();
    ASSERT_TRUE(dialog.deviceFound());
    dialog.OnUpdateClicked();
    // Just plugged in: its storage may yet come, and is waited for.
    EXPECT_TRUE(window.messages.empty());
    Wait(dialog, kWaitTicks);
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_NE(window.messages[0].find("shows no storage"), std::string::npos) << window.messages[0];
    EXPECT_NE(window.messages[0].find("mass storage"), std::string::npos);
    EXPECT_FALSE(window.endResult);
    EXPECT_TRUE(CameraFiles().empty());
    EXPECT_TRUE(FilesBelow(stick).empty());
}

// The camera's disk is in sysfs but not mounted, and a stick is: the stick is
// never taken for the camera. "UpDate" waits for the camera's volume.
class DriveWait : public EndToEnd {
  protected:
    void Press() {
        PlugCameraWithoutVolume();
        PlugStick();
        dialog.OnInitDialog();
        ASSERT_TRUE(dialog.deviceFound());
        dialog.OnUpdateClicked();
        EXPECT_TRUE(window.messages.empty());
        ASSERT_EQ(window.timers.count(SESSION_TIMER_ID), 1u);
    }
    void Wait(unsigned halfSeconds) { EndToEnd::Wait(dialog, halfSeconds); }

    LinuxPlatform platform{window, Roots()};
    CUpdaterDialog dialog{platform};
};

TEST_P(DriveWait, NeverMountedEndsInABoxNamingTheCamerasDisk) {
    Press();
    Wait(kWaitTicks - 1);
    EXPECT_TRUE(window.messages.empty());
    Wait(1);
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_NE(window.messages[0].find("/dev/sdc1 is not mounted"), std::string::npos)
        << window.messages[0];
    EXPECT_EQ(window.messages[0].find("drive letter"), std::string::npos);
    EXPECT_FALSE(window.endResult);
    EXPECT_EQ(window.timers.count(SESSION_TIMER_ID), 0u);
    EXPECT_TRUE(FilesBelow(stick).empty());
}

TEST_P(DriveWait, MountedThreeSecondsAfterThePressGetsTheFiles) {
    Press();
    Wait(6);
    MountCamera(testing::DeviceNumberOf(tree.root()));
    Wait(1);
    EXPECT_EQ(window.messages, std::vector<std::string>{std::string(texts::kUpdateSuccess)});
    EXPECT_EQ(CameraFiles(),
              (std::vector<std::string>{"FIRMWARE", "FIRMWARE/dsccmd.ini", "FIRMWARE/vorm.bin"}));
    EXPECT_TRUE(FilesBelow(stick).empty());
}

// The camera on the bus, its disk set up by the system only 2 s after the
// press: the press waits for it rather than saying to change the USB mode.
TEST_P(DriveWait, ADiskArrivingTwoSecondsAfterThePressGetsTheFiles) {
    PlugCameraWithoutVolume(false);
    PlugStick();
    dialog.OnInitDialog();
    ASSERT_TRUE(dialog.deviceFound());
    dialog.OnUpdateClicked();
    Wait(4);
    EXPECT_TRUE(window.messages.empty());
    Disk(testing::DeviceNumberOf(tree.root()), kCameraDevice + "/1-4:1.0/host7/block/sdc", "sdc1");
    MountCamera(testing::DeviceNumberOf(tree.root()));
    Wait(1);
    EXPECT_EQ(window.messages, std::vector<std::string>{std::string(texts::kUpdateSuccess)});
    EXPECT_EQ(window.endResult, IDOK);
    EXPECT_EQ(CameraFiles(),
              (std::vector<std::string>{"FIRMWARE", "FIRMWARE/dsccmd.ini", "FIRMWARE/vorm.bin"}));
    EXPECT_TRUE(FilesBelow(stick).empty());
}

TEST_P(EndToEnd, AMissingUpdateFileWritesNothing) {
    std::filesystem::remove(tree / "work/fw/dsccmd.ini");
    PlugCamera();
    tree.Write("media/CAMERA DISK/FIRMWARE/vorm.bin", "old image");
    LinuxPlatform platform(window, Roots());
    CUpdaterDialog dialog(platform);
    dialog.OnInitDialog();
    dialog.OnUpdateClicked();
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_NE(window.messages[0].find("dsccmd.ini"), std::string::npos);
    EXPECT_NE(window.messages[0].find((tree / "work") + "/fw/"), std::string::npos);
    EXPECT_FALSE(window.endResult);
    EXPECT_EQ(CameraFiles(), (std::vector<std::string>{"FIRMWARE", "FIRMWARE/vorm.bin"}));
    EXPECT_EQ(ReadFile(camera / "FIRMWARE/vorm.bin"), "old image");
}

TEST_P(EndToEnd, NoSettingsFileMeansNoCamera) {
    std::filesystem::remove(tree / "work/FirmWare.ini");
    PlugCamera();
    LinuxPlatform platform(window, Roots());
    CUpdaterDialog dialog(platform);
    dialog.OnInitDialog();
    EXPECT_EQ(dialog.hardwareId(), texts::kSettingMissing);
    EXPECT_FALSE(dialog.deviceFound());
    dialog.OnUpdateClicked();
    EXPECT_EQ(window.messages, std::vector<std::string>{std::string(texts::kCheckDevice)});
    EXPECT_TRUE(CameraFiles().empty());
}

const auto kVolumeName = [](const auto& volume) {
    return volume.param == CameraVolume::Folder ? "folder" : "exfat";
};
INSTANTIATE_TEST_SUITE_P(CameraVolumes, EndToEnd,
                         ::testing::Values(CameraVolume::Folder, CameraVolume::Exfat), kVolumeName);
INSTANTIATE_TEST_SUITE_P(CameraVolumes, DriveWait,
                         ::testing::Values(CameraVolume::Folder, CameraVolume::Exfat), kVolumeName);

}  // namespace
}  // namespace orvane::linux_port
