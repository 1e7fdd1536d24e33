// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The command line's loop on Linux: poll(2) over the uevent socket, a pipe
// that posted tasks write to, and a pipe the signal handler writes to.
#include "platform/linux/cli_host.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <utility>

#include "texts/texts.h"

namespace orvane::linux_port {

namespace {

constexpr int kWatchedSignals[] = {SIGHUP, SIGINT, SIGTERM, SIGQUIT};

// What the signal handler touches: async-signal-safe writes and atomics.
int signalPipe[2] = {-1, -1};
std::atomic<int> firstSignal{0};
// The loop waits in poll(2), and sees a stop at once.
std::atomic<bool> listening{false};
// Transfers under way: a stop must let each reach a safe point. Outcomes
// owed: a transfer over, its line not yet written.
std::atomic<int> transfers{0};
std::atomic<int> owed{0};

// Ends the process as `signal` does by default, so that a calling shell
// sees which one (and a loop in it stops); Ctrl-\ leaves no core behind.
[[noreturn]] void EndBy(int signal) {
    if (signal == SIGQUIT) {
        const rlimit none{0, 0};
        ::setrlimit(RLIMIT_CORE, &none);
    }
    ::signal(signal, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(signal);
    ::_exit(128 + signal);
}

void OnSignal(int signal) {
    const int saved = errno;
    int none = 0;
    firstSignal.compare_exchange_strong(none, signal);
    // Nothing is written and nobody is looking: whatever call the program
    // is blocked in (a settings file, the service bus), it ends now.
    if (!listening.load() && transfers.load() == 0 && owed.load() == 0) EndBy(signal);
    const auto byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] ssize_t ignored = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

// Reads everything waiting in a non-blocking pipe; whether there was anything.
bool Drain(int fd) {
    if (fd < 0) return false;
    unsigned char buffer[64];
    bool any = false;
    while (::read(fd, buffer, sizeof buffer) > 0) any = true;
    return any;
}

}  // namespace

CliHost::CliHost(SystemRoots roots) : LinuxSystem(std::move(roots)) {
    if (::pipe2(wakePipe_, O_CLOEXEC | O_NONBLOCK) != 0) wakePipe_[0] = wakePipe_[1] = -1;
    OpenDeviceEvents();  // a failure leaves scanning on the interval alone
}

CliHost::~CliHost() {
    JoinWorker();
    for (int& end : wakePipe_) {
        if (end >= 0) ::close(end);
        end = -1;
    }
}

void CliHost::WatchTerminationSignals() {
    if (signalPipe[0] >= 0) return;
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    for (const int signal : kWatchedSignals) {
        struct sigaction earlier {};
        if (::sigaction(signal, nullptr, &earlier) != 0 || earlier.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(signal, &action, nullptr);
    }
}

void CliHost::RequestStop() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    if (wakePipe_[1] >= 0) [[maybe_unused]]
        ssize_t ignored = ::write(wakePipe_[1], "s", 1);
}

void CliHost::JoinWorker() {
    if (worker_.joinable()) worker_.join();
}

void CliHost::RunInBackground(std::function<void()> work) {
    JoinWorker();
    worker_ = std::thread(std::move(work));
}

void CliHost::PostToUi(std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        posted_.push_back(std::move(task));
    }
    if (wakePipe_[1] >= 0) [[maybe_unused]]
        ssize_t ignored = ::write(wakePipe_[1], "t", 1);
}

void CliHost::HoldSystemForTransfer(bool hold) {
    transfers.fetch_add(hold ? 1 : -1);
}

void CliHost::OweRecord(bool owing) {
    owed.fetch_add(owing ? 1 : -1);
}

bool CliHost::TakeDeviceChange() {
    return std::exchange(deviceChanged_, false);
}

void CliHost::AttendStops(bool attending) {
    listening.store(attending);
}

bool CliHost::TransferHeld() {
    return transfers.load() > 0;
}

int CliHost::FinishRun(int status) {
    const int signal = StopSignal();
    if (TransferHeld()) {
        std::fprintf(stderr, "%s\n", std::string(texts::kHeldByCamera).c_str());
        // The destructors would wait for the transfer.
        if (signal == 0) {
            std::fflush(nullptr);
            std::_Exit(status);
        }
    }
    // A signal that stopped nothing (it came after the last camera's
    // outcome) leaves that outcome's status.
    if (signal != 0 && status == cli::kStopped) EndBySignal(signal);
    return status;
}

int CliHost::StopSignal() {
    return firstSignal.load();
}

void CliHost::EndBySignal(int signal) {
    std::fflush(nullptr);
    EndBy(signal);
}

bool CliHost::StopRequested() const {
    // A signal taken in a call that attended to it is a stop already, before
    // the loop reads its byte.
    if (firstSignal.load() != 0) return true;
    std::lock_guard lock(mutex_);
    return stop_;
}

bool CliHost::RunPosted() {
    bool ran = false;
    for (;;) {
        std::function<void()> task;
        {
            std::lock_guard lock(mutex_);
            if (posted_.empty()) return ran;
            task = std::move(posted_.front());
            posted_.pop_front();
        }
        task();
        ran = true;
    }
}

void CliHost::Wait(std::chrono::milliseconds timeout) {
    // A stop always comes with a byte in one of the pipes, which wakes the
    // poll below; returning at once whenever a stop stands would spin for
    // as long as the transfer takes to finish after it.
    if (RunPosted()) return;
    pollfd fds[3];
    nfds_t count = 0;
    for (const int fd : {wakePipe_[0], DeviceEventSocket(), signalPipe[0]}) {
        if (fd >= 0) fds[count++] = pollfd{fd, POLLIN, 0};
    }
    listening.store(true);
    const int ready = ::poll(fds, count, static_cast<int>(timeout.count()));
    listening.store(false);
    if (ready > 0) {
        Drain(wakePipe_[0]);
        if (Drain(signalPipe[0])) {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        // Any event wakes the caller; a device event also has it look again.
        if (DeviceEventSocket() >= 0 && ReadDeviceEvents()) deviceChanged_ = true;
    }
    RunPosted();
}

CameraSystem::~CameraSystem() {
    if (worker_.joinable()) worker_.join();
}

void CameraSystem::RunInBackground(std::function<void()> work) {
    if (worker_.joinable()) worker_.join();
    worker_ = std::thread(std::move(work));
}

}  // namespace orvane::linux_port
