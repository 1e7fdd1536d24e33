// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// A thread kept beside a system side for its side work (SystemPort::RunBeside):
// started at the first piece and kept for the next, since a thread started
// for each piece of a fast card would cost about as much as its hash.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "port/system_port.h"

namespace orvane::linux_port {

class SideWorker {
  public:
    SideWorker() = default;
    ~SideWorker();  // runs what is left, then ends the thread
    SideWorker(const SideWorker&) = delete;
    SideWorker& operator=(const SideWorker&) = delete;

    // Queues `work`; null where no thread could be started, the work then
    // having run here.
    std::unique_ptr<SideWork> Run(std::function<void()> work);

  private:
    struct Job {
        std::function<void()> work;
        bool done = false;
    };
    class Ticket;

    void Loop();

    std::mutex mutex_;
    std::condition_variable queued_;
    std::condition_variable done_;
    std::deque<std::shared_ptr<Job>> jobs_;
    bool ending_ = false;
    std::thread thread_;
};

}  // namespace orvane::linux_port
