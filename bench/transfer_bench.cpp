// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The torn-proof transfer of a 64 MiB image, with and without read-back,
// beside `cp` followed by `sync` and an uncached sequential read of the file;
// and the same transfer as the dialog runs it, on a worker thread with its
// progress handed back, beside the transfer run directly.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "texts/texts.h"
#include "transfer/background_transfer.h"
#include "transfer/safe_transfer.h"

namespace orvane::bench {
namespace {

constexpr std::int64_t kImageSize = std::int64_t{64} << 20;

// The fastest repetition: on a shared machine the least disturbed one.
double Fastest(const std::vector<double>& times) {
    return *std::min_element(times.begin(), times.end());
}

// work/fw/vorm.bin to FIRMWARE/ on the camera's volume.
TransferRequest ImageToCamera(const Machine& machine, bool verify) {
    TransferRequest request;
    request.drive = machine.camera().string();
    request.sourceFolder = (machine.work() / "fw").string() + "/";
    request.destinationFolder = machine.camera().string() + "/FIRMWARE/";
    request.files = {"vorm.bin"};
    request.verify = verify;
    return request;
}

void SafeTransfer(benchmark::State& state) {
    Machine machine;
    machine.WriteFile(machine.work() / "fw/vorm.bin", static_cast<std::size_t>(kImageSize));
    SilentWindow window;
    linux_port::LinuxPlatform platform(window, machine.roots());
    const TransferRequest request = ImageToCamera(machine, state.range(0) != 0);
    for (auto _ : state) {
        if (auto failure = TransferFirmware(platform, request)) {
            state.SkipWithError(failure->path.c_str());
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * kImageSize);
    state.counters["peak_rss_MiB"] = PeakRssMiB();
}
// Repeated more than the others: it stands beside TransferOnWorkerThread,
// and tools/bench.sh interleaves the repetitions of the two.
BENCHMARK(SafeTransfer)
    ->ArgName("verify")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3)
    ->Repetitions(15)
    ->ComputeStatistics("min", Fastest)
    ->ReportAggregatesOnly(true);

// Background work on a thread of its own; posted tasks run on the
// benchmark's thread, as a host's message loop runs them.
class ThreadedWindow : public SilentWindow {
  public:
    ~ThreadedWindow() override {
        if (worker_.joinable()) worker_.join();
    }
    void RunInBackground(std::function<void()> work) override {
        if (worker_.joinable()) worker_.join();
        worker_ = std::thread(std::move(work));
    }
    void PostToUi(std::function<void()> task) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            tasks_.push_back(std::move(task));
        }
        posted_.notify_one();
    }
    // Runs posted tasks until `done` turns true.
    void RunUntil(const bool& done) {
        while (!done) {
            std::unique_lock<std::mutex> lock(mutex_);
            posted_.wait(lock, [this] { return !tasks_.empty(); });
            std::function<void()> task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            task();
        }
    }

  private:
    std::thread worker_;
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> tasks_;
};

// The transfer as the dialog runs it: on a worker thread, each change of
// the percentage formatted into the status line on this thread. The second
// argument is the image's size in MiB.
void TransferOnWorkerThread(benchmark::State& state) {
    const auto imageSize = static_cast<std::size_t>(state.range(1)) << 20;
    Machine machine;
    machine.WriteFile(machine.work() / "fw/vorm.bin", imageSize);
    ThreadedWindow window;
    linux_port::LinuxPlatform platform(window, machine.roots());
    const TransferRequest request = ImageToCamera(machine, state.range(0) != 0);
    std::int64_t updates = 0;
    for (auto _ : state) {
        bool done = false;
        std::optional<TransferFailure> failure;
        auto transfer = std::make_shared<BackgroundTransfer>(
            platform, request,
            [&updates](const TransferProgress& progress) {
                benchmark::DoNotOptimize(texts::ProgressLine(progress));
                ++updates;
            },
            [&](const std::optional<TransferFailure>& result) {
                failure = result;
                done = true;
            });
        transfer->Start();
        window.RunUntil(done);
        if (failure) {
            state.SkipWithError(failure->path.c_str());
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(imageSize));
    state.counters["progress_updates"] =
        static_cast<double>(updates) /
        static_cast<double>(std::max<std::int64_t>(state.iterations(), 1));
    state.counters["peak_rss_MiB"] = PeakRssMiB();
}
BENCHMARK(TransferOnWorkerThread)
    ->ArgNames({"verify", "MiB"})
    ->Args({0, 64})
    ->Args({1, 64})
    ->Args({1, 256})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3)
    ->Repetitions(15)
    ->ComputeStatistics("min", Fastest)
    ->ReportAggregatesOnly(true);

void CpThenSync(benchmark::State& state) {
    Machine machine;
    machine.WriteFile(machine.work() / "fw/vorm.bin", static_cast<std::size_t>(kImageSize));
    std::filesystem::create_directories(machine.camera() / "FIRMWARE");
    const std::string command = "cp '" + (machine.work() / "fw/vorm.bin").string() + "' '" +
                                (machine.camera() / "FIRMWARE/vorm.bin").string() + "' && sync";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("cp failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * kImageSize);
}
BENCHMARK(CpThenSync)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// What one more sequential read of the written file costs when it comes from
// the device rather than the cache: the yardstick for the read-back.
void UncachedSequentialRead(benchmark::State& state) {
    Machine machine;
    const std::filesystem::path file = machine.camera() / "vorm.bin";
    machine.WriteFile(file, static_cast<std::size_t>(kImageSize));
    std::vector<char> buffer(std::size_t{1} << 20);
    for (auto _ : state) {
        int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        ::fdatasync(fd);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        while (::read(fd, buffer.data(), buffer.size()) > 0) {
        }
        ::close(fd);
    }
    state.SetBytesProcessed(state.iterations() * kImageSize);
}
BENCHMARK(UncachedSequentialRead)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace
}  // namespace orvane::bench
