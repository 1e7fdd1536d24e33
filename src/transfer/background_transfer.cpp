// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The transfer on the host's worker thread.
#include "transfer/background_transfer.h"

#include <thread>
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
    platform_.PostToUi([onDone = onDone_, fate = fate_, failure = std::move(failure)] {
        if (fate->load() != Fate::Abandoned) (*onDone)(failure);
    });
}

bool BackgroundTransfer::Abandon() {
    Fate expected = Fate::Running;
    return fate_->compare_exchange_strong(expected, Fate::Abandoned) || expected == Fate::Abandoned;
}

void BackgroundTransfer::OnProgress(const TransferProgress& progress) {
    steps_.fetch_add(1);
    if (progress.phase == TransferPhase::PuttingInPlace) {
        Fate expected = Fate::Running;
        // Given up between the last look for a stop and the first
        // replacement: the program is ending, and must end before any file
        // of the camera is replaced.
        if (!fate_->compare_exchange_strong(expected, Fate::Replacing) &&
            expected == Fate::Abandoned) {
            for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
        }
    }
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
    platform_.PostToUi([onProgress = onProgress_, fate = fate_, progress] {
        if (fate->load() != Fate::Abandoned) (*onProgress)(progress);
    });
}

}  // namespace orvane
