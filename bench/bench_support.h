// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Shared set-up for the benchmarks: a scratch folder laid out like a machine
// with a camera, and a window side that does nothing.
#pragma once

#include <filesystem>
#include <string>

#include "platform/linux/linux_platform.h"

namespace orvane::bench {

class SilentWindow : public linux_port::WindowSide {
  public:
    IconHandle LoadAppIcon() override { return 0; }
    void AddAboutToSystemMenu() override {}
    void SetWindowIcons(IconHandle) override {}
    unsigned ArmTimer(unsigned id, unsigned) override { return id; }
    void StopTimer(unsigned) override {}
    void ShowMessage(std::string_view text) override { lastMessage = text; }
    void EndModal(int) override {}
    void ShowProgress(int, std::string_view) override {}
    void HideProgress() override {}
    void RunInBackground(std::function<void()> work) override { work(); }
    void PostToUi(std::function<void()> task) override { task(); }
    std::string lastMessage;
};

// A folder under ORVANE_BENCH_DIR (default: build/bench-work) that stands for
// the machine: work/ with the update files, camera/ as the camera's volume,
// and sysfs and mount-table fixtures that describe camera/ as a USB volume.
class Machine {
  public:
    Machine();
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path work() const { return root_ / "work"; }
    std::filesystem::path camera() const { return root_ / "camera"; }
    linux_port::SystemRoots roots() const;

    void WriteFile(const std::filesystem::path& path, std::size_t size) const;
    // Adds `count` USB devices that are not the camera.
    void AddUsbDevices(int count) const;

  private:
    std::filesystem::path root_;
};

// Peak resident memory of this process so far, in MiB.
double PeakRssMiB();

}  // namespace orvane::bench
