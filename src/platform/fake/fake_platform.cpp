// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The in-memory test platform: its window side, settings and timers.
#include "platform/fake/fake_platform.h"

#include <algorithm>

#include "platform/fake/fake_common.h"

namespace orvane::fake {

void FakePlatform::SetProfileValue(const std::string& path, const std::string& section,
                                   const std::string& key, const std::string& value) {
    profile_[Upper(path) + "|" + Upper(section) + "|" + Upper(key)] = value;
}

void FakePlatform::FireTimers() {
    std::vector<unsigned> ids;
    for (const auto& [id, interval] : runningTimers) ids.push_back(id);
    for (unsigned id : ids) {
        if (timerTarget && TimerRunning(id)) timerTarget(id);
    }
}

void FakePlatform::Advance(std::chrono::milliseconds span) {
    const auto end = now + span;
    for (;;) {
        std::optional<std::pair<std::chrono::steady_clock::time_point, unsigned>> next;
        for (const auto& [id, due] : timerDue_) {
            if (due <= end && (!next || due < next->first)) next = std::make_pair(due, id);
        }
        if (!next) break;
        now = next->first;
        timerDue_[next->second] = now + std::chrono::milliseconds(runningTimers[next->second]);
        if (timerTarget) timerTarget(next->second);
    }
    now = end;
}

IconHandle FakePlatform::LoadAppIcon() {
    Log("LoadAppIcon");
    return appIcon;
}

void FakePlatform::AddAboutToSystemMenu() {
    Log("AddAboutToSystemMenu");
}

void FakePlatform::SetWindowIcons(IconHandle icon) {
    Log("SetWindowIcons " + std::to_string(icon));
}

unsigned FakePlatform::ArmTimer(unsigned id, unsigned intervalMs) {
    Log("ArmTimer " + std::to_string(id) + " " + std::to_string(intervalMs));
    if (timerArmFails) return 0;
    runningTimers[id] = intervalMs;
    timerDue_[id] = now + std::chrono::milliseconds(intervalMs);
    return id;
}

void FakePlatform::StopTimer(unsigned timerId) {
    Log("StopTimer " + std::to_string(timerId));
    runningTimers.erase(timerId);
    timerDue_.erase(timerId);
}

void FakePlatform::ShowMessage(std::string_view text) {
    Log("ShowMessage");
    messages.emplace_back(text);
    if (onMessage) onMessage(text);
}

void FakePlatform::EndModal(int result) {
    Log("EndModal " + std::to_string(result));
    endResult = result;
}

void FakePlatform::WriteStdout(std::string_view text) {
    standardOutput += text;
}

Status FakePlatform::SubscribeUsbArrival() {
    Log("SubscribeUsbArrival");
    return subscribeResult;
}

void FakePlatform::ShowProgress(int percent, std::string_view status) {
    Log("ShowProgress");
    progressShown.push_back(percent);
    progressStatus = status;
    statusesShown.emplace_back(status);
    progressVisible = true;
}

void FakePlatform::HideProgress() {
    Log("HideProgress");
    progressVisible = false;
}

FakePlatform::~FakePlatform() {
    EndHang(true);
    JoinThreads();
}

Result<std::string> FakePlatform::CurrentDirectory() {
    Log("CurrentDirectory");
    if (!currentDirectory) return currentDirectoryError;
    return *currentDirectory;
}

std::string FakePlatform::ReadProfileString(std::string_view section, std::string_view key,
                                            std::string_view fallback, std::size_t size,
                                            std::string_view path) {
    Log("ReadProfileString " + std::string(section) + "/" + std::string(key));
    auto it = profile_.find(Upper(path) + "|" + Upper(section) + "|" + Upper(key));
    std::string value(it == profile_.end() ? fallback : std::string_view(it->second));
    if (size == 0) return {};
    if (value.size() > size - 1) value.resize(size - 1);
    return value;
}

std::string FakePlatform::JoinPath(std::string_view base, std::string_view fragment) {
    return std::string(base) + std::string(fragment);
}

std::string FakePlatform::DriveRoot(std::string_view drive) {
    return std::string(drive) + ":";
}

}  // namespace orvane::fake
