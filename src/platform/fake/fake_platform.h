// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// An in-memory platform for tests: files, folders, devices, drives, timers and
// message boxes that a test sets up, changes between ticks and inspects, with
// a failure injectable into any file operation.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "device/device_report.h"
#include "platform/fake/fake_pace.h"
#include "port/dialog_port.h"

namespace orvane::fake {

class FakePlatform : public Platform {
  public:
    // ---- What the test sets up --------------------------------------------

    // The messages' words; the fake's paths are Windows paths either way.
    HostSystem system = HostSystem::Windows;

    // Nothing: CurrentDirectory fails with `currentDirectoryError`.
    std::optional<std::string> currentDirectory = std::string("C:\\Tools\\Update");
    SystemError currentDirectoryError{ErrorKind::Other, 3, "The system cannot find the path."};

    // The machine's USB devices and storage, as a device report says them
    // (the format users send and the modelled trees use): with the Windows
    // facts a walk reads (nodes, disk interfaces, letters), those; without,
    // `tree.layout`, whose drives are the drive list, in its order, each on
    // its disk. A drive that is not on the list is gone.
    DeviceReport tree = DefaultMachine();
    // Reads a .tree file's text into `tree`: the system, the camera's ID,
    // the devices, the storage and the folders that already hold the
    // destination. A line that cannot be read gives its reason.
    std::optional<std::string> LoadTree(std::string_view text);
    // The drive list, in order: the letters, or the layout's drives.
    std::vector<std::string> Drives() const;
    // The layout's drive `letter`, added at the end of the list if new.
    DriveOnDisk& Drive(const std::string& letter);
    // The layout's drives become `letters`, keeping what is known of those
    // that stay.
    void SetDrives(const std::vector<std::string>& letters);
    static DeviceReport DefaultMachine();

    std::map<std::string, DriveRefusal> refusals;
    std::optional<SystemError> layoutError;  // the walk fails with it
    // Whether the host mounts volumes, and how its mounts fail (nothing:
    // they succeed, giving the disk named the drive `mountedDrive`).
    bool mounts = false;
    std::optional<MountFailure::Kind> mountFailure;
    std::string mountedDrive = "G";
    // HoldVolume fails with it.
    std::optional<SystemError> holdError;
    std::optional<std::uint64_t> freeSpace = std::uint64_t{1} << 40;
    std::uint64_t clusterSize = 0;  // as FreeSpace reports it; 0: not said
    Status subscribeResult = Ok();
    bool timerArmFails = false;
    IconHandle appIcon = 0x128;

    // Files by full path, and folders (without trailing separator).
    std::map<std::string, std::string> files;
    std::set<std::string> folders;

    // Fail the n-th file operation (1-based) with `failKind`; 0 fails none.
    // A failing write stores half of its data first, as a full disk does.
    int failFileOpAt = 0;
    ErrorKind failKind = ErrorKind::Other;
    // The injected failure of a ReplaceWith happens after the rename, as
    // when the folder cannot be flushed.
    bool failedRenameTakesPlace = false;
    // The injected failure also unplugs the camera: from then on its drive is
    // missing from the list, and every file operation on it fails as on a
    // drive letter that no longer exists.
    bool failureUnplugs = false;
    // Reads of these paths that bypass the cache see one byte changed, as a
    // device that did not keep what it was sent.
    std::set<std::string> corruptOnDevice;
    // How many bytes of each file being written have reached the device: the
    // device takes each write only when the next one comes, or at the flush.
    std::map<std::string, std::uint64_t> bytesOnDevice;

    // Called for each message box while it is "open".
    std::function<void(std::string_view)> onMessage;
    // Receives timer expiries; set by the test to the dialog's OnTimer.
    std::function<void(unsigned)> timerTarget;
    // Called at each file operation, after it is logged and before it acts:
    // the user's events can reach the dialog between any two operations of
    // the worker.
    std::function<void(const std::string&)> onFileOp;

    // Background work runs to its end at once, and what it posted reaches
    // the dialog after it, as when the user does nothing meanwhile. With
    // `holdBackground` the work waits for RunBackgroundWork() and posted
    // tasks for DeliverPosted(), so a test can act in between.
    bool holdBackground = false;
    void RunBackgroundWork();
    void DeliverPosted();
    // Blocks the test's thread until a task has been posted.
    void WaitForPosted();

    // Background work and device queries run on threads of their own, and
    // what they post waits for DeliverPosted. The threads are joined by
    // JoinThreads and at the end.
    bool threaded = false;
    void JoinThreads();

    // A request on a device that does not return: the first call whose line
    // in `calls` begins with `what` blocks its thread (never the test's own;
    // `threaded` only) until EndHang. WaitUntilHung returns once it blocks.
    // EndHang(true) ends it as the end of the process would: that call and
    // every later file operation fail and change nothing, and nothing more
    // is posted.
    void HangAt(std::string what);
    void WaitUntilHung();
    void EndHang(bool processEnded);

    // What Now() reads; the test moves it on.
    std::chrono::steady_clock::time_point now{};
    // The camera's pace (fake_pace.h): with one set, writes, uncached reads,
    // flushes, renames and removals take modelled time, and Now() runs on by
    // it. None by default.
    PacedDevice pacedDevice;

    void SetProfileValue(const std::string& path, const std::string& section,
                         const std::string& key, const std::string& value);
    void Plug(std::vector<std::string> hardwareIds, std::string instance = {});
    void UnplugAll() { tree.usbDevices.clear(); }
    // Delivers one expiry of every running timer.
    void FireTimers();
    // Moves `now` on by `span`, delivering each timer's expiries as they
    // fall due, in order.
    void Advance(std::chrono::milliseconds span);

    // ---- What the test inspects --------------------------------------------

    std::vector<std::string> calls;  // every platform call, in order
    std::vector<std::string> messages;
    std::optional<int> endResult;
    std::optional<int> processEnd;  // EndProcess's result
    std::string standardOutput;
    std::map<unsigned, unsigned> runningTimers;  // id -> interval
    int fileOps = 0;                             // file operations so far
    int backgroundRuns = 0;                      // pieces of work started
    std::vector<int> progressShown;              // the percentage of each ShowProgress
    std::string progressStatus;                  // the status line last shown
    std::vector<std::string> statusesShown;      // every status line, in order
    bool progressVisible = false;
    std::optional<std::string> heldVolume;  // between HoldVolume and ReleaseVolume
    bool systemHeld = false;                // between HoldSystemForTransfer(true) and (false)

    bool TimerRunning(unsigned id) const { return runningTimers.count(id) != 0; }
    std::vector<std::string> FilesUnder(const std::string& prefix) const;

    // ---- Platform ------------------------------------------------------------

    HostSystem System() const override { return system; }
    IconHandle LoadAppIcon() override;
    void AddAboutToSystemMenu() override;
    void SetWindowIcons(IconHandle icon) override;
    unsigned ArmTimer(unsigned id, unsigned intervalMs) override;
    void StopTimer(unsigned timerId) override;
    void ShowMessage(std::string_view text) override;
    void EndModal(int result) override;
    void WriteStdout(std::string_view text) override;
    Status SubscribeUsbArrival() override;
    void ShowProgress(int percent, std::string_view status) override;
    void HideProgress() override;
    std::chrono::steady_clock::time_point Now() override {
        return now + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                         pacedDevice.elapsed());
    }
    void RunDeviceQuery(std::function<void()> work) override;
    VolumeMounter* Mounter() override { return mounts ? &mounter_ : nullptr; }
    void EndProcess(int result) override;
    void RunInBackground(std::function<void()> work) override;
    void PostToUi(std::function<void()> task) override;
    void HoldSystemForTransfer(bool hold) override;
    Result<std::string> CurrentDirectory() override;
    std::string ReadProfileString(std::string_view section, std::string_view key,
                                  std::string_view fallback, std::size_t size,
                                  std::string_view path) override;
    std::string JoinPath(std::string_view base, std::string_view fragment) override;
    std::string DriveRoot(std::string_view drive) override;
    std::vector<UsbDevice> PresentUsbDevices() override;
    std::vector<std::string> LogicalDrives() override;
    Result<StorageLayout> StorageLayoutOfDrives() override;
    bool IsFolder(std::string_view path) override;
    DriveRefusal CheckDrive(std::string_view drive) override;
    Result<VolumeSpace> FreeSpace(std::string_view path) override;
    Status HoldVolume(std::string_view drive) override;
    void ReleaseVolume() override;
    Status MakeDirectory(std::string_view path) override;
    Result<std::unique_ptr<ReadableFile>> OpenForRead(std::string_view path,
                                                      ReadCaching caching) override;
    Result<std::unique_ptr<WritableFile>> CreateForWrite(std::string_view path) override;
    Status ReplaceWith(std::string_view from, std::string_view to,
                       const DeviceAnswered& answered) override;
    Status RemoveFile(std::string_view path) override;

    // Counts a file operation; returns the injected error when it is its turn.
    std::optional<SystemError> FileOp(const std::string& what);
    bool FolderExists(const std::string& path) const;
    // Logs a call, from any thread; blocks where HangAt says.
    void Log(std::string call);
    // EndHang(true) came: the process is over for everything still running.
    bool Ended();

    FakePlatform() = default;
    FakePlatform(const FakePlatform&) = delete;
    FakePlatform& operator=(const FakePlatform&) = delete;
    ~FakePlatform() override;

  private:
    class FakeMounter : public VolumeMounter {
      public:
        explicit FakeMounter(FakePlatform& platform) : platform_(platform) {}
        std::variant<MountedVolume, MountFailure> Mount(std::string_view diskName) override;
        EjectResult Eject(std::string_view, std::string_view) override { return {}; }

      private:
        FakePlatform& platform_;
    };
    FakeMounter mounter_{*this};
    std::map<std::string, std::string> profile_;  // "path|SECTION|KEY" -> value
    std::map<unsigned, std::chrono::steady_clock::time_point> timerDue_;
    std::optional<std::string> unpluggedDrive_;
    std::function<void()> heldWork_;
    std::deque<std::function<void()>> posted_;
    std::vector<std::thread> threads_;
    // Guards `calls`, the posted tasks and the hang.
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string hangAt_;
    bool hanging_ = false;
    bool hangEnded_ = false;
    bool processEnded_ = false;
};

}  // namespace orvane::fake
