// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The transfer on the host's worker thread.
#include "transfer/background_transfer.h"

#include <utility>

namespace orvane {

BackgroundTransfer::BackgroundTransfer(SystemPort& platform, TransferRequest request,
                                       ProgressHandler onProgress, DoneHandler onDone)
    : platform_(platform),
      request_(std::move(request)),
      onProgress_(std::make_shared<const ProgressHandler>(std::move(onProgress))),
      onDone_(std::make_shared<const DoneHandler>(std::move(onDone))) {}

void BackgroundTransfer::Start() {
    // The work keeps the transfer alive until it has posted the result.
    platform_.RunInBackground([self = shared_from_this()] { self->Run(); });
}

void BackgroundTransfer::Run() {
    // The system is held from before the first file operation until after
    // the last, and let go before the dialog learns the result.
    struct SystemHold {
        SystemPort& platform;
        explicit SystemHold(SystemPort& held) : platform(held) {
            platform.HoldSystemForTransfer(true);
        }
        ~SystemHold() { platform.HoldSystemForTransfer(false); }
        SystemHold(const SystemHold&) = delete;
        SystemHold& operator=(const SystemHold&) = delete;
    };
    std::optional<TransferFailure> failure;
    {
        SystemHold hold(platform_);
        failure = TransferFirmware(platform_, request_, this);
    }
    platform_.PostToUi([onDone = onDone_, abandoned = abandoned_, failure = std::move(failure),
                        shown = shownChecked_, checked = std::move(checked_)]() mutable {
        if (abandoned->load()) return;
        *shown = std::move(checked);
        (*onDone)(failure);
    });
}

bool BackgroundTransfer::Abandon(bool evenReplacing) {
    if (!RequestStop() && !evenReplacing) return false;
    abandoned_->store(true);
    return true;
}

bool BackgroundTransfer::RequestStop() {
    State expected = State::Writing;
    return state_.compare_exchange_strong(expected, State::Stopping) || expected == State::Stopping;
}

bool BackgroundTransfer::StopRequested() {
    activity_.fetch_add(1);
    return state_.load() == State::Stopping;
}

bool BackgroundTransfer::BeginReplacing() {
    activity_.fetch_add(1);
    State expected = State::Writing;
    return state_.compare_exchange_strong(expected, State::Replacing);
}

void BackgroundTransfer::SignOfLife() {
    activity_.fetch_add(1);
}

void BackgroundTransfer::OnFileChecked(const CheckedFile& file) {
    activity_.fetch_add(1);
    checked_.push_back(file);
}

void BackgroundTransfer::OnProgress(const TransferProgress& progress) {
    activity_.fetch_add(1);
    // Each post wakes the user-interface thread, which on a busy machine can
    // cost the worker its turn on the processor: a few a second are enough
    // for the bar to move smoothly.
    const int percent = PercentDone(progress);
    const auto now = std::chrono::steady_clock::now();
    if (progress.phase == shownPhase_ && progress.file == shownFile_ &&
        (percent == shownPercent_ || now - shownAt_ < kProgressInterval))
        return;
    shownPhase_ = progress.phase;
    shownFile_ = progress.file;
    shownPercent_ = percent;
    shownAt_ = now;
    platform_.PostToUi([onProgress = onProgress_, progress] { (*onProgress)(progress); });
}

}  // namespace orvane
