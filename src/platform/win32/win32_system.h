// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The system side of the port on the Win32 API: settings, devices, drives
// and files. The dialog program and the command line each add what their
// own thread needs (a window, or a loop of its own).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/win32_api.h"
#include "port/system_port.h"

namespace orvane::win32 {

// Keeps the machine from sleeping while `hold` is true. A request of the
// calling thread, which Windows drops with the thread too.
void HoldSystemAwake(bool hold);

// One worker thread at a time: Start waits for the one before.
class WorkerThread {
  public:
    WorkerThread() = default;
    ~WorkerThread();  // waits for the thread
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Runs `work` on a new thread; where none can be started, before returning.
    void Start(std::function<void()> work);
    // Waits for the thread, if one was started.
    void Join();

  private:
    HANDLE thread_ = nullptr;
};

// IsFolder, asked under the ceiling of the device queries
// (kStorageQueryCeilingMs): false too when the volume does not answer in
// time, or has a question still out. For a thread that must stay free to
// see a stop, as the command line's is.
bool IsFolderWithinCeiling(std::string_view path);

class Win32System : public virtual SystemPort {
  public:
    Win32System();

    HostSystem System() const override { return HostSystem::Windows; }
    // Writes to standard output as it stands, where there is one.
    void WriteStdout(std::string_view text) override;
    // A thread of its own for each piece of work.
    std::unique_ptr<SideWork> RunBeside(std::function<void()> work) override;

    Result<std::string> CurrentDirectory() override;
    std::string ReadProfileString(std::string_view section, std::string_view key,
                                  std::string_view fallback, std::size_t size,
                                  std::string_view path) override;
    std::string JoinPath(std::string_view base, std::string_view fragment) override;
    std::string DriveRoot(std::string_view drive) override;

    std::vector<UsbDevice> PresentUsbDevices() override;
    std::vector<std::string> LogicalDrives() override;
    // Disks of the disk interface class with their chains of parents, and
    // each drive letter's disk, by IOCTL_STORAGE_GET_DEVICE_NUMBER; network
    // drives are left unopened.
    Result<StorageLayout> StorageLayoutOfDrives() override;
    bool IsFolder(std::string_view path) override;
    // Refuses network and CD drives, the Windows drive, and a fixed disk not
    // on USB (IOCTL_STORAGE_QUERY_PROPERTY's bus type).
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
};
}  // namespace orvane::win32
