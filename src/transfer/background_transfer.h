// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The transfer as the dialog runs it: on the host's worker thread, with its
// progress and its end brought back to the user-interface thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

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

    // From the user-interface thread: stop at the next chunk, if the
    // replacements have not begun.
    void RequestStop() { stop_.store(true); }
    // From the user-interface thread, after a stop, when the worker is stuck
    // in a call that never returns (a camera that stopped answering): gives
    // the transfer up, so that the program may end without it. False once
    // the replacements have begun: they run to their end first. Once true,
    // they never begin, and the done handler is never called.
    bool Abandon();
    // How many steps the worker has made so far: a count that stands still
    // while a call on the camera does not return.
    std::uint64_t Steps() const { return steps_.load(); }

    // TransferObserver, on the worker thread.
    void OnProgress(const TransferProgress& progress) override;
    bool StopRequested() override { return stop_.load(); }

  private:
    void Run();

    SystemPort& platform_;
    const TransferRequest request_;
    // Shared with the posted tasks, which may run after this object is gone.
    std::shared_ptr<const ProgressHandler> onProgress_;
    std::shared_ptr<const DoneHandler> onDone_;
    std::atomic<bool> stop_{false};
    std::atomic<std::uint64_t> steps_{0};
    // Running, then either Replacing (the worker's) or Abandoned (the user
    // interface's): whichever comes first stands.
    // Shared with the posted tasks: a transfer given up calls no handler.
    enum class Fate { Running, Replacing, Abandoned };
    std::shared_ptr<std::atomic<Fate>> fate_ = std::make_shared<std::atomic<Fate>>(Fate::Running);
    // What was last posted; touched on the worker thread only.
    TransferPhase shownPhase_ = TransferPhase::Preparing;
    std::string shownFile_;
    int shownPercent_ = -1;
    std::chrono::steady_clock::time_point shownAt_;
};

}  // namespace orvane
