// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Keeps the machine from sleeping while a transfer runs: a "sleep" inhibitor
// lock that logind hands out over the system bus.
#pragma once

namespace orvane::linux_port {

class SleepInhibitor {
  public:
    SleepInhibitor() = default;
    ~SleepInhibitor() { Release(); }
    SleepInhibitor(const SleepInhibitor&) = delete;
    SleepInhibitor& operator=(const SleepInhibitor&) = delete;

    // Takes the lock. Where no logind answers on the system bus, says so once
    // on standard error and goes on without it. Blocks for at most a few
    // seconds, for the bus's answer; any thread.
    void Acquire();
    // Lets the lock go; harmless when none is held.
    void Release();

  private:
    // logind holds the lock for as long as this descriptor stays open.
    int lock_ = -1;
};

}  // namespace orvane::linux_port
