// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Mounting, unmounting and powering off through UDisks2 on the system bus,
// as a file manager does: as the user, with polkit deciding. Qt's D-Bus
// module carries the calls; they are synchronous.
#pragma once

#include <functional>
#include <memory>

#include "port/volume_mounter.h"

class QCoreApplication;

namespace orvane::linux_port {

// How a stop reaches a call that may wait minutes on polkit: `attend` is
// told when such a wait begins (true) and ends (false), `stopped` is asked
// while it lasts.
struct Interruption {
    std::function<void(bool)> attend;
    std::function<bool()> stopped;
};

class UDisksMounter : public VolumeMounter {
  public:
    // Without `interactive`, polkit may not ask the user: what it would ask
    // about is refused instead. A stop given by `interruption` ends the
    // wait for the service within a tenth of a second, as Kind::Stopped.
    explicit UDisksMounter(bool interactive = true, Interruption interruption = {});
    ~UDisksMounter() override;
    UDisksMounter(const UDisksMounter&) = delete;
    UDisksMounter& operator=(const UDisksMounter&) = delete;

    // Called on the program's main thread, or (once it has a Qt
    // application) on any thread. A program without a Qt application gets
    // one on the first call; the program's locale stays.
    std::variant<MountedVolume, MountFailure> Mount(std::string_view diskName) override;
    EjectResult Eject(std::string_view mountPoint, std::string_view device) override;

  private:
    void EnsureApplication();

    std::unique_ptr<QCoreApplication> application_;
    bool interactive_;
    Interruption interruption_;
};

}  // namespace orvane::linux_port
