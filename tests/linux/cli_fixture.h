// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The command line's test bed: the real Linux back end, with the system's
// state laid out in temporary folders, and hosts, mounters and cameras whose
// steps a test can hold or fail.
#pragma once

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
#include <functional>
#include <map>
#include <mutex>
#include <sstream>
#include <vector>

#include "cli/cli_devices.h"
#include "cli/cli_run.h"
#include "platform/linux/cli_host.h"
#include "port/volume_mounter.h"
#include "temp_tree.h"

namespace orvane::linux_port {

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
    // The worker may be in one of the overrides below until it ends.
    ~TestHost() override { JoinWorker(); }

    std::function<void()> onMakeDirectory;
    std::function<void()> onReplace;
    std::function<void()> onWait;
    // Device events, one at each wait after onWait's, in order.
    std::vector<std::function<void()>> waitSteps;
    std::size_t waitStepsTaken = 0;
    std::optional<DriveRefusal> refusal;
    std::optional<std::uint64_t> freeBytes;
    std::optional<ErrorKind> createFails;
    // The walk says nothing of what the disks hang from, as under Wine.
    bool noParents = false;
    std::atomic<int> walks{0};  // of the device tree, on any camera's system too
    Result<StorageLayout> StorageLayoutOfDrives() override {
        ++walks;
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
    Status ReplaceWith(std::string_view from, std::string_view to,
                       const DeviceAnswered& answered) override {
        if (onReplace) onReplace();
        return CliHost::ReplaceWith(from, to, answered);
    }
    // The test changed the device tree: the next wait ends at once, as it
    // would on the kernel's event.
    std::atomic<bool> changed{false};

    // A hook stands for a device event: the wait ends at once after it.
    void Wait(std::chrono::milliseconds timeout) override {
        if (changed.exchange(false)) {
            changeSeen = true;
            return;
        }
        if (onWait) {
            std::function<void()> once = std::move(onWait);
            onWait = nullptr;
            once();
        } else if (waitStepsTaken < waitSteps.size()) {
            waitSteps[waitStepsTaken++]();
        } else {
            return CliHost::Wait(timeout);
        }
        changeSeen = true;
    }
    bool TakeDeviceChange() override {
        return std::exchange(changeSeen, false) || CliHost::TakeDeviceChange();
    }
    bool changeSeen = false;
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
            VolumeMounter* mounter = nullptr, const cli::SystemMaker& makeSystem = {}) {
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

// What sha256sum says of `path`: the digest a bench checks its files with.
inline std::string Sha256sum(const std::filesystem::path& path) {
    std::FILE* tool = ::popen(("sha256sum '" + path.string() + "'").c_str(), "r");
    if (tool == nullptr) return "sha256sum did not start";
    char digest[65] = {};
    const std::size_t read = std::fread(digest, 1, 64, tool);
    ::pclose(tool);
    return std::string(digest, read);
}

inline std::vector<QJsonObject> JsonEvents(const std::string& text) {
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

// Stands for UDisks2: mounts as `mount` says, ejects as `ejectFailure` says
// (for the volume `ejectFailsOn` alone, where one is named).
class FakeMounter : public VolumeMounter {
  public:
    std::function<std::variant<MountedVolume, MountFailure>()> mount;
    std::optional<MountFailure> ejectFailure;
    std::string ejectFailsOn;
    std::vector<std::string> mounted, ejected;

    std::variant<MountedVolume, MountFailure> Mount(std::string_view disk) override {
        mounted.emplace_back(disk);
        return mount();
    }
    EjectResult Eject(std::string_view mountPoint, std::string_view) override {
        ejected.emplace_back(mountPoint);
        if (ejectFailure && (ejectFailsOn.empty() || mountPoint == ejectFailsOn))
            return {false, false, ejectFailure, {}};
        return {true, true, std::nullopt, {}};
    }
};

// One of several cameras, on a volume of a made-up device; its writes fail
// as the system's do once the camera is pulled, when `pulled` is set.
class BenchCamera : public CameraSystem {
  public:
    BenchCamera(CliHost& host, bool pulled) : CameraSystem(host), host_(host), pulled_(pulled) {}

    Status HoldVolume(std::string_view) override { return Ok(); }
    Result<StorageLayout> StorageLayoutOfDrives() override {
        if (auto* test = dynamic_cast<TestHost*>(&host_)) ++test->walks;
        return CameraSystem::StorageLayoutOfDrives();
    }
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
    CliHost& host_;
    bool pulled_;
};

}  // namespace orvane::linux_port
