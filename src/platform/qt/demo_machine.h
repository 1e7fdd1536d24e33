// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// A simulated machine for the demo and the dialog tests: a sysfs tree, a block
// device tree and a mount table in a temporary folder, and a camera that can
// be plugged in.
#pragma once

#include <filesystem>
#include <string>

#include "platform/linux/linux_platform.h"

namespace orvane::qt {

class DemoMachine {
  public:
    // The camera reports `hardwareId` when it is plugged in; an ID that is
    // not of the USB\VID_vvvv&PID_pppp&REV_rrrr shape gives a camera that
    // nothing matches. The camera's storage is `cameraDrive` where one is
    // given (a volume of the caller's, mounted already), otherwise a folder
    // of the machine's own.
    explicit DemoMachine(std::string hardwareId, std::filesystem::path cameraDrive = {});
    ~DemoMachine();
    DemoMachine(const DemoMachine&) = delete;
    DemoMachine& operator=(const DemoMachine&) = delete;

    linux_port::SystemRoots roots() const;
    // The USB device appears and its storage is mounted, as the desktop does
    // a moment after the cable goes in.
    void PlugCamera();
    bool cameraPlugged() const { return plugged_; }
    // The folder that stands in for the camera's storage.
    const std::filesystem::path& cameraDrive() const { return cameraDrive_; }

  private:
    void AddUsbDevice(const std::string& name, unsigned vendor, unsigned product,
                      unsigned revision);
    void AddDisk(const std::string& number, const std::string& diskPath, const char* removable);
    void WriteMountTable();

    std::filesystem::path root_;
    std::filesystem::path cameraDrive_;
    std::string hardwareId_;
    std::string mountTable_;
    std::string cameraNumber_;  // the camera volume's device number
    bool plugged_ = false;
};

// The working folder the demo runs in when the current one holds no
// FirmWare.ini: the example folder of the source tree.
std::filesystem::path ExampleFolder();

}  // namespace orvane::qt
