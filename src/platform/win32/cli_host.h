// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The Windows command line's host: the system side of the port, a worker
// thread for the transfer, and one loop on the main thread that waits for
// posted tasks, device notices to a hidden window of its own, and a stop
// asked for from the console.
#pragma once

#include <chrono>
#include <deque>
#include <functional>

#include "cli/cli_run.h"
#include "platform/win32/win32_api.h"
#include "platform/win32/win32_system.h"

namespace orvane::win32 {

class CliHost : public Win32System, public cli::EventLoop {
  public:
    // Makes the hidden window and subscribes it to USB device arrivals; a
    // failure leaves the camera to the scan every few seconds.
    CliHost();
    ~CliHost() override;  // waits for the worker
    CliHost(const CliHost&) = delete;
    CliHost& operator=(const CliHost&) = delete;

    // From now on Ctrl-C and Ctrl-Break ask the run to stop instead of
    // ending the process; closing the console, a log-off or a shutdown ask
    // the same and hold the process until the run is over (or the system
    // stops waiting). One host at a time.
    void WatchConsoleEvents();
    // Asks the run to stop, as Ctrl-C does. Any thread.
    void RequestStop();
    // The run is over: a console that is being closed may take the process.
    void RunOver();

    // SystemPort: the worker thread, the way back from it, and the machine
    // kept awake while the transfer runs.
    void RunInBackground(std::function<void()> work) override;
    void PostToUi(std::function<void()> task) override;
    void HoldSystemForTransfer(bool hold) override;
    // Under a ceiling: this thread must stay free to see Ctrl-C.
    bool IsFolder(std::string_view path) override { return IsFolderWithinCeiling(path); }

    // Whether the camera still holds a thread of the run: a transfer given
    // up on after a stop, or a question given up on at its ceiling.
    bool DeviceWorkOut() const;

    // cli::EventLoop.
    void Wait(std::chrono::milliseconds timeout) override;
    bool StopRequested() const override;
    bool TakeDeviceChange() override;

  private:
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
    // Runs the tasks posted so far; whether there was one.
    bool RunPosted();

    HWND window_ = nullptr;
    HDEVNOTIFY notification_ = nullptr;
    // Auto-reset: set when a task is posted or a stop requested.
    HANDLE wake_ = nullptr;
    bool watching_ = false;  // the console handler is ours
    // Manual reset: set while no transfer holds the system.
    HANDLE idle_ = nullptr;
    bool deviceChanged_ = false;  // this thread's
    bool changeSeen_ = false;     // by the loop, since the caller last took it
    mutable CRITICAL_SECTION lock_;
    // Transfers holding the system now: with --all, one per camera.
    unsigned holds_ = 0;
    std::deque<std::function<void()>> posted_;
    bool stop_ = false;
    WorkerThread worker_;
};

// One camera's system side in a run over several (--all): a volume and a
// worker of its own; what the worker posts runs in the host's loop.
class CameraSystem : public Win32System {
  public:
    explicit CameraSystem(CliHost& host) : host_(host) {}

    void RunInBackground(std::function<void()> work) override { worker_.Start(std::move(work)); }
    void PostToUi(std::function<void()> task) override { host_.PostToUi(std::move(task)); }
    // The host holds the machine for all its cameras.
    void HoldSystemForTransfer(bool hold) override { host_.HoldSystemForTransfer(hold); }
    bool IsFolder(std::string_view path) override { return IsFolderWithinCeiling(path); }

  private:
    CliHost& host_;
    WorkerThread worker_;  // waited for at the end
};

}  // namespace orvane::win32
