// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// What keeps Windows from interrupting a transfer: no sleep while it runs,
// and a log-off or shutdown refused, with a reason, until it is over.
#pragma once

#include <optional>

#include <functional>

#include "platform/win32/win32_platform.h"
#include "ui/updater_dialog.h"

namespace orvane::win32 {

// The Win32 port with the session held for the length of each transfer.
class SessionGuardedPlatform : public Win32Platform {
  public:
    explicit SessionGuardedPlatform(HINSTANCE instance);
    ~SessionGuardedPlatform() override;

    // The dialog whose transfer a log-off or shutdown stops.
    void AttachDialog(CUpdaterDialog& dialog) { dialog_ = &dialog; }

    // From the worker: its thread's execution state keeps the system from
    // sleeping (a per-thread request that Windows drops with the thread
    // too), and the end lets the user-interface thread know.
    void HoldSystemForTransfer(bool hold) override;
    void RunInBackground(std::function<void()> work) override;
    // While the end of the session is answered, the process ends only once
    // the answer is given: the system ends it then in any case.
    void EndProcess(int result) override;

    // WM_QUERYENDSESSION: whether the session may end now. At rest it may.
    // During a transfer this asks the transfer to stop (a stop that comes
    // once the new files have begun to replace the old ones lets them
    // finish), shows why the session must wait, and refuses; once the
    // transfer is over the reason goes and the dialog ends, without a
    // message box, so that a waiting shutdown can go on.
    BOOL OnQueryEndSession();
    // WM_ENDSESSION: when the session ends during a transfer (the user chose
    // to end it anyway), stops the transfer and returns only once it is
    // over, since the process ends when this returns; but a worker that the
    // camera holds is left behind as the update session leaves it after a
    // stop, and a replacement whose camera stopped answering is not waited
    // for. When the end was called off, the transfer's end is met as after
    // Cancel.
    void OnEndSession(bool ending);

  private:
    // Until the transfer is over, or the session says its camera is silent
    // or leaves its worker behind.
    void WaitWhileWorkerAnswers();
    void OnTransferOver();
    void ShowReason();
    void HideReason();

    CUpdaterDialog* dialog_ = nullptr;
    // Set from the start of the background work until the transfer's hold
    // has ended, and its event; the flag is the user-interface thread's.
    bool transferOver_ = true;
    HANDLE over_ = nullptr;  // manual reset, signalled while no transfer is held
    bool endAfterTransfer_ = false;
    bool reasonShown_ = false;
    // WM_ENDSESSION is being answered; the end the dialog asked for meanwhile.
    bool answeringEnd_ = false;
    std::optional<int> endAsked_;
};

}  // namespace orvane::win32
