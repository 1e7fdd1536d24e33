// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// One camera's update session as the command line drives it: the session's
// looks and mounts done on the spot, its words turned into events, and its
// ticks, device events and stop taken from the program's loop.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "cli/cli_report.h"
#include "cli/cli_run.h"
#include "session/update_session.h"

namespace orvane::cli {

class CameraFront : public SessionFront {
  public:
    // `lookSystem` answers the looks, `transferSystem` runs the transfer;
    // `which`: the one camera of several this front is for.
    CameraFront(SystemPort& lookSystem, SystemPort& transferSystem, EventLoop& loop,
                Reporter& report, const UpdateSettings& settings, std::string base,
                VolumeMounter* mounter, std::optional<UsbDevice> which);
    void Attach(UpdateSession& session) { session_ = &session; }

    // Does the looks and mounts the session asked for, giving it their
    // answers, until it asks for none.
    void Pump();
    const std::optional<SessionOutcome>& Outcome() const { return outcome_; }
    std::uint64_t Bytes() const { return bytes_; }

    std::chrono::steady_clock::time_point Now() override { return loop_.Now(); }
    void Look() override { lookWanted_ = true; }
    void Mount(const std::string& disk) override { mountWanted_ = disk; }
    void Say(SessionNews news, const std::string& text) override;
    std::variant<TransferRequest, std::string> Request(const std::string& drive) override;
    void Started(const UsbDevice& camera, const std::string& volume) override;
    void Progress(const TransferProgress& progress) override;
    void Over(const SessionOutcome& outcome) override { outcome_ = outcome; }

  private:
    // `text`, after the camera's name where several are updated.
    std::string Named(const std::string& text) const;

    SystemPort& lookSystem_;
    SystemPort& transferSystem_;
    EventLoop& loop_;
    Reporter& report_;
    const UpdateSettings& settings_;
    std::string base_;
    VolumeMounter* mounter_;
    std::optional<UsbDevice> which_;
    UpdateSession* session_ = nullptr;
    bool lookWanted_ = false;
    std::optional<std::string> mountWanted_;
    std::string volume_;
    std::chrono::steady_clock::time_point started_{};
    std::uint64_t bytes_ = 0;
    std::optional<SessionOutcome> outcome_;
};

// The setup of a command-line session: waiting as `options` say, mounting
// through `mounter` once per disk (`mounts`), for `which` camera of several.
UpdateSession::Setup CommandLineSetup(const Options& options, const SystemPort& system,
                                      const UpdateSettings& settings,
                                      std::chrono::steady_clock::time_point start,
                                      VolumeMounter* mounter, MountMemory& mounts);

// Drives `session` until it is over: the loop's stop, device events and
// ticks. The session must have begun.
void RunToEnd(UpdateSession& session, CameraFront& front, EventLoop& loop);

// Waits until `camera` has been unplugged; false when a stop came first.
bool WaitForDeparture(SystemPort& system, EventLoop& loop, Reporter& report,
                      const UsbDevice& camera, const std::string& hardwareId);

}  // namespace orvane::cli
