// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// A window side for tests: records timers, message boxes and the dialog's end.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/linux_platform.h"

namespace orvane::linux_port::testing {

class RecordingWindow : public WindowSide {
  public:
    IconHandle LoadAppIcon() override { return 128; }
    void AddAboutToSystemMenu() override { aboutEntryAdded = true; }
    void SetWindowIcons(IconHandle icon) override { windowIcon = icon; }
    unsigned ArmTimer(unsigned id, unsigned intervalMs) override {
        timers[id] = intervalMs;
        return id;
    }
    void StopTimer(unsigned timerId) override { timers.erase(timerId); }
    void ShowMessage(std::string_view text) override { messages.emplace_back(text); }
    void EndModal(int result) override { endResult = result; }
    void ShowProgress(int percent, std::string_view) override { progress.push_back(percent); }
    void HideProgress() override {}
    // The work runs at once; what it posted reaches the dialog after it.
    void RunInBackground(std::function<void()> work) override {
        work();
        while (!posted.empty()) {
            std::function<void()> task = std::move(posted.front());
            posted.pop_front();
            task();
        }
    }
    // Asked at once, on this thread, whatever the transfer's thread is.
    void RunDeviceQuery(std::function<void()> work) override {
        RecordingWindow::RunInBackground(std::move(work));
    }
    void EndProcess(int result) override { processEnd = result; }
    void PostToUi(std::function<void()> task) override { posted.push_back(std::move(task)); }
    std::chrono::steady_clock::time_point Now() override { return now; }

    // Lets `span` pass and delivers `timer`'s expiry to `target` at its end.
    template <typename Dialog>
    void Tick(Dialog& target, unsigned timer, std::chrono::milliseconds span) {
        now += span;
        target.OnTimer(timer);
    }

    bool aboutEntryAdded = false;
    IconHandle windowIcon = 0;
    std::map<unsigned, unsigned> timers;  // id -> interval
    std::vector<std::string> messages;
    std::optional<int> endResult;
    std::optional<int> processEnd;
    std::vector<int> progress;
    std::deque<std::function<void()>> posted;
    std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now();
};

}  // namespace orvane::linux_port::testing
