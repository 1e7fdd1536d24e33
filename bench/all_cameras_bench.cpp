// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// orvane-cli --all over several cameras, each card held to a pace of its
// own, against the same run with one camera: the wall time of the whole
// run, from reading FirmWare.ini to the last camera's result.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "bench_support.h"
#include "cli/cli_run.h"
#include "platform/linux/cli_host.h"

namespace orvane::bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kImageSize = std::size_t{16} << 20;
// A camera's card over USB 2: what one camera on its own gets.
constexpr double kWriteBytesPerSecond = 10e6;
constexpr double kReadBytesPerSecond = 20e6;

// Holds a stream of bytes to `rate`: each call returns once the bytes so far
// would have taken that long.
class Pace {
  public:
    explicit Pace(double rate) : rate_(rate) {}
    void Take(std::size_t bytes) {
        bytes_ += bytes;
        std::this_thread::sleep_until(
            start_ + std::chrono::duration_cast<Clock::duration>(
                         std::chrono::duration<double>(static_cast<double>(bytes_) / rate_)));
    }

  private:
    double rate_;
    Clock::time_point start_ = Clock::now();
    std::size_t bytes_ = 0;
};

class PacedWrite : public WritableFile {
  public:
    explicit PacedWrite(std::unique_ptr<WritableFile> file)
        : file_(std::move(file)), pace_(kWriteBytesPerSecond) {}
    Status Write(std::span<const std::byte> data) override {
        pace_.Take(data.size());
        return file_->Write(data);
    }
    std::uint64_t BytesOnDevice() const override { return file_->BytesOnDevice(); }
    Status Flush() override { return file_->Flush(); }
    Status Close() override { return file_->Close(); }

  private:
    std::unique_ptr<WritableFile> file_;
    Pace pace_;
};

class PacedRead : public ReadableFile {
  public:
    explicit PacedRead(std::unique_ptr<ReadableFile> file)
        : file_(std::move(file)), pace_(kReadBytesPerSecond) {}
    Result<std::size_t> Read(std::span<std::byte> buffer) override {
        Result<std::size_t> read = file_->Read(buffer);
        if (read.ok()) pace_.Take(read.value());
        return read;
    }
    std::uint64_t Size() const override { return file_->Size(); }

  private:
    std::unique_ptr<ReadableFile> file_;
    Pace pace_;
};

// The run's host, counting the walks of the device tree: each opens every
// disk on a real Windows system, the cameras being written among them.
class CountingHost : public linux_port::CliHost {
  public:
    using CliHost::CliHost;
    Result<StorageLayout> StorageLayoutOfDrives() override {
        ++walks;
        return CliHost::StorageLayoutOfDrives();
    }
    std::atomic<int> walks{0};
};

// One camera's card. All the cards lie on the scratch folder's filesystem
// under device numbers of their own, so the check that a mount point is
// still its device is left out; everything else is the real back end's.
class PacedCard : public linux_port::CameraSystem {
  public:
    PacedCard(linux_port::CliHost& host, std::filesystem::path media)
        : CameraSystem(host), media_(std::move(media)) {}

    Status HoldVolume(std::string_view) override { return Ok(); }
    Result<std::unique_ptr<WritableFile>> CreateForWrite(std::string_view path) override {
        auto file = CameraSystem::CreateForWrite(path);
        if (!file.ok() || !OnCard(path)) return file;
        return std::unique_ptr<WritableFile>(std::make_unique<PacedWrite>(std::move(file.value())));
    }
    Result<std::unique_ptr<ReadableFile>> OpenForRead(std::string_view path,
                                                      ReadCaching caching) override {
        auto file = CameraSystem::OpenForRead(path, caching);
        if (!file.ok() || !OnCard(path)) return file;
        return std::unique_ptr<ReadableFile>(std::make_unique<PacedRead>(std::move(file.value())));
    }

  private:
    bool OnCard(std::string_view path) const { return path.starts_with(media_.string()); }
    std::filesystem::path media_;
};

void Write(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// `cameras` cameras of the same kind, each with a volume media/CAMn on a disk
// of its own.
void PlugCameras(const Machine& machine, int cameras) {
    std::string mounts = "1 0 8:2 / / rw - ext4 /dev/sda2 rw\n";
    for (int n = 1; n <= cameras; ++n) {
        const std::string port = "3-" + std::to_string(n);
        const std::filesystem::path device =
            machine.root() / "sys/devices/pci0000:00/0000:00:14.0/usb3" / port;
        Write(device / "idVendor", "1d6c\n");
        Write(device / "idProduct", "00ab\n");
        Write(device / "bcdDevice", "0100\n");
        std::filesystem::create_directory_symlink(device,
                                                  machine.root() / "sys/bus/usb/devices" / port);
        const std::string disk = "sd" + std::string(1, static_cast<char>('c' + n));
        const std::filesystem::path partition =
            device / (port + ":1.0") / "host1" / "block" / disk / (disk + "1");
        Write(partition.parent_path() / "removable", "1\n");
        std::filesystem::create_directories(partition);
        const std::string number = "8:" + std::to_string(16 * (n + 2) + 1);
        std::filesystem::create_directory_symlink(partition,
                                                  machine.root() / "sys/dev/block" / number);
        const std::filesystem::path volume = machine.root() / "media" / ("CAM" + std::to_string(n));
        std::filesystem::create_directories(volume);
        mounts += std::to_string(20 + n) + " 1 " + number + " / " + volume.string() +
                  " rw - vfat /dev/" + disk + "1 rw\n";
    }
    Write(machine.root() / "mountinfo", mounts);
}

void AllCameras(benchmark::State& state) {
    const int cameras = static_cast<int>(state.range(0));
    Machine machine;
    machine.WriteFile(machine.work() / "fw/vorm.bin", kImageSize);
    Write(machine.work() / "fw/dsccmd.ini", "[Update]\nFile=vorm.bin\n");
    Write(machine.work() / "FirmWare.ini",
          "[PID_VID]\nPID_VID=USB\\VID_1D6C&PID_00AB&REV_0100\n[SrcPath]\nPath=\\fw\\\n"
          "[DestPath]\nPath=\\FIRMWARE\\\n");
    PlugCameras(machine, cameras);
    const auto options = std::get<cli::Options>(cli::ParseOptions(
        {"--all", "--wait", "0", "--ini", (machine.work() / "FirmWare.ini").string()}));
    const std::filesystem::path media = machine.root() / "media";
    int walks = 0;
    for (auto _ : state) {
        CountingHost host(machine.roots());
        int failed = 0;
        cli::Reporter report(
            cli::OutputStyle::Lines, [](std::string_view) {},
            [&failed](std::string_view) { ++failed; });
        const int status = cli::RunUpdate(options, host, host, report, nullptr, [&] {
            return std::unique_ptr<SystemPort>(std::make_unique<PacedCard>(host, media));
        });
        if (status != cli::kSuccess || failed != 0) {
            state.SkipWithError("the run over the cameras failed");
            break;
        }
        walks += host.walks.load();
    }
    state.SetBytesProcessed(state.iterations() * cameras * static_cast<std::int64_t>(kImageSize));
    state.counters["cameras"] = cameras;
    state.counters["walks"] = benchmark::Counter(walks, benchmark::Counter::kAvgIterations);
}
BENCHMARK(AllCameras)
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace
}  // namespace orvane::bench
