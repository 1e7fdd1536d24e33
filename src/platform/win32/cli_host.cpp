// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The command line's loop on Windows: MsgWaitForMultipleObjects over an event
// that posted tasks and stops set, and the messages of a hidden window that
// device notices reach.
#include "platform/win32/cli_host.h"

#include <cstring>
#include <utility>

#include "platform/win32/ceiling.h"

namespace orvane::win32 {

namespace {

constexpr wchar_t kWindowClass[] = L"OrvaneCliNotices";

// What the console handler touches, on a thread of the system's own: two
// events made once and kept for the life of the process, so that a handler
// still running while the host goes away meets nothing destroyed.
HANDLE consoleStop = nullptr;  // auto-reset: a stop asked for from the console
HANDLE runOver = nullptr;      // manual reset: the run is over

BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (consoleStop == nullptr) return FALSE;
    SetEvent(consoleStop);
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
    // Closing the console, a log-off or a shutdown: the process ends when
    // this returns, so not before the run has, and a transfer stops where it
    // may. The system waits only so long.
    WaitForSingleObject(runOver, INFINITE);
    return TRUE;
}

}  // namespace

CliHost::CliHost()
    : wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      idle_(CreateEventW(nullptr, TRUE, TRUE, nullptr)) {
    InitializeCriticalSection(&lock_);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass;
    std::memset(&windowClass, 0, sizeof windowClass);
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    RegisterClassExW(&windowClass);
    // A top-level window, never shown: unlike a message-only window it also
    // gets the system's broadcasts, such as a volume's arrival.
    window_ = CreateWindowExW(0, kWindowClass, L"orvane-cli", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                              nullptr, instance, nullptr);
    if (window_ == nullptr) return;
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    DEV_BROADCAST_DEVICEINTERFACE_W filter;
    std::memset(&filter, 0, sizeof filter);
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kUsbDeviceInterfaceClass;
    notification_ = RegisterDeviceNotificationW(window_, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

CliHost::~CliHost() {
    worker_.Join();
    if (watching_) SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    if (notification_ != nullptr) UnregisterDeviceNotification(notification_);
    if (window_ != nullptr) DestroyWindow(window_);
    for (HANDLE event : {wake_, idle_}) {
        if (event != nullptr) CloseHandle(event);
    }
    DeleteCriticalSection(&lock_);
}

void CliHost::WatchConsoleEvents() {
    if (consoleStop == nullptr) {
        runOver = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        consoleStop = runOver != nullptr ? CreateEventW(nullptr, FALSE, FALSE, nullptr) : nullptr;
    }
    watching_ = consoleStop != nullptr && SetConsoleCtrlHandler(OnConsoleEvent, TRUE) != FALSE;
}

void CliHost::RequestStop() {
    EnterCriticalSection(&lock_);
    stop_ = true;
    LeaveCriticalSection(&lock_);
    if (wake_ != nullptr) SetEvent(wake_);
}

void CliHost::RunOver() {
    if (runOver != nullptr) SetEvent(runOver);
}

bool CliHost::StopRequested() const {
    EnterCriticalSection(&lock_);
    const bool stop = stop_;
    LeaveCriticalSection(&lock_);
    return stop;
}

void CliHost::RunInBackground(std::function<void()> work) {
    worker_.Start(std::move(work));
}

void CliHost::PostToUi(std::function<void()> task) {
    EnterCriticalSection(&lock_);
    posted_.push_back(std::move(task));
    LeaveCriticalSection(&lock_);
    if (wake_ != nullptr) SetEvent(wake_);
}

void CliHost::HoldSystemForTransfer(bool hold) {
    HoldSystemAwake(hold);
    // Cameras written at once (--all) each hold the system: it is idle
    // only once the last of them has let go.
    EnterCriticalSection(&lock_);
    holds_ = hold ? holds_ + 1 : (holds_ > 0 ? holds_ - 1 : 0);
    if (idle_ != nullptr && holds_ == 0)
        SetEvent(idle_);
    else if (idle_ != nullptr)
        ResetEvent(idle_);
    LeaveCriticalSection(&lock_);
}

bool CliHost::DeviceWorkOut() const {
    const bool transferHeld = idle_ != nullptr && WaitForSingleObject(idle_, 0) == WAIT_TIMEOUT;
    return transferHeld || QuestionsLeftBehind() > 0;
}

bool CliHost::RunPosted() {
    bool ran = false;
    for (;;) {
        EnterCriticalSection(&lock_);
        if (posted_.empty()) {
            LeaveCriticalSection(&lock_);
            return ran;
        }
        std::function<void()> task = std::move(posted_.front());
        posted_.pop_front();
        LeaveCriticalSection(&lock_);
        task();
        ran = true;
    }
}

void CliHost::Wait(std::chrono::milliseconds timeout) {
    if (RunPosted()) return;
    HANDLE events[2];
    DWORD count = 0;
    if (wake_ != nullptr) events[count++] = wake_;
    const DWORD stopIndex = count;
    if (watching_) events[count++] = consoleStop;
    const DWORD start = GetTickCount();
    const DWORD total = static_cast<DWORD>(timeout.count());
    for (;;) {
        // Unsigned arithmetic: right across the tick count's wrap as well.
        const DWORD elapsed = GetTickCount() - start;
        const DWORD left = elapsed >= total ? 0 : total - elapsed;
        const DWORD woke = MsgWaitForMultipleObjects(count, events, FALSE, left, QS_ALLINPUT);
        if (watching_ && woke == WAIT_OBJECT_0 + stopIndex) {
            EnterCriticalSection(&lock_);
            stop_ = true;
            LeaveCriticalSection(&lock_);
        }
        // Sent messages (the device notices among them) are delivered here too.
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        const bool changed = std::exchange(deviceChanged_, false);
        if (changed) changeSeen_ = true;
        // Other messages to the window change nothing the caller looks at.
        if (woke != WAIT_OBJECT_0 + count || changed) break;
    }
    RunPosted();
}

bool CliHost::TakeDeviceChange() {
    return std::exchange(changeSeen_, false);
}

LRESULT CALLBACK CliHost::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* host = reinterpret_cast<CliHost*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (host == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    const bool transferHeld = WaitForSingleObject(host->idle_, 0) == WAIT_TIMEOUT;
    switch (message) {
        case WM_DEVICECHANGE:
            // Any arrival or removal: the caller looks again.
            host->deviceChanged_ = true;
            return TRUE;
        case WM_QUERYENDSESSION:
            // A log-off or shutdown waits for a running transfer, which is
            // asked to stop.
            if (!transferHeld) return TRUE;
            host->RequestStop();
            return FALSE;
        case WM_ENDSESSION:
            // The session ends anyway, and the process with it once this
            // returns: not before the transfer is over, as far as the
            // system waits. The stop cannot reach the transfer while this
            // holds the loop, so it runs to its end; it posts to this
            // thread but never waits for it.
            if (wParam != FALSE && transferHeld) {
                host->RequestStop();
                WaitForSingleObject(host->idle_, INFINITE);
            }
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace orvane::win32
