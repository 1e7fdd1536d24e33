// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Entry point and shared set-up of the benchmarks.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "bench_support.h"

namespace orvane::bench {

namespace {
void WriteText(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}
}  // namespace

Machine::Machine() {
    const char* base = std::getenv("ORVANE_BENCH_DIR");
    root_ = std::filesystem::absolute(base != nullptr ? base : "build/bench-work");
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(camera());
    // camera/ is mounted from /dev/sdc1, a disk on a USB bus. It carries the
    // device number of the filesystem it really lies on, which the transfer
    // checks before it writes.
    struct stat status {};
    ::stat(camera().c_str(), &status);
    const std::string number =
        std::to_string(major(status.st_dev)) + ":" + std::to_string(minor(status.st_dev));
    WriteText(root_ / "mountinfo", "1 0 8:2 / / rw - ext4 /dev/sda2 rw\n90 1 " + number + " / " +
                                       camera().string() + " rw,nosuid - vfat /dev/sdc1 rw\n");
    const std::filesystem::path disk =
        root_ / "sys/devices/pci0000:00/0000:00:14.0/usb1/1-4/1-4:1.0/host7/block/sdc";
    WriteText(disk / "removable", "1\n");
    std::filesystem::create_directories(disk / "sdc1");
    std::filesystem::create_directories(root_ / "sys/dev/block");
    std::filesystem::create_directory_symlink(disk / "sdc1", root_ / ("sys/dev/block/" + number));
    std::filesystem::create_directories(root_ / "sys/bus/usb/devices");
}

Machine::~Machine() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

linux_port::SystemRoots Machine::roots() const {
    return {root_ / "sys/bus/usb/devices", root_ / "mountinfo", root_ / "sys/dev/block"};
}

void Machine::WriteFile(const std::filesystem::path& path, std::size_t size) const {
    // Written in pieces, so that the fixture itself does not show in the
    // benchmark's peak memory.
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    std::string piece(std::size_t{1} << 20, '\0');
    for (std::size_t done = 0; done < size; done += piece.size()) {
        for (std::size_t i = 0; i < piece.size(); ++i)
            piece[i] = static_cast<char>(((done + i) * 2654435761u) >> 13);
        out.write(piece.data(), static_cast<std::streamsize>(std::min(piece.size(), size - done)));
    }
}

void Machine::AddUsbDevices(int count) const {
    for (int i = 0; i < count; ++i) {
        const std::string name = std::to_string(1 + i / 16) + "-" + std::to_string(1 + i % 16);
        const std::filesystem::path device = root_ / "sys/bus/usb/devices" / name;
        char product[16];
        std::snprintf(product, sizeof product, "%04x\n", 0x1000 + i);
        WriteText(device / "idVendor", "0bda\n");
        WriteText(device / "idProduct", product);
        WriteText(device / "bcdDevice", "0100\n");
        // Interfaces sit beside the devices and must be skipped.
        WriteText(root_ / "sys/bus/usb/devices" / (name + ":1.0") / "bInterfaceClass", "08\n");
    }
}

double PeakRssMiB() {
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

}  // namespace orvane::bench

BENCHMARK_MAIN();
