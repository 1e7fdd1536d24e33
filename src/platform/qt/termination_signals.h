// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// SIGHUP, SIGINT and SIGTERM turned into calls on the user-interface thread,
// so that a closed terminal, Ctrl+C or kill can wait for a running transfer.
#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace orvane::qt {

class UpdaterWindow;

class TerminationSignals : public QObject {
  public:
    // Watches the three signals while this object lives: each one received
    // reaches `onSignal`, with its number, from this thread's event loop. A
    // signal that the process was started with ignored (as under nohup)
    // stays ignored. One such object at a time.
    explicit TerminationSignals(std::function<void(int)> onSignal, QObject* parent = nullptr);
    ~TerminationSignals() override;  // the signals' earlier handling comes back

    // Ends the process as `signal` does when nobody handles it, its
    // windows taken off the screen first (LeaveScreen): a thread held by
    // the camera may keep the process for a while.
    [[noreturn]] static void EndAsUsual(int signal);
    // The signal that asked a running transfer to stop, by which the
    // process is to end once the dialog has; 0 when none did.
    static int EndingSignal();

  private:
    void ReadPipe();

    std::function<void(int)> onSignal_;
    QSocketNotifier* notifier_ = nullptr;
};

// Runs `window` modally as the Linux program does. At rest a termination
// signal ends the process at once, as usual. During a transfer it asks the
// transfer to stop (or to finish, once the new files have begun to replace
// the old ones), and the signal ends the process once the transfer is over,
// or once it is left behind (UpdaterWindow::EndProcess).
// Returns the dialog's result when no signal ended the run.
int ExecEndingOnSignals(UpdaterWindow& window);

}  // namespace orvane::qt
