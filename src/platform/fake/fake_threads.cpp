// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The fake's threads: background work, device queries and posted tasks,
// run at once, held for the test, or on threads of their own; and a request
// that hangs.
#include "platform/fake/fake_platform.h"

namespace orvane::fake {

void FakePlatform::RunInBackground(std::function<void()> work) {
    Log("RunInBackground");
    ++backgroundRuns;
    if (threaded) {
        threads_.emplace_back(std::move(work));
        return;
    }
    heldWork_ = std::move(work);
    if (holdBackground) return;
    RunBackgroundWork();
    DeliverPosted();
}

void FakePlatform::RunDeviceQuery(std::function<void()> work) {
    Log("RunDeviceQuery");
    if (threaded) {
        threads_.emplace_back(std::move(work));
        return;
    }
    work();
    DeliverPosted();
}

void FakePlatform::EndProcess(int result) {
    Log("EndProcess " + std::to_string(result));
    processEnd = result;
}

void FakePlatform::Log(std::string call) {
    std::unique_lock lock(mutex_);
    const bool hang = !hangAt_.empty() && call.rfind(hangAt_, 0) == 0;
    calls.push_back(std::move(call));
    if (!hang) return;
    hangAt_.clear();
    hanging_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return hangEnded_; });
}

bool FakePlatform::Ended() {
    std::lock_guard lock(mutex_);
    return processEnded_;
}

void FakePlatform::HangAt(std::string what) {
    std::lock_guard lock(mutex_);
    hangAt_ = std::move(what);
}

void FakePlatform::WaitUntilHung() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return hanging_; });
}

void FakePlatform::EndHang(bool processEnded) {
    std::lock_guard lock(mutex_);
    hangEnded_ = true;
    processEnded_ = processEnded_ || processEnded;
    changed_.notify_all();
}

void FakePlatform::JoinThreads() {
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
}

void FakePlatform::RunBackgroundWork() {
    std::function<void()> work = std::move(heldWork_);
    heldWork_ = nullptr;
    if (work) work();
}

void FakePlatform::PostToUi(std::function<void()> task) {
    std::lock_guard lock(mutex_);
    if (processEnded_) return;
    posted_.push_back(std::move(task));
    changed_.notify_all();
}

void FakePlatform::WaitForPosted() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !posted_.empty(); });
}

void FakePlatform::HoldSystemForTransfer(bool hold) {
    Log(hold ? "HoldSystemForTransfer(true)" : "HoldSystemForTransfer(false)");
    systemHeld = hold;
}

void FakePlatform::DeliverPosted() {
    for (;;) {
        std::function<void()> task;
        {
            std::lock_guard lock(mutex_);
            if (posted_.empty()) return;
            task = std::move(posted_.front());
            posted_.pop_front();
        }
        task();
    }
}

}  // namespace orvane::fake
