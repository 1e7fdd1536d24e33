// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Mounting, unmounting and powering off through UDisks2 on the system bus,
// as a file manager does: as the user, with polkit deciding. Qt's D-Bus
// module carries the calls; they are synchronous.
#pragma once

#include <memory>

#include "cli/volume_mounter.h"

class QCoreApplication;

namespace orvane::linux_port {

class UDisksMounter : public cli::VolumeMounter {
  public:
    // Without `interactive`, polkit may not ask the user: what it would ask
    // about is refused instead.
    explicit UDisksMounter(bool interactive = true);
    ~UDisksMounter() override;
    UDisksMounter(const UDisksMounter&) = delete;
    UDisksMounter& operator=(const UDisksMounter&) = delete;

    // Called on the program's main thread, or (once it has a Qt
    // application) on any thread. A program without a Qt application gets
    // one on the first call; the program's locale stays.
    std::variant<cli::MountedVolume, cli::MountFailure> Mount(std::string_view diskName) override;
    cli::EjectResult Eject(std::string_view mountPoint, std::string_view device) override;

  private:
    void EnsureApplication();

    std::unique_ptr<QCoreApplication> application_;
    bool interactive_;
};

}  // namespace orvane::linux_port
