// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The Linux back end of the port: sysfs for USB devices, the mount table for
// drives, POSIX calls for files. The worker thread and the window-side
// operations go to a front end.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "platform/linux/side_worker.h"
#include "port/dialog_port.h"

namespace orvane {
class VolumeMounter;
}

namespace orvane::linux_port {

// The operations that belong to the window system; the Qt dialog supplies
// them, tests supply a recorder. Contracts as in `DialogPort`.
class WindowSide {
  public:
    virtual ~WindowSide() = default;
    virtual IconHandle LoadAppIcon() = 0;
    virtual void AddAboutToSystemMenu() = 0;
    virtual void SetWindowIcons(IconHandle icon) = 0;
    virtual unsigned ArmTimer(unsigned id, unsigned intervalMs) = 0;
    virtual void StopTimer(unsigned timerId) = 0;
    virtual void ShowMessage(std::string_view text) = 0;
    virtual void EndModal(int result) = 0;
    virtual void ShowProgress(int percent, std::string_view status) = 0;
    virtual void HideProgress() = 0;
    virtual void RunInBackground(std::function<void()> work) = 0;
    virtual void PostToUi(std::function<void()> task) = 0;
    virtual void HoldSystemForTransfer(bool hold) { static_cast<void>(hold); }
    // A window side without threads of its own asks at once: the answer is
    // there before anything could wait for it, so nothing is ever left out
    // on a device and the dialog ends as usual.
    virtual void RunDeviceQuery(std::function<void()> work) { work(); }
    virtual void EndProcess(int result) { EndModal(result); }
    virtual std::chrono::steady_clock::time_point Now() { return std::chrono::steady_clock::now(); }
};

// Where the back end looks for the system's state; tests and the demo point
// these at trees of their own.
struct SystemRoots {
    std::filesystem::path usbDevices = "/sys/bus/usb/devices";
    std::filesystem::path mountInfo = "/proc/self/mountinfo";
    std::filesystem::path blockDevices = "/sys/dev/block";
};

// The error kind the updater reacts to for an errno value, with the system's
// own text.
SystemError ErrorFromErrno(int error);

// Joins a folder and a fragment whose separators may be backslashes, as in a
// FirmWare.ini written for Windows. Nothing is inserted between the two; a
// separator at the seam is not doubled.
std::string JoinLinuxPath(std::string_view base, std::string_view fragment);

// The system side on Linux. The worker thread (RunInBackground, PostToUi)
// is the front end's: each program has a loop of its own.
class LinuxSystem : public virtual SystemPort {
  public:
    explicit LinuxSystem(SystemRoots roots = {});
    ~LinuxSystem() override;  // releases a held volume

    LinuxSystem(const LinuxSystem&) = delete;
    LinuxSystem& operator=(const LinuxSystem&) = delete;

    void WriteStdout(std::string_view text) override;
    HostSystem System() const override { return HostSystem::Linux; }
    // On a thread kept for it, one piece after another.
    std::unique_ptr<SideWork> RunBeside(std::function<void()> work) override;
    const SystemRoots& Roots() const { return roots_; }
    // Opens a kernel uevent socket, which the front end watches: see
    // DeviceEventSocket. Detection still works without it, on polling.
    Status OpenDeviceEvents();
    // The uevent socket, or -1 before OpenDeviceEvents succeeded. It
    // becomes readable when the kernel reports a device event.
    int DeviceEventSocket() const { return ueventSocket_; }
    // Reads every pending uevent without blocking; true when one of them may
    // let a scan find more (a USB or block device added or removed, a
    // medium changed, or events lost to an overflow).
    bool ReadDeviceEvents();

    Result<std::string> CurrentDirectory() override;
    // A missing file is also looked for under any letter case, since the
    // file may have come from a system whose file names ignore it.
    std::string ReadProfileString(std::string_view section, std::string_view key,
                                  std::string_view fallback, std::size_t size,
                                  std::string_view path) override;
    std::string JoinPath(std::string_view base, std::string_view fragment) override {
        return JoinLinuxPath(base, fragment);
    }
    // The mount point with a trailing "/", so that a DestPath value without
    // a leading backslash lands in the volume's top folder, as a drive-relative
    // path does on Windows.
    std::string DriveRoot(std::string_view drive) override;

    std::vector<UsbDevice> PresentUsbDevices() override;
    // Mount points of the whole volumes on block devices, in mount order.
    std::vector<std::string> LogicalDrives() override;
    // Every block device, each with the sysfs folders above it, and the
    // mount points of the whole volumes on them.
    Result<StorageLayout> StorageLayoutOfDrives() override;
    bool IsFolder(std::string_view path) override;
    // Refuses the root filesystem, and any volume whose device is neither on
    // a USB bus nor removable; a mount point no longer mounted is gone.
    DriveRefusal CheckDrive(std::string_view drive) override;
    Result<VolumeSpace> FreeSpace(std::string_view path) override;

    // Opens the mount point once and checks that it is the device that the
    // last CheckDrive passed; every later operation on a path below it is
    // resolved from that handle (openat2 with RESOLVE_IN_ROOT,
    // RESOLVE_NO_XDEV and RESOLVE_NO_SYMLINKS, or a checked walk).
    Status HoldVolume(std::string_view drive) override;
    void ReleaseVolume() override;

    Status MakeDirectory(std::string_view path) override;
    Result<std::unique_ptr<ReadableFile>> OpenForRead(std::string_view path,
                                                      ReadCaching caching) override;
    Result<std::unique_ptr<WritableFile>> CreateForWrite(std::string_view path) override;
    Status ReplaceWith(std::string_view from, std::string_view to,
                       const DeviceAnswered& answered) override;
    Status RemoveFile(std::string_view path) override;

  private:
    struct CheckedVolume {
        std::string mountPoint;
        dev_t device;
    };
    struct HeldVolume {
        std::string mountPoint;
        int fd;
    };
    struct FolderEntry {
        int folder;  // owned by the caller
        std::string name;
    };

    // The path below the held volume's root, when `path` lies on it.
    std::optional<std::string> OnHeldVolume(std::string_view path) const;
    // Opens `path`, confined to the held volume when it lies on it.
    Result<int> OpenFile(std::string_view path, int flags, unsigned mode);
    // The folder holding `path`, opened, and the name of `path` in it.
    Result<FolderEntry> OpenParent(std::string_view path);

    SystemRoots roots_;
    int ueventSocket_ = -1;
    std::optional<CheckedVolume> checked_;
    std::optional<HeldVolume> held_;
    SideWorker sideWorker_;
};

// The back end joined with a window side: the port the dialog programs use.
// Volumes are mounted through `mounter` where one is given (it must allow
// calls from any thread); without one, the user is told how to mount them.
class LinuxPlatform : public Platform, public LinuxSystem {
  public:
    explicit LinuxPlatform(WindowSide& window, SystemRoots roots = {},
                           VolumeMounter* mounter = nullptr)
        : LinuxSystem(std::move(roots)), window_(window), mounter_(mounter) {}

    IconHandle LoadAppIcon() override { return window_.LoadAppIcon(); }
    void AddAboutToSystemMenu() override { window_.AddAboutToSystemMenu(); }
    void SetWindowIcons(IconHandle icon) override { window_.SetWindowIcons(icon); }
    unsigned ArmTimer(unsigned id, unsigned intervalMs) override {
        return window_.ArmTimer(id, intervalMs);
    }
    void StopTimer(unsigned timerId) override { window_.StopTimer(timerId); }
    void ShowMessage(std::string_view text) override { window_.ShowMessage(text); }
    void EndModal(int result) override { window_.EndModal(result); }
    void ShowProgress(int percent, std::string_view status) override {
        window_.ShowProgress(percent, status);
    }
    void HideProgress() override { window_.HideProgress(); }
    // The uevent socket stands for the window's subscription.
    Status SubscribeUsbArrival() override { return OpenDeviceEvents(); }
    void RunInBackground(std::function<void()> work) override {
        window_.RunInBackground(std::move(work));
    }
    void PostToUi(std::function<void()> task) override { window_.PostToUi(std::move(task)); }
    void HoldSystemForTransfer(bool hold) override { window_.HoldSystemForTransfer(hold); }
    void RunDeviceQuery(std::function<void()> work) override {
        window_.RunDeviceQuery(std::move(work));
    }
    void EndProcess(int result) override { window_.EndProcess(result); }
    std::chrono::steady_clock::time_point Now() override { return window_.Now(); }
    VolumeMounter* Mounter() override;

  private:
    WindowSide& window_;
    VolumeMounter* mounter_;
};

}  // namespace orvane::linux_port
