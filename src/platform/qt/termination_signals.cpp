// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The signal handler only writes the signal's number into a pipe, which is
// async-signal-safe; the event loop reads it and does the rest.
#include "platform/qt/termination_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstdlib>

#include "platform/qt/leave_screen.h"
#include "platform/qt/updater_window.h"

namespace orvane::qt {

namespace {

constexpr int kWatched[] = {SIGHUP, SIGINT, SIGTERM};

int signalPipe[2] = {-1, -1};
struct sigaction earlier[std::size(kWatched)];
bool installed[std::size(kWatched)] = {};
int endingSignal = 0;  // user-interface thread only

void OnSignal(int signal) {
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] ssize_t ignored = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

TerminationSignals::TerminationSignals(std::function<void(int)> onSignal, QObject* parent)
    : QObject(parent), onSignal_(std::move(onSignal)) {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { ReadPipe(); });
    for (std::size_t i = 0; i < std::size(kWatched); ++i) {
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        if (::sigaction(kWatched[i], nullptr, &earlier[i]) != 0 || earlier[i].sa_handler == SIG_IGN)
            continue;
        installed[i] = ::sigaction(kWatched[i], &action, nullptr) == 0;
    }
}

TerminationSignals::~TerminationSignals() {
    for (std::size_t i = 0; i < std::size(kWatched); ++i) {
        if (installed[i]) ::sigaction(kWatched[i], &earlier[i], nullptr);
        installed[i] = false;
    }
    delete notifier_;
    for (int& end : signalPipe) {
        if (end >= 0) ::close(end);
        end = -1;
    }
}

void TerminationSignals::ReadPipe() {
    unsigned char received[16];
    ssize_t count;
    while ((count = ::read(signalPipe[0], received, sizeof received)) > 0)
        for (ssize_t i = 0; i < count; ++i) onSignal_(received[i]);
}

void TerminationSignals::EndAsUsual(int signal) {
    LeaveScreen();
    std::signal(signal, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(signal);
    std::_Exit(128 + signal);  // should the signal not end the process after all
}

int TerminationSignals::EndingSignal() {
    return endingSignal;
}

int ExecEndingOnSignals(UpdaterWindow& window) {
    TerminationSignals watch([&window](int signal) {
        if (!window.EndAfterTransfer()) TerminationSignals::EndAsUsual(signal);
        endingSignal = signal;
    });
    const int result = window.exec();
    if (endingSignal != 0) TerminationSignals::EndAsUsual(endingSignal);
    return result;
}

}  // namespace orvane::qt
