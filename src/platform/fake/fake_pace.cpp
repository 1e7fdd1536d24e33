// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The fake camera's modelled pace.
#include "platform/fake/fake_pace.h"

#include <algorithm>

namespace orvane::fake {

PacedDevice::Duration PacedDevice::Take(std::uint64_t bytes, double bytesPerSecond) const {
    return std::chrono::duration_cast<Duration>(
        std::chrono::duration<double>(static_cast<double>(bytes) / bytesPerSecond));
}

void PacedDevice::Write(std::uint64_t bytes) {
    if (!modelled()) return;
    const Duration before = busyUntil_;
    busyUntil_ = std::max(now_, busyUntil_) + Take(bytes, pace_.writeBytesPerSecond);
    // At this instant the device holds the most: what it still had, and this.
    longestQueue_ = std::max(longestQueue_, busyUntil_ - now_);
    now_ = std::max(now_, before);
}

void PacedDevice::Read(std::uint64_t bytes) {
    if (!modelled()) return;
    now_ = std::max(now_, busyUntil_) + Take(bytes, pace_.readBytesPerSecond);
    busyUntil_ = now_;
}

void PacedDevice::Step() {
    if (!modelled()) return;
    now_ = std::max(now_, busyUntil_) + pace_.perStep;
    busyUntil_ = now_;
}

}  // namespace orvane::fake
