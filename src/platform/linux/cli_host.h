// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The Linux command line's host: the back end, a worker thread for the
// transfer, and one loop that waits on device events, posted tasks and
// termination signals.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "cli/cli_run.h"
#include "platform/linux/linux_platform.h"

namespace orvane::linux_port {

class CliHost : public LinuxSystem, public cli::EventLoop {
  public:
    // Listens for device events where the kernel lets it; without them the
    // camera is still found by scanning every few seconds.
    explicit CliHost(SystemRoots roots = {});
    ~CliHost() override;  // waits for the worker

    CliHost(const CliHost&) = delete;
    CliHost& operator=(const CliHost&) = delete;

    // SIGHUP, SIGINT, SIGTERM and SIGQUIT, from now on, ask the run to stop
    // instead of ending the process, where a transfer runs or the loop
    // waits; elsewhere (a blocking call, with nothing written) they end it
    // at once. A signal ignored at start (nohup) stays ignored.
    void WatchTerminationSignals();
    // The first of those signals that came, or 0.
    static int StopSignal();
    // Ends the process by `signal`, as if it had not been caught.
    [[noreturn]] static void EndBySignal(int signal);
    // While `attending`, a call that waits on a service (UDisks2 asking
    // polkit) looks for a stop itself: a signal asks it to stop instead of
    // ending the process.
    static void AttendStops(bool attending);
    // Asks the run to stop, as a signal does. Any thread.
    void RequestStop();
    // Whether a transfer is still between its first file operation and its
    // last: once the run is over, one given up on after a stop, which the
    // camera holds. The kernel keeps the process until the camera answers.
    static bool TransferHeld();
    // Ends the run over with `status` as the program does. Where the camera
    // still holds a transfer, says so once on standard error and waits for
    // no thread. Then the signal of a stop that cut the run short ends the
    // process by that signal; otherwise the status is returned, or, with a
    // transfer held, the process ends with it.
    static int FinishRun(int status);

    // SystemPort: the worker thread and the way back from it.
    void RunInBackground(std::function<void()> work) override;
    void PostToUi(std::function<void()> task) override;
    // Counts the transfers under way, which a signal must not cut short.
    void HoldSystemForTransfer(bool hold) override;

    // cli::EventLoop.
    void Wait(std::chrono::milliseconds timeout) override;
    bool StopRequested() const override;
    bool TakeDeviceChange() override;
    void OweRecord(bool owing) override;

  protected:
    // Waits for the worker. A host that overrides what the worker calls
    // waits in its own destructor, before its members go.
    void JoinWorker();

  private:
    // Runs the tasks posted so far; whether there was one.
    bool RunPosted();

    int wakePipe_[2] = {-1, -1};
    std::thread worker_;
    mutable std::mutex mutex_;
    std::deque<std::function<void()>> posted_;
    bool stop_ = false;
    bool deviceChanged_ = false;  // the loop's thread's
};

// One camera's system side in a run over several (--all): a volume and a
// worker of its own; what the worker posts runs in the host's loop.
class CameraSystem : public LinuxSystem {
  public:
    explicit CameraSystem(CliHost& host) : LinuxSystem(host.Roots()), host_(host) {}
    ~CameraSystem() override;  // waits for the worker

    void RunInBackground(std::function<void()> work) override;
    void PostToUi(std::function<void()> task) override { host_.PostToUi(std::move(task)); }
    // The host holds the machine for all its cameras.
    void HoldSystemForTransfer(bool hold) override { host_.HoldSystemForTransfer(hold); }

  private:
    CliHost& host_;
    std::thread worker_;
};

}  // namespace orvane::linux_port
