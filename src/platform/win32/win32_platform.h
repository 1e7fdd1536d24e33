// The port's operations on the Win32 API, for the Windows program.
#pragma once

#include <string>

#include "platform/platform.h"
#include "platform/win32/win32_api.h"

namespace orvane::win32 {

// Posted to the updater dialog with a task for the user-interface thread in
// lParam (a `std::function<void()>*` that the dialog runs and deletes).
inline constexpr UINT kRunTaskMessage = WM_APP + 1;

class Win32Platform : public Platform {
  public:
    explicit Win32Platform(HINSTANCE instance);
    // Waits for the worker thread's last steps: the dialog ends only after
    // the transfer's result has reached it.
    ~Win32Platform() override;
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    // Runs and deletes a task that came with kRunTaskMessage.
    static void RunPostedTask(LPARAM task);

    // The updater dialog's window, once it exists; the window operations act
    // on it and message boxes are owned by it.
    void AttachWindow(HWND window) { window_ = window; }
    HWND window() const { return window_; }
    HINSTANCE instance() const { return instance_; }
    // Message-box caption: the executable's file name without extension.
    const std::string& applicationTitle() const { return title_; }

    HostSystem System() const override { return HostSystem::Windows; }
    IconHandle LoadAppIcon() override;
    void AddAboutToSystemMenu() override;
    void SetWindowIcons(IconHandle icon) override;
    unsigned ArmTimer(unsigned id, unsigned intervalMs) override;
    void StopTimer(unsigned timerId) override;
    void ShowMessage(std::string_view text) override;
    void EndModal(int result) override;
    void WriteStdout(std::string_view text) override;
    Status SubscribeUsbArrival() override;
    // The bar is the system's common progress control; the bar and its
    // status line exist only while a transfer runs, so the dialog at rest
    // has exactly its template's controls.
    void ShowProgress(int percent, std::string_view status) override;
    void HideProgress() override;
    void RunInBackground(std::function<void()> work) override;
    void PostToUi(std::function<void()> task) override;

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
    Status ReplaceWith(std::string_view from, std::string_view to) override;
    Status RemoveFile(std::string_view path) override;

  private:
    HINSTANCE instance_;
    HWND window_ = nullptr;
    std::string title_;
    HWND progress_ = nullptr;
    HWND status_ = nullptr;
    HANDLE worker_ = nullptr;
};

}  // namespace orvane::win32
