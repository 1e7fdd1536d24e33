// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The updater dialog of the Linux program: a Qt window around the core's
// CUpdaterDialog, with the Linux back end behind it.
#pragma once

#include <QBasicTimer>
#include <QDialog>
#include <QIcon>
#include <map>
#include <memory>

#include "platform/linux/linux_platform.h"
#include "platform/linux/sleep_inhibitor.h"
#include "ui/updater_dialog.h"

class QLabel;
class QProgressBar;
class QSocketNotifier;
class QPushButton;
class QThread;

namespace orvane::qt {

// Mirrors dialog template 102 and turns Qt's events into calls of the core's
// handlers: shown -> OnInitDialog, timer -> OnTimer, "UpDate" ->
// OnUpdateClicked, Cancel, Escape and the close button -> OnCancel, a device
// event -> OnDeviceChange. The transfer runs on a QThread of the window's;
// its progress and result come back as queued calls on the window's thread.
class UpdaterWindow : public QDialog, public linux_port::WindowSide {
  public:
    // Without `mounter`, a camera volume left unmounted is not mounted: the
    // user is told how to mount it.
    explicit UpdaterWindow(linux_port::SystemRoots roots = {}, QWidget* parent = nullptr,
                           VolumeMounter* mounter = nullptr);
    ~UpdaterWindow() override;

    CUpdaterDialog& core() { return *core_; }

    // Cancel, Escape and the close button all come here.
    void reject() override;

    // The process is asked to end (a termination signal). At rest this does
    // nothing and returns false. While a transfer runs it asks the transfer
    // to stop, as Cancel does, and returns true: once the transfer is over
    // the window ends with IDCANCEL, showing no box, and every event loop
    // of this thread is left.
    virtual bool EndAfterTransfer();

    // WindowSide.
    IconHandle LoadAppIcon() override;
    void AddAboutToSystemMenu() override;
    void SetWindowIcons(IconHandle icon) override;
    unsigned ArmTimer(unsigned id, unsigned intervalMs) override;
    void StopTimer(unsigned timerId) override;
    void ShowMessage(std::string_view text) override;
    void EndModal(int result) override;
    void ShowProgress(int percent, std::string_view status) override;
    void HideProgress() override;
    void RunInBackground(std::function<void()> work) override;
    void PostToUi(std::function<void()> task) override;
    // A detached thread: one held by a device is left to the process's end.
    void RunDeviceQuery(std::function<void()> work) override;
    // _Exit, after standard output is flushed and the windows have left the
    // screen (LeaveScreen): no destructor waits for a worker the camera
    // holds, and no window stays while it holds the process. A termination
    // signal that asked the transfer to stop ends it by that signal.
    void EndProcess(int result) override;
    // From the worker: logind's sleep lock for the transfer's length.
    void HoldSystemForTransfer(bool hold) override;

    // The title of every message box: the executable's file name.
    static QString MessageTitle();

  protected:
    void showEvent(QShowEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

  private:
    void ShowAbout();
    void EndNow();

    QIcon icon_;
    QPushButton* cancel_ = nullptr;
    QPushButton* update_ = nullptr;
    QLabel* banner_ = nullptr;
    QLabel* notice_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* status_ = nullptr;
    // Watches the back end's device-event socket, so that a camera plugged
    // in is seen at once rather than at the next poll tick.
    QSocketNotifier* deviceEvents_ = nullptr;
    // The last worker started; joined before the next one and at the end.
    std::unique_ptr<QThread> worker_;
    bool initialized_ = false;
    linux_port::SleepInhibitor sleepInhibitor_;
    // False from the start of the background work until the transfer's
    // hold on the system has ended; user-interface thread only.
    bool transferOver_ = true;
    bool endAfterTransfer_ = false;
    // By the identifier the core asked for, which is the one it stops.
    std::map<unsigned, QBasicTimer> timers_;
    std::unique_ptr<linux_port::LinuxPlatform> platform_;
    std::unique_ptr<CUpdaterDialog> core_;
};

}  // namespace orvane::qt
