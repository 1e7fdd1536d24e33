// The torn-proof transfer of a 64 MiB image, with and without read-back,
// beside `cp` followed by `sync` and an uncached sequential read of the file.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "bench_support.h"
#include "transfer/safe_transfer.h"

namespace orvane::bench {
namespace {

constexpr std::int64_t kImageSize = std::int64_t{64} << 20;

void SafeTransfer(benchmark::State& state) {
    Machine machine;
    machine.WriteFile(machine.work() / "fw/vorm.bin", static_cast<std::size_t>(kImageSize));
    SilentWindow window;
    linux_port::LinuxPlatform platform(window, machine.roots());
    TransferRequest request;
    request.drive = machine.camera().string();
    request.sourceFolder = (machine.work() / "fw").string() + "/";
    request.destinationFolder = machine.camera().string() + "/FIRMWARE/";
    request.files = {"vorm.bin"};
    request.verify = state.range(0) != 0;
    for (auto _ : state) {
        if (auto failure = TransferFirmware(platform, request)) {
            state.SkipWithError(failure->path.c_str());
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * kImageSize);
    state.counters["peak_rss_MiB"] = PeakRssMiB();
}
BENCHMARK(SafeTransfer)
    ->ArgName("verify")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3)
    ->Repetitions(5)
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
