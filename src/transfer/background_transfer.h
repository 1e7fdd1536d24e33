// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The transfer as the dialog runs it: on the host's worker thread, with its
// progress and its end brought back to the user-interface thread.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "transfer/safe_transfer.h"

namespace orvane {

class BackgroundTransfer : public TransferObserver,
                           public std::enable_shared_from_this<BackgroundTransfer> {
  public:
    using ProgressHandler = std::function<void(const TransferProgress&)>;
    using DoneHandler = std::function<void(const std::optional<TransferFailure>&)>;

    // `onProgress` is called on the user-interface thread whenever the
    // phase or the file changes, and as the whole percentage changes, at most
    // every `kProgressInterval`; `onDone` once, last, with the result. Made
    // through std::make_shared.
    static constexpr std::chrono::milliseconds kProgressInterval{100};

    BackgroundTransfer(SystemPort& platform, TransferRequest request, ProgressHandler onProgress,
                       DoneHandler onDone);

    // Runs the transfer through `RunInBackground`. A host without a thread
    // may run it, and deliver the result, before this returns.
    void Start();

    // From the user-interface thread: stop at the next chunk. True when the
    // stop will be taken: the replacements have not begun and now never
    // will, so the camera keeps its old files even if the worker never
    // comes back. False once they have begun.
    bool RequestStop();
    // Whether the new files have begun to take the old ones' places.
    bool Replacing() const { return state_.load() == State::Replacing; }
    // Goes up each time the worker comes back from the camera between two
    // requests: while it stands still, the camera is not answering.
    unsigned Activity() const { return activity_.load(); }
    // From the user-interface thread, when the worker is stuck in a call that
    // never returns (a camera that stopped answering): stops the transfer and
    // gives it up, so that the program may end without it. False once the
    // replacements have begun, unless `evenReplacing`: they run to their end
    // first. Once true, the done handler is never called, and the
    // replacements never begin unless they had.
    bool Abandon(bool evenReplacing = false);
    // From the user-interface thread: the files whose read-back matched, in
    // the order they were written; filled in before the done handler is
    // called, empty until then (and for good when given up).
    const std::vector<CheckedFile>& CheckedFiles() const { return *shownChecked_; }

    // TransferObserver, on the worker thread.
    void OnProgress(const TransferProgress& progress) override;
    bool StopRequested() override;
    bool BeginReplacing() override;
    void SignOfLife() override;
    void OnFileChecked(const CheckedFile& file) override;

  private:
    void Run();

    SystemPort& platform_;
    const TransferRequest request_;
    // Shared with the posted tasks, which may run after this object is gone.
    std::shared_ptr<const ProgressHandler> onProgress_;
    std::shared_ptr<const DoneHandler> onDone_;
    enum class State { Writing, Stopping, Replacing };
    // Changed once, by whichever thread comes first: a stop and the start of
    // the replacements exclude each other.
    std::atomic<State> state_{State::Writing};
    std::atomic<unsigned> activity_{0};
    // Shared with the posted tasks: a transfer given up calls no handler.
    std::shared_ptr<std::atomic<bool>> abandoned_ = std::make_shared<std::atomic<bool>>(false);
    // Gathered on the worker thread, handed over with the result.
    std::vector<CheckedFile> checked_;
    std::shared_ptr<std::vector<CheckedFile>> shownChecked_ =
        std::make_shared<std::vector<CheckedFile>>();
    // What was last posted; touched on the worker thread only.
    TransferPhase shownPhase_ = TransferPhase::Preparing;
    std::string shownFile_;
    int shownPercent_ = -1;
    std::chrono::steady_clock::time_point shownAt_;
};

}  // namespace orvane
