// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// One camera's session on the command line.
#include "cli/cli_camera.h"

#include <algorithm>
#include <utility>

#include "cli/cli_outcome.h"
#include "device/camera_scan.h"
#include "port/ascii.h"
#include "texts/command_line_texts.h"
#include "transfer/update_request.h"

namespace orvane::cli {

CameraFront::CameraFront(SystemPort& lookSystem, SystemPort& transferSystem, EventLoop& loop,
                         Reporter& report, const UpdateSettings& settings, std::string base,
                         VolumeMounter* mounter, std::optional<UsbDevice> which)
    : lookSystem_(lookSystem),
      transferSystem_(transferSystem),
      loop_(loop),
      report_(report),
      settings_(settings),
      base_(std::move(base)),
      mounter_(mounter),
      which_(std::move(which)) {}

void CameraFront::Pump() {
    while (session_ != nullptr && (lookWanted_ || mountWanted_)) {
        if (mountWanted_) {
            const std::string disk = std::move(*mountWanted_);
            mountWanted_.reset();
            session_->OnMounted(mounter_->Mount(disk));
            continue;
        }
        lookWanted_ = false;
        session_->OnSight(
            LookAtCamera(lookSystem_, settings_.hardwareId, settings_.destPath, which_));
    }
}

std::string CameraFront::Named(const std::string& text) const {
    if (!which_) return text;
    if (volume_.empty()) return texts::AboutCamera(which_->instance, text);
    return VolumeName(transferSystem_, volume_) + ": " + text;
}

void CameraFront::Say(SessionNews news, const std::string& text) {
    if (text.empty()) return;
    switch (news) {
        case SessionNews::Waiting:
            report_.Waiting(Named(text));
            return;
        case SessionNews::Mounting:
            return;
        case SessionNews::Mounted:
        case SessionNews::Answering:
        case SessionNews::Stopping:
            report_.Notice(Named(text));
            return;
        case SessionNews::Silent:
            report_.Warning(Named(text));
            return;
    }
}

std::variant<TransferRequest, std::string> CameraFront::Request(const std::string& drive) {
    TransferRequest request =
        MakeUpdateRequest(transferSystem_, base_, settings_.srcPath, drive, settings_.destPath);
    // The size of the update files, for the log; 0 for one that cannot be
    // opened (the transfer then says why).
    bytes_ = 0;
    for (const std::string& file : request.files) {
        auto opened = transferSystem_.OpenForRead(
            transferSystem_.JoinPath(request.sourceFolder, file), ReadCaching::Normal);
        if (opened.ok()) bytes_ += opened.value()->Size();
    }
    return request;
}

void CameraFront::Started(const UsbDevice&, const std::string& volume) {
    volume_ = volume;
    started_ = loop_.Now();
    // From here until its line is written, a signal must not take the
    // record of what reached the camera.
    loop_.OweRecord(true);
    report_.Found(settings_.hardwareId, VolumeName(transferSystem_, volume));
}

void CameraFront::Progress(const TransferProgress& progress) {
    const std::chrono::duration<double> elapsed = loop_.Now() - started_;
    report_.Progress(progress, elapsed.count(),
                     which_ ? VolumeName(transferSystem_, volume_) : std::string());
}

UpdateSession::Setup CommandLineSetup(const Options& options, const SystemPort& system,
                                      const UpdateSettings& settings,
                                      std::chrono::steady_clock::time_point start,
                                      VolumeMounter* mounter, MountMemory& mounts) {
    UpdateSession::Setup setup;
    setup.rules = SessionRules::CommandLine(start, options.waitSeconds);
    setup.settings = settings;
    setup.system = system.System();
    setup.mounter = mounter != nullptr && mounter->Mounts() ? mounter : nullptr;
    setup.mounts = &mounts;
    return setup;
}

void RunToEnd(UpdateSession& session, CameraFront& front, EventLoop& loop) {
    front.Pump();
    bool stopped = false;
    while (!session.Over()) {
        if (loop.StopRequested() && !stopped) {
            // A signal is the system's request: it never cuts the new files'
            // replacement of the old ones.
            stopped = true;
            session.Stop(StopBy::System);
            front.Pump();
            continue;
        }
        const auto wait =
            std::chrono::duration_cast<std::chrono::milliseconds>(session.NextTick() - loop.Now());
        loop.Wait(std::clamp(wait, std::chrono::milliseconds(0), kScanInterval));
        if (session.Over()) break;
        if (loop.TakeDeviceChange()) {
            session.OnDeviceChange();
            front.Pump();
        }
        session.Tick();
        front.Pump();
    }
}

bool WaitForDeparture(SystemPort& system, EventLoop& loop, Reporter& report,
                      const UsbDevice& camera, const std::string& hardwareId) {
    report.Waiting(texts::WaitingForDepartureLine());
    for (;;) {
        if (loop.StopRequested()) return false;
        // Another camera of the same kind may already be plugged in; only
        // this one has to go. Where the system names no device, any
        // matching one counts.
        bool stays = false;
        if (camera.instance.empty()) {
            stays = FindCamera(system, hardwareId).has_value();
        } else {
            for (const UsbDevice& device : system.PresentUsbDevices())
                stays = stays || EqualIgnoringAsciiCase(device.instance, camera.instance);
        }
        if (!stays) return true;
        loop.Wait(kScanInterval);
    }
}

}  // namespace orvane::cli
