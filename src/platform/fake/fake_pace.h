// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// A camera that takes its time, for the fake platform: its writes, uncached
// reads, flushes, renames and removals cost modelled time at a given pace,
// and the platform's clock (Now) runs on by what they cost. A test can then
// see, in modelled time, how long each call of the transfer holds its
// thread, how much work the device holds at once, and how long a stop takes.
//
// The device works through what it is handed in order, one thing at a time.
// A write is queued behind what the device is doing and returns once what
// was queued before it is done, as the port's WritableFile::Write says; a
// flush, a rename or a removal first waits for everything queued. Reads of
// the source, through the cache, cost nothing. With no pace set (the
// default) nothing costs any time and nothing here is touched: threaded tests
// that move the fake's clock themselves are unaffected.
#pragma once

#include <chrono>
#include <cstdint>

namespace orvane::fake {

struct DevicePace {
    double writeBytesPerSecond = 0;  // 0: no model, everything takes no time
    double readBytesPerSecond = 0;
    // A flush, a rename or a removal, once the queue is empty.
    std::chrono::microseconds perStep{0};
};

class PacedDevice {
  public:
    using Duration = std::chrono::nanoseconds;

    PacedDevice() = default;
    explicit PacedDevice(DevicePace pace) : pace_(pace) {}

    bool modelled() const { return pace_.writeBytesPerSecond > 0; }
    // Modelled time gone by since the start.
    Duration elapsed() const { return now_; }
    // The most device time that was ever queued at once.
    Duration longestQueue() const { return longestQueue_; }

    void Write(std::uint64_t bytes);
    void Read(std::uint64_t bytes);
    // A flush, a rename or a removal: the queue empties first.
    void Step();

  private:
    Duration Take(std::uint64_t bytes, double bytesPerSecond) const;

    DevicePace pace_;
    Duration now_{0};
    Duration busyUntil_{0};  // when the device is through with what it holds
    Duration longestQueue_{0};
};

}  // namespace orvane::fake
