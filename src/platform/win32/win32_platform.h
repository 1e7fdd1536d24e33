// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The dialog side of the port on the Win32 API, joined with the system side:
// the port of the Windows dialog program.
#pragma once

#include <string>
#include <vector>

#include "platform/win32/win32_api.h"
#include "platform/win32/win32_system.h"
#include "port/dialog_port.h"

namespace orvane::win32 {

// Posted to the updater dialog with a task for the user-interface thread in
// lParam (a `std::function<void()>*` that the dialog runs and deletes).
inline constexpr UINT kRunTaskMessage = WM_APP + 1;

class Win32Platform : public Platform, public Win32System {
  public:
    explicit Win32Platform(HINSTANCE instance);
    // The worker thread's last steps are waited for (WorkerThread): the
    // dialog ends only after the transfer's result has reached it.
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

    IconHandle LoadAppIcon() override;
    void AddAboutToSystemMenu() override;
    void SetWindowIcons(IconHandle icon) override;
    unsigned ArmTimer(unsigned id, unsigned intervalMs) override;
    void StopTimer(unsigned timerId) override;
    void ShowMessage(std::string_view text) override;
    void EndModal(int result) override;
    Status SubscribeUsbArrival() override;
    // The bar is the system's common progress control; the bar and its
    // status line exist only while a transfer runs, so the dialog at rest
    // has exactly its template's controls.
    void ShowProgress(int percent, std::string_view status) override;
    void HideProgress() override;
    void RunInBackground(std::function<void()> work) override;
    void PostToUi(std::function<void()> task) override;
    // A thread whose handle is closed at once: one held by a device is left
    // to the process's end. Waited for at most kStorageQueryCeilingMs; one
    // asked before the window first shows starts as it shows.
    void RunDeviceQuery(std::function<void()> work) override;
    // The dialog's window shows for the first time.
    void OnShown();
    // Whether a RunDeviceQuery thread is still out: one given up on still
    // uses this object and the dialog, which must outlive it.
    bool DeviceQueriesOut() const;
    // Windows mounts every volume itself, and gives it a letter.
    // TerminateProcess on itself: unlike ExitProcess it runs no DLL's
    // detach code, which a thread held in a device request could block.
    // The thread's windows are hidden first: such a thread may keep the
    // process, and under Wine its display connection with it.
    void EndProcess(int result) override;

  private:
    HINSTANCE instance_;
    HWND window_ = nullptr;
    std::string title_;
    HWND progress_ = nullptr;
    HWND status_ = nullptr;
    WorkerThread worker_;
    LONG queriesOut_ = 0;  // through the Interlocked functions only
    // Whether the window has shown; until then, the questions asked. The
    // user-interface thread's.
    bool shown_ = false;
    std::vector<std::function<void()>> held_;
};

}  // namespace orvane::win32
