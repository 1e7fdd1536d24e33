// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// One camera scan over 64 USB devices, and the settings read at start-up.
#include <benchmark/benchmark.h>

#include <fstream>

#include "bench_support.h"
#include "ui/updater_dialog.h"

namespace orvane::bench {
namespace {

void CameraScan64Devices(benchmark::State& state) {
    Machine machine;
    machine.AddUsbDevices(64);
    SilentWindow window;
    linux_port::LinuxPlatform platform(window, machine.roots());
    CUpdaterDialog dialog(platform);  // no settings read: the ID matches nothing
    for (auto _ : state) {
        dialog.ScanForCamera();
        if (dialog.deviceFound()) state.SkipWithError("a fixture device matched");
    }
    state.counters["peak_rss_MiB"] = PeakRssMiB();
}
BENCHMARK(CameraScan64Devices)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void ReadFirmwareIni(benchmark::State& state) {
    Machine machine;
    std::filesystem::create_directories(machine.work());
    std::ofstream(machine.work() / "FirmWare.ini", std::ios::binary)
        << "[PID_VID]\r\nPID_VID=USB\\VID_04DA&PID_2372&REV_0100\r\n"
           "[SrcPath]\r\nPath=\\fw\\\r\n[DestPath]\r\nPath=\\FIRMWARE\\\r\n";
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(machine.work());
    SilentWindow window;
    linux_port::LinuxPlatform platform(window, machine.roots());
    CUpdaterDialog dialog(platform);
    for (auto _ : state) {
        dialog.BuildSettingsPath();
        dialog.ReadSettings();
        benchmark::DoNotOptimize(dialog.destPath().data());
    }
    if (dialog.destPath() != "\\FIRMWARE\\") state.SkipWithError("settings not read");
    std::filesystem::current_path(previous);
}
BENCHMARK(ReadFirmwareIni)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace
}  // namespace orvane::bench
