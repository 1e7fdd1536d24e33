// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Sleep, log-off and shutdown during a transfer.
#include "platform/win32/session_guard.h"

#include <string>
#include <utility>

#include "texts/texts.h"

namespace orvane::win32 {

namespace {

// The shutdown-block reason functions came with Vista: they are looked up at
// run time, so that the program still starts on a system without them.
using ReasonCreate = BOOL(WINAPI*)(HWND, LPCWSTR);
using ReasonDestroy = BOOL(WINAPI*)(HWND);

template <typename Function>
Function User32Function(const char* name) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    if (user32 == nullptr) return nullptr;
    // Through a plain function pointer type, which any function pointer
    // converts to and from without a warning.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(user32, name)));
}

}  // namespace

SessionGuardedPlatform::SessionGuardedPlatform(HINSTANCE instance)
    : Win32Platform(instance), over_(CreateEventW(nullptr, TRUE, TRUE, nullptr)) {}

SessionGuardedPlatform::~SessionGuardedPlatform() {
    if (over_ != nullptr) CloseHandle(over_);
}

void SessionGuardedPlatform::RunInBackground(std::function<void()> work) {
    transferOver_ = false;
    if (over_ != nullptr) ResetEvent(over_);
    Win32Platform::RunInBackground(std::move(work));
}

void SessionGuardedPlatform::HoldSystemForTransfer(bool hold) {
    HoldSystemAwake(hold);
    if (hold) return;
    if (over_ != nullptr) SetEvent(over_);
    // Posted before the transfer's result, so a dialog that is to end does
    // so before the result could open a box.
    PostToUi([this] { OnTransferOver(); });
}

void SessionGuardedPlatform::OnTransferOver() {
    transferOver_ = true;
    HideReason();
    if (!endAfterTransfer_) return;
    endAfterTransfer_ = false;
    EndModal(IDCANCEL);
}

BOOL SessionGuardedPlatform::OnQueryEndSession() {
    if (dialog_ == nullptr || !dialog_->transferRunning() || transferOver_) return TRUE;
    endAfterTransfer_ = true;
    dialog_->OnSystemStop();
    ShowReason();
    return FALSE;
}

void SessionGuardedPlatform::OnEndSession(bool ending) {
    if (!ending) {
        endAfterTransfer_ = false;
        return;
    }
    if (dialog_ == nullptr || !dialog_->transferRunning() || transferOver_) return;
    endAfterTransfer_ = true;
    dialog_->OnSystemStop();
    WaitWhileWorkerAnswers();
}

void SessionGuardedPlatform::WaitWhileWorkerAnswers() {
    if (over_ == nullptr) return;
    // The worker posts to this thread but never waits for it. The dialog's
    // update session, ticked here as its timer would, decides whether the
    // camera still answers: a worker it leaves behind after a stop, or a
    // replacement that has stopped answering, is not waited for.
    answeringEnd_ = true;
    while (!endAsked_ && WaitForSingleObject(over_, SESSION_LEAVING_INTERVAL_MS) == WAIT_TIMEOUT) {
        dialog_->OnTimer(SESSION_TIMER_ID);
        if (dialog_->cameraSilent()) break;
    }
    answeringEnd_ = false;
    // The end comes once the answer has reached the system.
    if (const std::optional<int> result = std::exchange(endAsked_, std::nullopt))
        PostToUi([this, result] { Win32Platform::EndProcess(*result); });
}

void SessionGuardedPlatform::EndProcess(int result) {
    if (!answeringEnd_) {
        Win32Platform::EndProcess(result);
        return;
    }
    endAsked_ = result;
}

void SessionGuardedPlatform::ShowReason() {
    if (reasonShown_) return;
    auto create = User32Function<ReasonCreate>("ShutdownBlockReasonCreate");
    if (create == nullptr) return;
    const std::string_view text = texts::kHoldingSystem;  // ASCII
    const std::wstring reason(text.begin(), text.end());
    reasonShown_ = create(window(), reason.c_str()) != FALSE;
}

void SessionGuardedPlatform::HideReason() {
    if (!reasonShown_) return;
    reasonShown_ = false;
    if (auto destroy = User32Function<ReasonDestroy>("ShutdownBlockReasonDestroy"))
        destroy(window());
}

}  // namespace orvane::win32
