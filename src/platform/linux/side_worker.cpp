// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The side worker's thread and its queue.
#include "platform/linux/side_worker.h"

#include <system_error>

namespace orvane::linux_port {

class SideWorker::Ticket : public SideWork {
  public:
    Ticket(SideWorker& worker, std::shared_ptr<Job> job) : worker_(worker), job_(std::move(job)) {}
    ~Ticket() override { Wait(); }
    void Wait() override {
        std::unique_lock lock(worker_.mutex_);
        worker_.done_.wait(lock, [this] { return job_->done; });
    }

  private:
    SideWorker& worker_;
    std::shared_ptr<Job> job_;
};

SideWorker::~SideWorker() {
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    queued_.notify_all();
    if (thread_.joinable()) thread_.join();
}

std::unique_ptr<SideWork> SideWorker::Run(std::function<void()> work) {
    auto job = std::make_shared<Job>();
    job->work = std::move(work);
    {
        std::lock_guard lock(mutex_);
        if (!thread_.joinable()) {
            try {
                thread_ = std::thread([this] { Loop(); });
            } catch (const std::system_error&) {
                job->work();
                return nullptr;
            }
        }
        jobs_.push_back(job);
    }
    queued_.notify_one();
    return std::make_unique<Ticket>(*this, std::move(job));
}

void SideWorker::Loop() {
    for (;;) {
        std::shared_ptr<Job> job;
        {
            std::unique_lock lock(mutex_);
            queued_.wait(lock, [this] { return ending_ || !jobs_.empty(); });
            if (jobs_.empty()) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job->work();
        {
            std::lock_guard lock(mutex_);
            job->done = true;
        }
        done_.notify_all();
    }
}

}  // namespace orvane::linux_port
