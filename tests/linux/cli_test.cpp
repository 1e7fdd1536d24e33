// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The command line on the real Linux back end, from FirmWare.ini to the two
// files on the "camera", with the system's state laid out in temporary
// folders: exit statuses, near misses, and the events it reports.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <sstream>

#include "cli/cli_devices.h"
#include "cli/cli_run.h"
#include "cli/volume_mounter.h"
#include "platform/linux/cli_host.h"
#include "temp_tree.h"

namespace orvane::linux_port {
namespace {

using testing::ReadFile;
using testing::TempTree;

constexpr const char* kSettings =
    "[PID_VID]\r\n"
    "PID_VID=usb\\vid_1d6c&pid_00ab&rev_0100\r\n"
    "[SrcPath]\r\n"
    "Path=\\fw\\\r\n"
    "[DestPath]\r\n"
    "Path=\\FIRMWARE\\\r\n";

const std::string kCameraDevice = "sys/devices/pci0000:00/0000:00:14.0/usb1/1-4";

// A host whose file operations can be made to fail, or to ask for a stop.
class TestHost : public CliHost {
  public:
    using CliHost::CliHost;

    std::function<void()> onMakeDirectory;
    std::function<void()> onReplace;
    std::function<void()> onWait;
    std::optional<DriveRefusal> refusal;
    std::optional<std::uint64_t> freeBytes;
    std::optional<ErrorKind> createFails;
    // The walk says nothing of what the disks hang from, as under Wine.
    bool noParents = false;
    Result<StorageLayout> StorageLayoutOfDrives() override {
        Result<StorageLayout> layout = CliHost::StorageLayoutOfDrives();
        if (noParents && layout.ok()) {
            for (StorageDisk& disk : layout.value().disks) disk.ancestors.clear();
        }
        return layout;
    }

    DriveRefusal CheckDrive(std::string_view drive) override {
        return refusal ? *refusal : CliHost::CheckDrive(drive);
    }
    Result<VolumeSpace> FreeSpace(std::string_view path) override {
        if (freeBytes) return VolumeSpace{*freeBytes, 4096};
        return CliHost::FreeSpace(path);
    }
    Status MakeDirectory(std::string_view path) override {
        if (onMakeDirectory) onMakeDirectory();
        return CliHost::MakeDirectory(path);
    }
    std::function<void()> onCreate;  // on the worker
    Result<std::unique_ptr<WritableFile>> CreateForWrite(std::string_view path) override {
        if (onCreate) onCreate();
        if (createFails) return SystemError{*createFails, 5, "injected"};
        return CliHost::CreateForWrite(path);
    }
    Status ReplaceWith(std::string_view from, std::string_view to) override {
        if (onReplace) onReplace();
        return CliHost::ReplaceWith(from, to);
    }
    // The test changed the device tree: the next wait ends at once, as it
    // would on the kernel's event.
    std::atomic<bool> changed{false};

    // A hook stands for a device event: the wait ends at once after it.
    void Wait(std::chrono::milliseconds timeout) override {
        if (changed.exchange(false)) return;
        if (!onWait) return CliHost::Wait(timeout);
        std::function<void()> once = std::move(onWait);
        onWait = nullptr;
        once();
    }
};

class CommandLine : public ::testing::Test {
  protected:
    CommandLine() {
        tree.Write("work/FirmWare.ini", kSettings);
        tree.Write("work/fw/vorm.bin", image);
        tree.Write("work/fw/dsccmd.ini", "[Update]\nFile=vorm.bin\n");
        AddUsb("1-1", "046d", "c077", "7200");  // a mouse
        // The system's own disk, which holds the root filesystem.
        tree.Write("sys/devices/pci0000:00/nvme0n1/removable", "0\n");
        tree.MakeFolder("sys/devices/pci0000:00/nvme0n1/nvme0n1p2");
        tree.MakeFolder("sys/dev/block");
        std::filesystem::create_directory_symlink(tree / "sys/devices/pci0000:00/nvme0n1/nvme0n1p2",
                                                  tree / "sys/dev/block/259:2");
        mountTable = "1 0 259:2 / / rw - ext4 /dev/nvme0n1p2 rw\n";
        tree.Write("mountinfo", mountTable);
        previousDirectory = std::filesystem::current_path();
        std::filesystem::current_path(tree / "work");
    }
    ~CommandLine() override { std::filesystem::current_path(previousDirectory); }

    void AddUsb(const std::string& port, const std::string& vendor, const std::string& product,
                const std::string& revision) {
        const std::string device = "sys/bus/usb/devices/" + port;
        tree.Write(device + "/idVendor", vendor + "\n");
        tree.Write(device + "/idProduct", product + "\n");
        tree.Write(device + "/bcdDevice", revision + "\n");
    }

    // The camera's USB device and its disk; its volume is mounted when `mount`.
    void PlugCamera(bool mount = true, const std::string& serial = "") {
        if (!serial.empty()) tree.Write(kCameraDevice + "/serial", serial + "\n");
        tree.Write(kCameraDevice + "/idVendor", "1d6c\n");
        tree.Write(kCameraDevice + "/idProduct", "00ab\n");
        tree.Write(kCameraDevice + "/bcdDevice", "0100\n");
        std::filesystem::create_directory_symlink(tree / kCameraDevice,
                                                  tree / "sys/bus/usb/devices/1-4");
        const std::string number = testing::DeviceNumberOf(tree.root());
        const std::string disk = kCameraDevice + "/1-4:1.0/host7/block/sdc";
        tree.Write(disk + "/removable", "1\n");
        tree.MakeFolder(disk + "/sdc1");
        std::filesystem::create_directory_symlink(tree / (disk + "/sdc1"),
                                                  tree / ("sys/dev/block/" + number));
        if (mount) MountCamera();
    }

    // Another camera of the same kind, on a disk of its own (`n` from 1),
    // whose volume is media/CAMn, mounted unless `mount` is false (then
    // MountLater mounts it). Its device number is made up: only a system
    // whose volume checks are set aside can write to it.
    std::filesystem::path PlugCameraNumber(int n, bool mount = true) {
        const std::string port = "2-" + std::to_string(n);
        const std::string device = "sys/devices/pci0000:00/0000:00:14.0/usb2/" + port;
        tree.Write(device + "/serial", "S" + std::to_string(n) + "\n");
        tree.Write(device + "/devnum", std::to_string(n + 1) + "\n");
        tree.Write(device + "/idVendor", "1d6c\n");
        tree.Write(device + "/idProduct", "00ab\n");
        tree.Write(device + "/bcdDevice", "0100\n");
        std::filesystem::create_directory_symlink(tree / device,
                                                  tree / ("sys/bus/usb/devices/" + port));
        const std::string disk = std::string("sd") + static_cast<char>('d' + n);
        const std::string number = "8:" + std::to_string(16 * (n + 3) + 1);
        tree.Write(device + "/" + port + ":1.0/host1" + std::to_string(n) + "/block/" + disk +
                       "/removable",
                   "1\n");
        const std::filesystem::path partition =
            tree.MakeFolder(device + "/" + port + ":1.0/host1" + std::to_string(n) + "/block/" +
                            disk + "/" + disk + "1");
        std::filesystem::create_directory_symlink(partition, tree / ("sys/dev/block/" + number));
        const std::filesystem::path volume = tree.MakeFolder("media/CAM" + std::to_string(n));
        mountLater = std::to_string(10 + n) + " 1 " + number + " / " + volume.string() +
                     " rw - vfat /dev/" + disk + "1 rw\n";
        if (mount) MountLater();
        return volume;
    }
    // At once, as the kernel's table changes: other cameras' transfers may
    // be reading it.
    void MountLater() {
        mountTable += mountLater;
        tree.Write("mountinfo.new", mountTable);
        std::filesystem::rename(tree / "mountinfo.new", tree / "mountinfo");
    }
    std::string mountLater;

    void UnplugCamera() {
        std::filesystem::remove(tree / "sys/bus/usb/devices/1-4");
        std::filesystem::remove(tree / ("sys/dev/block/" + testing::DeviceNumberOf(tree.root())));
        mountTable = mountTable.substr(0, mountTable.find("\n") + 1);
        tree.Write("mountinfo", mountTable);
    }

    void MountCamera() {
        camera = tree.MakeFolder("media/CAMERA");
        mountTable += "2 1 " + testing::DeviceNumberOf(tree.root()) + " / " + camera.string() +
                      " rw - vfat /dev/sdc1 rw\n";
        tree.Write("mountinfo", mountTable);
    }

    SystemRoots Roots() const {
        return {tree / "sys/bus/usb/devices", tree / "mountinfo", tree / "sys/dev/block"};
    }

    // Runs the command line with `arguments`; what it wrote goes to `out`
    // and `err`.
    int Run(std::vector<std::string> arguments, TestHost* given = nullptr,
            cli::VolumeMounter* mounter = nullptr, const cli::SystemMaker& makeSystem = {}) {
        out.clear();
        err.clear();
        auto parsed = cli::ParseOptions(arguments);
        EXPECT_TRUE(std::holds_alternative<cli::Options>(parsed));
        const cli::Options options = std::get<cli::Options>(parsed);
        cli::Reporter report(
            options.json ? cli::OutputStyle::Json : cli::OutputStyle::Lines,
            [this](std::string_view text) {
                out += text;
                if (onOutput) onOutput(text);
                if (text.find("Stopping") == std::string_view::npos) return;
                std::lock_guard lock(stopMutex);
                stopNoticed = true;
                stopSaid.notify_all();
            },
            [this](std::string_view text) {
                err += text;
                if (onOutput) onOutput(text);
            });
        TestHost own(Roots());
        TestHost& host = given != nullptr ? *given : own;
        return cli::RunUpdate(options, host, host, report, mounter, makeSystem);
    }

    // On the worker: until the run has passed a stop on to the transfer.
    void AwaitStopNotice() {
        std::unique_lock lock(stopMutex);
        stopSaid.wait(lock, [this] { return stopNoticed; });
    }

    std::string CameraFile(const std::string& name) const {
        return ReadFile(camera / "FIRMWARE" / name);
    }

    TempTree tree;
    std::string image = std::string(70000, '\x5a') + "firmware end";
    std::string mountTable;
    std::filesystem::path camera;
    std::filesystem::path previousDirectory;
    std::string out, err;
    std::function<void(std::string_view)> onOutput;  // sees each piece of output and error
    std::mutex stopMutex;
    std::condition_variable stopSaid;
    bool stopNoticed = false;
};

std::vector<QJsonObject> JsonEvents(const std::string& text) {
    std::vector<QJsonObject> events;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        QJsonParseError error{};
        const QJsonDocument document =
            QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line;
        EXPECT_TRUE(document.isObject()) << line;
        events.push_back(document.object());
    }
    return events;
}

TEST_F(CommandLine, NoCameraWithoutWaitingFailsAtOnce) {
    EXPECT_EQ(Run({"--wait", "0"}), cli::kNoCamera);
    EXPECT_NE(err.find("No camera with the hardware ID usb\\vid_1d6c&pid_00ab&rev_0100"),
              std::string::npos)
        << err;
    EXPECT_EQ(err.find("revision"), std::string::npos);  // a mouse is no near miss

    EXPECT_EQ(Run({"--wait=0", "--json"}), cli::kNoCamera);
    const std::vector<QJsonObject> events = JsonEvents(out);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["event"].toString(), "failed");
    EXPECT_EQ(events[0]["status"].toInt(), cli::kNoCamera);
    EXPECT_EQ(events[0]["reason"].toString(), "no-camera");
}

TEST_F(CommandLine, NearMissesAreNamed) {
    AddUsb("1-2", "1d6c", "00ab", "0200");  // the camera, already updated
    AddUsb("1-3", "1d6c", "00ac", "0100");  // the same maker's camera in another USB mode
    EXPECT_EQ(Run({"--wait", "0"}), cli::kNoCamera);
    EXPECT_NE(err.find("reports revision 0200"), std::string::npos) << err;
    EXPECT_NE(err.find("for revision 0100"), std::string::npos);
    EXPECT_NE(err.find("may already be updated"), std::string::npos);
    EXPECT_NE(err.find("USB\\VID_1D6C&PID_00AC&REV_0100"), std::string::npos);
    EXPECT_NE(err.find("USB mode"), std::string::npos);

    // A setting without the revision part matches nothing, and says so.
    tree.Write("work/FirmWare.ini",
               "[PID_VID]\nPID_VID=USB\\VID_1D6C&PID_00AB\n[SrcPath]\n"
               "Path=\\fw\\\n[DestPath]\nPath=\\FIRMWARE\\\n");
    EXPECT_EQ(Run({"--wait", "0"}), cli::kNoCamera);
    EXPECT_NE(err.find("has no revision part"), std::string::npos) << err;
}

TEST_F(CommandLine, ACameraWhoseVolumeIsNotMountedIsNamed) {
    PlugCamera(false);
    EXPECT_EQ(Run({"--wait", "0"}), cli::kNoCamera);
    EXPECT_NE(err.find("/dev/sdc1 is not mounted"), std::string::npos) << err;
    EXPECT_NE(err.find("run orvane-cli again"), std::string::npos);
}

TEST_F(CommandLine, WritesBothFilesAndReportsEachEvent) {
    PlugCamera();
    tree.Write("media/CAMERA/FIRMWARE/vorm.bin", "old image");
    EXPECT_EQ(Run({"--json", "--wait", "0"}), cli::kSuccess) << out;
    EXPECT_EQ(CameraFile("vorm.bin"), image);
    EXPECT_EQ(CameraFile("dsccmd.ini"), "[Update]\nFile=vorm.bin\n");

    const std::vector<QJsonObject> events = JsonEvents(out);
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.front()["event"].toString(), "found");
    EXPECT_EQ(events.front()["volume"].toString().toStdString(), camera.string());
    EXPECT_EQ(events.back()["event"].toString(), "done");
    for (std::size_t i = 1; i + 1 < events.size(); ++i) {
        EXPECT_EQ(events[i]["event"].toString(), "progress");
        EXPECT_LE(events[i]["bytesDone"].toDouble(), events[i]["bytesTotal"].toDouble());
    }
    EXPECT_EQ(events[events.size() - 2]["percent"].toInt(), 100);
}

TEST_F(CommandLine, TheIniFilesFolderIsTheBaseOfSrcPath) {
    PlugCamera();
    std::filesystem::rename(tree / "work", tree / "update");
    tree.MakeFolder("elsewhere");
    std::filesystem::current_path(tree / "elsewhere");
    EXPECT_EQ(Run({"--ini", "../update/FirmWare.ini", "--wait", "0"}), cli::kSuccess) << err;
    EXPECT_EQ(CameraFile("vorm.bin"), image);
}

TEST_F(CommandLine, CameraPluggedInWhileWaitingIsUpdated) {
    TestHost host(Roots());
    host.onWait = [this] { PlugCamera(); };
    EXPECT_EQ(Run({}, &host), cli::kSuccess) << err;
    EXPECT_NE(out.find("Waiting for the camera"), std::string::npos) << out;
    EXPECT_EQ(CameraFile("vorm.bin"), image);
}

TEST_F(CommandLine, BadSettingsExitWithTheirOwnStatus) {
    PlugCamera();
    std::filesystem::remove(tree / "work/FirmWare.ini");
    EXPECT_EQ(Run({"--wait", "0"}), cli::kBadSettings);
    EXPECT_NE(err.find("FirmWare.ini could not be read"), std::string::npos) << err;

    tree.Write("work/FirmWare.ini", "[PID_VID]\nPID_VID=USB\\VID_1D6C&PID_00AB&REV_0100\n");
    EXPECT_EQ(Run({"--wait", "0"}), cli::kBadSettings);
    EXPECT_NE(err.find("[SrcPath] and [DestPath]"), std::string::npos) << err;

    tree.Write("work/FirmWare.ini", kSettings);
    std::filesystem::remove(tree / "work/fw/dsccmd.ini");
    EXPECT_EQ(Run({"--wait", "0"}), cli::kBadSettings);
    EXPECT_FALSE(std::filesystem::exists(camera / "FIRMWARE/vorm.bin"));
}

// Each way the transfer can fail has its exit status, and a stop leaves the
// old files; a stop once the replacement has begun lets it finish.
TEST_F(CommandLine, EachTransferOutcomeHasItsStatus) {
    PlugCamera();
    struct Case {
        const char* name;
        std::function<void(TestHost&)> arrange;
        int status;
        bool newFiles;
    };
    const std::vector<Case> cases = {
        {"refused", [](TestHost& h) { h.refusal = DriveRefusal::NotRemovable; }, cli::kDriveRefused,
         false},
        {"no room", [](TestHost& h) { h.freeBytes = 4096; }, cli::kNoRoom, false},
        {"write fails", [](TestHost& h) { h.createFails = ErrorKind::Other; }, cli::kWriteFailed,
         false},
        {"write-protected", [](TestHost& h) { h.createFails = ErrorKind::WriteProtected; },
         cli::kDriveRefused, false},
        {"unplugged", [](TestHost& h) { h.createFails = ErrorKind::DeviceGone; },
         cli::kDisconnected, false},
        {"stopped",
         [this](TestHost& h) {
             h.onMakeDirectory = [this, &h] {
                 h.RequestStop();
                 AwaitStopNotice();
             };
         },
         cli::kStopped, false},
        {"stop held during replacement",
         [](TestHost& h) { h.onReplace = [&h] { h.RequestStop(); }; }, cli::kSuccess, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tree.Write("media/CAMERA/FIRMWARE/vorm.bin", "old image");
        tree.Write("media/CAMERA/FIRMWARE/dsccmd.ini", "old command");
        TestHost host(Roots());
        c.arrange(host);
        EXPECT_EQ(Run({"--wait", "0"}, &host), c.status) << err;
        EXPECT_EQ(CameraFile("vorm.bin"), c.newFiles ? image : "old image");
        EXPECT_EQ(CameraFile("dsccmd.ini"),
                  c.newFiles ? "[Update]\nFile=vorm.bin\n" : "old command");
    }
}

// --devices: the report names the camera's volume and touches nothing; its
// JSON parses; and the text, loaded as a modelled tree, decides the same.
TEST_F(CommandLine, DevicesReportNamesTheCamerasVolumeAndReadsBackAsATree) {
    PlugCamera();
    TestHost host(Roots());
    host.onMakeDirectory = [] { ADD_FAILURE() << "the report made a folder"; };
    std::string text, json;
    cli::Options options = std::get<cli::Options>(cli::ParseOptions({"--devices"}));
    EXPECT_EQ(cli::RunDeviceReport(options, host, nullptr, [&](std::string_view t) { text += t; }),
              cli::kSuccess);
    options.json = true;
    cli::RunDeviceReport(options, host, nullptr, [&](std::string_view t) { json += t; });

    const std::string choice = "drive " + camera.string();
    EXPECT_NE(text.find("\nexpect " + choice + "\n"), std::string::npos) << text;
    EXPECT_TRUE(std::filesystem::is_empty(camera));
    auto read = ReadDeviceReport(text);
    ASSERT_TRUE(std::holds_alternative<DeviceReport>(read)) << std::get<std::string>(read);
    EXPECT_EQ(ChoiceOfReport(std::get<DeviceReport>(read)), choice);
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << json;
    EXPECT_EQ(document.object().value("choice").toString().toStdString(), choice);
}

// Stands for UDisks2: mounts as `mount` says, ejects as `ejectFailure` says
// (for the volume `ejectFailsOn` alone, where one is named).
class FakeMounter : public cli::VolumeMounter {
  public:
    std::function<std::variant<cli::MountedVolume, cli::MountFailure>()> mount;
    std::optional<cli::MountFailure> ejectFailure;
    std::string ejectFailsOn;
    std::vector<std::string> mounted, ejected;

    std::variant<cli::MountedVolume, cli::MountFailure> Mount(std::string_view disk) override {
        mounted.emplace_back(disk);
        return mount();
    }
    cli::EjectResult Eject(std::string_view mountPoint, std::string_view) override {
        ejected.emplace_back(mountPoint);
        if (ejectFailure && (ejectFailsOn.empty() || mountPoint == ejectFailsOn))
            return {false, false, ejectFailure, {}};
        return {true, true, std::nullopt, {}};
    }
};

// Without a desktop, the volume is mounted for the update and ejected
// after it; an eject that fails is said, but the update stays a success.
TEST_F(CommandLine, AnUnmountedVolumeIsMountedThenEjected) {
    PlugCamera(false);
    FakeMounter mounter;
    mounter.mount = [this] {
        MountCamera();
        return cli::MountedVolume{"/dev/sdc1", camera.string()};
    };
    EXPECT_EQ(Run({"--wait", "0", "--eject"}, nullptr, &mounter), cli::kSuccess) << err;
    EXPECT_EQ(mounter.mounted, std::vector<std::string>{"/dev/sdc1"});
    EXPECT_NE(out.find("Mounted /dev/sdc1 at " + camera.string() + " through UDisks2."),
              std::string::npos)
        << out;
    EXPECT_EQ(CameraFile("vorm.bin"), image);
    EXPECT_EQ(mounter.ejected, std::vector<std::string>{camera.string()});
    EXPECT_NE(out.find("powered the camera off through UDisks2: it can be unplugged"),
              std::string::npos)
        << out;

    mounter.ejected.clear();
    EXPECT_EQ(Run({"--wait", "0"}, nullptr, &mounter), cli::kSuccess) << err;
    EXPECT_TRUE(mounter.ejected.empty());

    mounter.ejectFailure = cli::MountFailure{cli::MountFailure::Kind::Failed, "target is busy"};
    EXPECT_EQ(Run({"--wait", "0", "--eject", "--json"}, nullptr, &mounter), cli::kSuccess);
    const std::vector<QJsonObject> events = JsonEvents(out);
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[events.size() - 2]["event"].toString(), "done");
    EXPECT_EQ(events.back()["event"].toString(), "warning");
    const std::string warning = events.back()["message"].toString().toStdString();
    EXPECT_NE(warning.find("could not unmount " + camera.string() + " (target is busy)"),
              std::string::npos)
        << warning;
    EXPECT_NE(warning.find("(umount " + camera.string() + ") before you unplug"),
              std::string::npos);
}

// A mount that fails is said with the device, and not tried again until
// the camera comes back: each try may ask the user for a password.
TEST_F(CommandLine, AFailedMountIsSaidAndTriedOncePerArrival) {
    PlugCamera(false);
    FakeMounter mounter;
    mounter.mount = [] { return cli::MountFailure{cli::MountFailure::Kind::NoService, {}}; };
    EXPECT_EQ(Run({"--wait", "0"}, nullptr, &mounter), cli::kNoCamera);
    EXPECT_NE(err.find("storage /dev/sdc1 is not mounted, and UDisks2 is not running to mount it"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("sudo mount -o uid=$(id -u) /dev/sdc1 /mnt"), std::string::npos);

    mounter.mounted.clear();
    TestHost host(Roots());
    const std::vector<std::function<void()>> steps = {[] {}, [this] { UnplugCamera(); },
                                                      [this] { PlugCamera(false); },
                                                      [&host] { host.RequestStop(); }};
    std::size_t step = 0;
    std::function<void()> next = [&] {
        steps[step++]();
        if (step < steps.size()) host.onWait = next;
    };
    host.onWait = next;
    EXPECT_EQ(Run({}, &host, &mounter), cli::kStopped);
    EXPECT_EQ(step, steps.size());
    EXPECT_EQ(mounter.mounted.size(), 2u);
    EXPECT_NE(out.find("is not running to mount it. Waiting for it."), std::string::npos) << out;
}

// A service bench: three cameras plugged in one after another, each updated
// and logged, the second short of room; Ctrl-C while waiting for a fourth
// ends the run as stopped, so that a calling script stops too.
TEST_F(CommandLine, RepeatUpdatesEachCameraInTurnAndLogsIt) {
    TestHost host(Roots());
    const std::vector<std::string> serials = {"A100", "B200", "C300"};
    std::size_t plugged = 0;
    onOutput = [&](std::string_view text) {
        if (text.find("Waiting for the camera") != std::string_view::npos) {
            if (plugged == serials.size()) return host.RequestStop();
            host.freeBytes = plugged == 1 ? std::optional<std::uint64_t>(4096) : std::nullopt;
            PlugCamera(true, serials[plugged++]);
            host.changed = true;
        } else if (text.find("Unplug the camera") != std::string_view::npos) {
            tree.Write("media/CAMERA/FIRMWARE/vorm.bin", "old image");
            UnplugCamera();
            host.changed = true;
        }
    };
    const std::string log = tree / "bench.csv";
    EXPECT_EQ(Run({"--repeat", "--log", log}, &host), cli::kStopped) << err;
    EXPECT_EQ(plugged, 3u);

    std::istringstream lines(ReadFile(log));
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);) rows.push_back(line);
    ASSERT_EQ(rows.size(), 4u) << ReadFile(log);
    EXPECT_EQ(rows[0], "time,hardware_id,serial,volume,bytes,seconds,outcome,message,warning");
    const std::string bytes = std::to_string(image.size() + 23);
    for (std::size_t i = 1; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i]);
        EXPECT_NE(rows[i].find(",usb\\vid_1d6c&pid_00ab&rev_0100," + serials[i - 1] + "," +
                               camera.string() + "," + bytes + ","),
                  std::string::npos);
        EXPECT_NE(rows[i].find(i == 2 ? ",no-room,There is not enough room" : ",success,"),
                  std::string::npos);
    }
}

// A log that cannot take a line is said at once, with the system's reason,
// and the run's status says the record is incomplete.
TEST_F(CommandLine, ALogThatFailsIsSaid) {
    PlugCamera();
    EXPECT_EQ(Run({"--wait", "0", "--log", "/dev/full"}), cli::kLogIncomplete) << err;
    EXPECT_EQ(CameraFile("vorm.bin"), image);
    EXPECT_NE(out.find("Update success"), std::string::npos);
    EXPECT_NE(err.find("The log /dev/full could not be written (No space left on device): it "
                       "has no line for the camera at " +
                       camera.string()),
              std::string::npos)
        << err;
    EXPECT_EQ(Run({"--wait", "0", "--json", "--log", "/dev/full"}), cli::kLogIncomplete);
    EXPECT_EQ(JsonEvents(out).back()["event"].toString(), "warning") << out;
}

// A volume in a folder whose name is not UTF-8 still gives JSON that a
// strict reader takes, and the folder's exact bytes.
TEST_F(CommandLine, JsonStaysUtf8ForAFolderOfAnOlderSystem) {
    camera = tree.MakeFolder("media/CAM\xE9RA");
    tree.Write("work/FirmWare.ini", std::string(kSettings));
    PlugCamera(false);
    mountTable += "2 1 " + testing::DeviceNumberOf(tree.root()) + " / " + camera.string() +
                  " rw - vfat /dev/sdc1 rw\n";
    tree.Write("mountinfo", mountTable);
    EXPECT_EQ(Run({"--json", "--wait", "0"}), cli::kSuccess) << out;
    tree.Write("events.jsonl", out);
    const std::string check =
        "python3 -c 'import sys, json\n"
        "for line in open(sys.argv[1], \"rb\"):\n"
        "    event = json.loads(line.decode(\"utf-8\", \"strict\"))\n"
        "    if \"volumeHex\" in event: "
        "print(bytes.fromhex(event[\"volumeHex\"]).decode(\"latin-1\"))\n"
        "' " +
        tree / "events.jsonl";
    std::FILE* python = ::popen(check.c_str(), "r");
    ASSERT_NE(python, nullptr);
    std::string said;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, python) != nullptr) said += buffer;
    EXPECT_EQ(::pclose(python), 0) << out;
    EXPECT_NE(said.find("CAM\xC3\xA9RA"), std::string::npos) << said;  // é, read back as Latin-1
}

// Odd files as settings or log: nothing blocks or reads without end, and
// each is refused with what it is. A pipe with a reader takes the log.
TEST_F(CommandLine, OddSettingsAndLogFilesAreRefusedAtOnce) {
    PlugCamera();
    const std::string fifo = tree / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    tree.Write("big.ini", std::string(kSettings) + std::string(70 * 1024, ';'));
    struct Case {
        std::vector<std::string> arguments;
        int status;
        const char* says;
    };
    const std::vector<Case> cases = {
        {{"--ini", fifo}, cli::kBadSettings, "not a regular file"},
        {{"--ini", "/dev/zero"}, cli::kBadSettings, "not a regular file"},
        {{"--ini", tree / "work"}, cli::kBadSettings, "is a folder, not a file"},
        {{"--ini", tree / "big.ini"}, cli::kBadSettings, "larger than 64 KiB"},
        {{"--log", fifo}, cli::kUsage, "(it is a pipe that nothing reads from yet)"},
        {{"--log", tree / "work"}, cli::kUsage, "(Is a directory)"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = c.arguments;
        arguments.insert(arguments.end(), {"--wait", "0"});
        EXPECT_EQ(Run(arguments), c.status) << err;
        EXPECT_NE(err.find(c.says), std::string::npos) << err;
    }
    EXPECT_EQ(ReadFile(camera / "FIRMWARE/vorm.bin"), "");

    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(Run({"--log", fifo, "--wait", "0"}), cli::kSuccess) << err;
    char line[4096];
    const ssize_t got = ::read(reader, line, sizeof line);
    ::close(reader);
    ASSERT_GT(got, 0);
    EXPECT_NE(std::string(line, static_cast<std::size_t>(got)).find(",success,"),
              std::string::npos);
}

// A camera that stops answering mid-write is said to, and Ctrl-C then ends
// the run without waiting for it, its old files in place.
TEST_F(CommandLine, AStopEndsTheRunWhenTheCameraHangs) {
    PlugCamera();
    tree.Write("media/CAMERA/FIRMWARE/vorm.bin", "old image");
    TestHost host(Roots());
    std::mutex mutex;
    std::condition_variable released;
    bool over = false;
    host.onCreate = [&] {
        std::unique_lock lock(mutex);
        released.wait(lock, [&] { return over; });
    };
    onOutput = [&](std::string_view text) {
        if (text.find("The camera is not answering") != std::string_view::npos) host.RequestStop();
    };
    EXPECT_EQ(Run({"--wait", "0"}, &host), cli::kStopped) << out;
    {
        std::lock_guard lock(mutex);
        over = true;
    }
    released.notify_all();
    EXPECT_NE(err.find("the camera does not answer, so orvane-cli ends without waiting"),
              std::string::npos)
        << err;
    EXPECT_EQ(CameraFile("vorm.bin"), "old image");
}

// In --all as alone, a refused mount keeps its reason, and its log line.
TEST_F(CommandLine, AllSaysWhyAMountFailedAndLogsIt) {
    PlugCameraNumber(1, false);
    FakeMounter mounter;
    mounter.mount = [] {
        return cli::MountFailure{cli::MountFailure::Kind::NotAuthorised, "Not authorized"};
    };
    const std::string log = tree / "all.csv";
    EXPECT_EQ(Run({"--all", "--wait", "0", "--log", log}, nullptr, &mounter,
                  [] { return std::unique_ptr<SystemPort>(); }),
              cli::kNoCamera);
    EXPECT_NE(err.find("was not authorised (Not authorized)"), std::string::npos) << err;
    const std::string lines = ReadFile(log);
    EXPECT_NE(lines.find(",S1,,0,0.0,no-camera,"), std::string::npos) << lines;
    EXPECT_NE(lines.find("was not authorised"), std::string::npos) << lines;

    // Tried once while it stays; unplugged and back, it is tried again.
    mounter.mounted.clear();
    TestHost host(Roots());
    const std::string port = tree / "sys/bus/usb/devices/2-1";
    const std::string device = tree / "sys/devices/pci0000:00/0000:00:14.0/usb2/2-1";
    const std::vector<std::function<void()>> steps = {
        [] {}, [&] { std::filesystem::remove(port); },
        [&] { std::filesystem::create_directory_symlink(device, port); },
        [&host] { host.RequestStop(); }};
    std::size_t step = 0;
    std::function<void()> next = [&] {
        steps[step++]();
        if (step < steps.size()) host.onWait = next;
    };
    host.onWait = next;
    EXPECT_EQ(Run({"--all"}, &host, &mounter, [] { return std::unique_ptr<SystemPort>(); }),
              cli::kStopped);
    EXPECT_EQ(mounter.mounted.size(), 2u);
}

// One of several cameras, on a volume of a made-up device; its writes fail
// as the system's do once the camera is pulled, when `pulled` is set.
class BenchCamera : public CameraSystem {
  public:
    BenchCamera(CliHost& host, bool pulled) : CameraSystem(host), pulled_(pulled) {}

    Status HoldVolume(std::string_view) override { return Ok(); }
    Result<std::unique_ptr<WritableFile>> CreateForWrite(std::string_view path) override {
        if (onCreate) onCreate();
        auto file = CameraSystem::CreateForWrite(path);
        if (!file.ok() || !pulled_) return file;
        return std::unique_ptr<WritableFile>(std::make_unique<PulledFile>(std::move(file.value())));
    }

    std::function<void()> onCreate;  // on the camera's worker

  private:
    class PulledFile : public WritableFile {
      public:
        explicit PulledFile(std::unique_ptr<WritableFile> file) : file_(std::move(file)) {}
        // Half of the first piece reaches the card before it goes.
        Status Write(std::span<const std::byte> data) override {
            if (Status half = file_->Write(data.first(data.size() / 2)); !half.ok()) return half;
            return SystemError{ErrorKind::DeviceGone, ENODEV, "No such device"};
        }
        std::uint64_t BytesOnDevice() const override { return file_->BytesOnDevice(); }
        Status Flush() override { return file_->Flush(); }
        Status Close() override { return file_->Close(); }

      private:
        std::unique_ptr<WritableFile> file_;
    };
    bool pulled_;
};

// Three cameras at once, the third not mounted yet, the second pulled while
// its files are written: it fails alone, the others get both files and are
// ejected, and each has its log line, with every member of its done or
// failed event; the third's eject is refused, which its line keeps.
TEST_F(CommandLine, AllUpdatesEveryCameraAndAPulledOneFailsAlone) {
    std::vector<std::filesystem::path> volumes;
    for (int n = 1; n <= 3; ++n) volumes.push_back(PlugCameraNumber(n, n != 3));
    FakeMounter mounter;
    mounter.mount = [&] {
        MountLater();
        return cli::MountedVolume{"/dev/sdg1", volumes[2].string()};
    };
    mounter.ejectFailure = cli::MountFailure{cli::MountFailure::Kind::NotAuthorised, "no agent"};
    mounter.ejectFailsOn = volumes[2].string();
    tree.Write("media/CAM2/FIRMWARE/vorm.bin", "old image");
    TestHost host(Roots());
    int made = 0;
    auto makeSystem = [&]() -> std::unique_ptr<SystemPort> {
        return std::make_unique<BenchCamera>(host, ++made == 2);
    };
    const std::string log = tree / "all.jsonl";
    EXPECT_EQ(Run({"--all", "--json", "--wait", "0", "--log", log, "--eject"}, &host, &mounter,
                  makeSystem),
              cli::kDisconnected)
        << out;
    EXPECT_EQ(made, 3);
    EXPECT_EQ(mounter.mounted, std::vector<std::string>{"/dev/sdg1"});
    std::sort(mounter.ejected.begin(), mounter.ejected.end());
    EXPECT_EQ(mounter.ejected, (std::vector<std::string>{volumes[0], volumes[2]}));
    for (const std::size_t n : {0u, 2u}) {
        EXPECT_EQ(ReadFile(volumes[n] / "FIRMWARE/vorm.bin"), image);
        EXPECT_EQ(ReadFile(volumes[n] / "FIRMWARE/dsccmd.ini"), "[Update]\nFile=vorm.bin\n");
    }
    EXPECT_EQ(ReadFile(volumes[1] / "FIRMWARE/vorm.bin"), "old image");

    std::map<std::string, QJsonObject> outcome;  // by volume
    for (const QJsonObject& event : JsonEvents(out)) {
        const std::string kind = event["event"].toString().toStdString();
        if (kind == "progress" || kind == "done" || kind == "failed") {
            EXPECT_FALSE(event["volume"].toString().isEmpty()) << kind;
        }
        if (kind == "done" || kind == "failed")
            outcome[event["volume"].toString().toStdString()] = event;
    }
    std::map<std::string, std::string> kinds;
    for (const auto& [volume, event] : outcome)
        kinds[volume] = event["event"].toString().toStdString();
    EXPECT_EQ(kinds, (std::map<std::string, std::string>{{volumes[0].string(), "done"},
                                                         {volumes[1].string(), "failed"},
                                                         {volumes[2].string(), "done"}}));
    const std::vector<QJsonObject> lines = JsonEvents(ReadFile(log));
    EXPECT_EQ(lines.size(), 3u);
    for (const QJsonObject& line : lines) {
        const std::string volume = line["volume"].toString().toStdString();
        SCOPED_TRACE(volume);
        for (const QString& key : outcome[volume].keys())
            EXPECT_EQ(line[key], outcome[volume][key]) << key.toStdString();
        EXPECT_EQ(line["version"], cli::kJsonVersion);
        EXPECT_EQ(line["outcome"].toString(),
                  volume == volumes[1].string() ? "disconnected" : "success");
        const std::string warning = line["warning"].toString().toStdString();
        if (volume == volumes[2].string())
            EXPECT_NE(warning.find("Unmounting " + volume +
                                   " through UDisks2 was not authorised (no agent)"),
                      std::string::npos);
        else
            EXPECT_EQ(warning, "");
    }
}

// A camera finished, and a fresh one went into its port while another was
// still being written: the fresh one is a camera of its own, even on the
// volume name the first one had.
TEST_F(CommandLine, AllTakesAFreshCameraInAReusedPort) {
    const std::filesystem::path first = PlugCameraNumber(1);
    PlugCameraNumber(2);
    TestHost host(Roots());
    std::mutex mutex;
    std::condition_variable seen;
    int found = 0;
    onOutput = [&](std::string_view text) {
        if (text.find("\"found\"") != std::string_view::npos) {
            std::lock_guard lock(mutex);
            ++found;
            seen.notify_all();
        }
        if (text.find("\"done\"") == std::string_view::npos ||
            text.find("CAM1") == std::string_view::npos || found > 2)
            return;
        const std::string device = "sys/devices/pci0000:00/0000:00:14.0/usb2/2-1";
        tree.Write(device + "/devnum", "9\n");
        tree.Write(device + "/serial", "FRESH\n");
        std::filesystem::remove_all(first / "FIRMWARE");
        host.changed = true;
    };
    int made = 0;
    auto makeSystem = [&]() -> std::unique_ptr<SystemPort> {
        auto bench = std::make_unique<BenchCamera>(host, false);
        // The second camera is still writing when the fresh one comes; a
        // run that never takes it goes on after a while, and fails.
        if (++made == 2)
            bench->onCreate = [&] {
                std::unique_lock lock(mutex);
                seen.wait_for(lock, std::chrono::seconds(20), [&] { return found >= 3; });
            };
        return bench;
    };
    const std::string log = tree / "all.csv";
    EXPECT_EQ(Run({"--all", "--json", "--wait", "0", "--log", log}, &host, nullptr, makeSystem),
              cli::kSuccess)
        << out;
    EXPECT_EQ(made, 3);
    EXPECT_EQ(ReadFile(first / "FIRMWARE/vorm.bin"), image);
    const std::string lines = ReadFile(log);
    EXPECT_NE(lines.find(",FRESH," + first.string() + ","), std::string::npos) << lines;
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 4) << lines;
}

// Where the system does not say which drive is whose, --all updates one
// camera as a run for one does, and refuses two before writing to either.
TEST_F(CommandLine, AllRefusesCamerasItCannotTellApart) {
    TestHost host(Roots());
    host.noParents = true;
    auto makeSystem = [&host]() -> std::unique_ptr<SystemPort> {
        return std::make_unique<BenchCamera>(host, false);
    };
    const std::filesystem::path first = PlugCameraNumber(1);
    EXPECT_EQ(Run({"--all", "--wait", "0"}, &host, nullptr, makeSystem), cli::kSuccess) << err;
    EXPECT_EQ(ReadFile(first / "FIRMWARE/vorm.bin"), image);
    std::filesystem::remove_all(first / "FIRMWARE");

    const std::filesystem::path second = PlugCameraNumber(2);
    EXPECT_EQ(Run({"--all", "--wait", "0"}, &host, nullptr, makeSystem), cli::kCamerasUntold);
    EXPECT_NE(err.find("does not say which drive is whose"), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(first / "FIRMWARE"));
    EXPECT_FALSE(std::filesystem::exists(second / "FIRMWARE"));
}

// Ctrl-C while one camera is written and another is not ready yet: the run
// ends as stopped, and the waiting camera is said to be not started.
TEST_F(CommandLine, AStopEndsAllAsStopped) {
    PlugCameraNumber(1);
    PlugCameraNumber(2, false);
    TestHost host(Roots());
    auto makeSystem = [&]() -> std::unique_ptr<SystemPort> {
        auto bench = std::make_unique<BenchCamera>(host, false);
        bench->onCreate = [this, &host] {
            host.RequestStop();
            AwaitStopNotice();
        };
        return bench;
    };
    EXPECT_EQ(Run({"--all", "--json"}, &host, nullptr, makeSystem), cli::kStopped) << out;
    std::vector<std::string> failures;
    for (const QJsonObject& event : JsonEvents(out)) {
        if (event["event"].toString() != "failed") continue;
        EXPECT_EQ(event["status"].toInt(), cli::kStopped);
        failures.push_back(event["message"].toString().toStdString());
    }
    ASSERT_EQ(failures.size(), 2u) << out;
    EXPECT_NE(failures[1].find("was not started"), std::string::npos) << failures[1];
}

// As a terminal's job has them, whatever the test was started with (a
// background job ignores SIGINT, nohup SIGHUP): the program keeps an
// ignored signal ignored.
void DefaultSignals() {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) ::signal(signal, SIG_DFL);
}

// The program itself, started in `folder` with `arguments`, its output
// into `output`.
pid_t StartProgram(const std::filesystem::path& folder, int output,
                   std::vector<std::string> arguments) {
    const pid_t child = ::fork();
    if (child != 0) return child;
    DefaultSignals();
    ::dup2(output, STDOUT_FILENO);
    if (::chdir(folder.c_str()) != 0) ::_exit(126);
    std::vector<char*> argv{const_cast<char*>(ORVANE_CLI_PROGRAM)};
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    ::execv(ORVANE_CLI_PROGRAM, argv.data());
    ::_exit(127);
}

// Reads `fd` until `text` has come; what came.
std::string ReadUntil(int fd, std::string_view text) {
    std::string said;
    char c;
    while (said.find(text) == std::string::npos && ::read(fd, &c, 1) == 1) said += c;
    return said;
}

// After the stop, each signal ends it as the signal does by default, so
// that the calling shell sees which one; Ctrl-\ as well, without a core.
TEST(CommandLineProgram, AStopEndsItByItsSignal) {
    TempTree tree;
    tree.Write("FirmWare.ini", std::string(kSettings));
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        SCOPED_TRACE(signal);
        int output[2];
        ASSERT_EQ(::pipe(output), 0);
        const pid_t child = StartProgram(tree.root(), output[1], {});
        ASSERT_GE(child, 0);
        ::close(output[1]);
        // Once it says it waits, its signal handling is in place.
        EXPECT_NE(ReadUntil(output[0], "\n").find("Waiting for the camera"), std::string::npos);
        ::kill(child, signal);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ::close(output[0]);
        ASSERT_TRUE(WIFSIGNALED(status)) << "exit " << WEXITSTATUS(status);
        EXPECT_EQ(WTERMSIG(status), signal);
        EXPECT_FALSE(WCOREDUMP(status));
    }
}

// Ctrl-C on the terminal reaches the shell loop that runs it too: the loop
// stops, instead of going on with the next round.
TEST(CommandLineProgram, CtrlCStopsACallingShellLoop) {
    TempTree tree;
    tree.Write("FirmWare.ini", std::string(kSettings));
    int output[2];
    ASSERT_EQ(::pipe(output), 0);
    const std::string loop = std::string("for round in 1 2; do '") + ORVANE_CLI_PROGRAM +
                             "' --wait 2; echo \"round $round over\"; done";
    const pid_t shell = ::fork();
    if (shell == 0) {
        ::setpgid(0, 0);  // a job of its own, as a terminal's foreground
        DefaultSignals();
        ::dup2(output[1], STDOUT_FILENO);
        if (::chdir(tree.root().c_str()) != 0) ::_exit(126);
        ::execl("/bin/bash", "bash", "-c", loop.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ASSERT_GE(shell, 0);
    ::setpgid(shell, shell);
    ::close(output[1]);
    EXPECT_NE(ReadUntil(output[0], "\n").find("Waiting for the camera"), std::string::npos);
    ::kill(-shell, SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(shell, &status, 0), shell);
    const std::string rest = ReadUntil(output[0], "never said");
    ::close(output[0]);
    EXPECT_EQ(rest.find("round 1 over"), std::string::npos) << rest;
    EXPECT_TRUE(WIFSIGNALED(status) || WEXITSTATUS(status) == 130);
}

// A reader that went away does not end it half-way: it still ends with its
// own status, as it would between the replacement of two files.
TEST(CommandLineProgram, AClosedOutputDoesNotKillIt) {
    TempTree tree;
    tree.Write("FirmWare.ini", std::string(kSettings));
    int output[2];
    ASSERT_EQ(::pipe(output), 0);
    ::close(output[0]);
    const pid_t child = StartProgram(tree.root(), output[1], {"--json", "--wait", "0"});
    ASSERT_GE(child, 0);
    ::close(output[1]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), cli::kNoCamera);
}

}  // namespace
}  // namespace orvane::linux_port
