// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// --all: one session per camera, one loop for them all. The device tree is
// walked only where a session looks at its camera's storage: at its arrival,
// a device event or its look interval, never because a transfer moved on.
#include "cli/cli_all.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "cli/cli_camera.h"
#include "cli/cli_outcome.h"
#include "device/camera_scan.h"
#include "session/volume_claims.h"
#include "texts/texts.h"

namespace orvane::cli {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// One camera of the run, from its arrival.
struct Camera {
    UsbDevice device;
    std::unique_ptr<SystemPort> system;  // outlives the transfer that uses it
    std::unique_ptr<CameraFront> front;
    std::unique_ptr<UpdateSession> session;
    bool concluded = false;
};

class AllCameras {
  public:
    AllCameras(const Options& options, SystemPort& system, EventLoop& loop, Reporter& report,
               const UpdateSettings& settings, const std::string& base, VolumeMounter* mounter,
               const SystemMaker& makeSystem, std::optional<RunLog>& log)
        : options_(options),
          system_(system),
          loop_(loop),
          report_(report),
          settings_(settings),
          base_(base),
          mounter_(mounter),
          makeSystem_(makeSystem),
          log_(log),
          begun_(loop.Now()) {}

    int Run();

  private:
    // The cameras connected now: those gone leave the run, new ones join it.
    void Scan();
    void Join(const UsbDevice& device);
    // Gives each camera that ended its event and its log line, once.
    void ConcludeEnded();
    void Record(const CameraOutcome& outcome);
    bool TimedOut() const {
        return options_.waitSeconds &&
               loop_.Now() >= begun_ + std::chrono::seconds(*options_.waitSeconds);
    }

    const Options& options_;
    SystemPort& system_;
    EventLoop& loop_;
    Reporter& report_;
    const UpdateSettings& settings_;
    const std::string& base_;
    VolumeMounter* mounter_;
    const SystemMaker& makeSystem_;
    std::optional<RunLog>& log_;
    const Clock::time_point begun_;

    VolumeClaims claims_;
    MountMemory mounts_;
    std::vector<std::unique_ptr<Camera>> cameras_;
    int worst_ = kSuccess;
    bool anyEnded_ = false;
    std::string shown_;  // the last notice while no camera is there
};

void AllCameras::Join(const UsbDevice& device) {
    auto& camera = *cameras_.emplace_back(std::make_unique<Camera>());
    camera.device = device;
    camera.system = makeSystem_();
    // A maker that gives none leaves the camera to the run's own system.
    SystemPort& transfers = camera.system ? *camera.system : system_;
    camera.front = std::make_unique<CameraFront>(system_, transfers, loop_, report_, settings_,
                                                 base_, mounter_, device);
    UpdateSession::Setup setup =
        CommandLineSetup(options_, system_, settings_, begun_, mounter_, mounts_);
    setup.camera = device;
    setup.claims = &claims_;
    camera.session = std::make_unique<UpdateSession>(*camera.front, transfers, std::move(setup));
    camera.front->Attach(*camera.session);
    camera.session->Begin();
    camera.front->Pump();
}

void AllCameras::Scan() {
    const std::vector<UsbDevice> present = FindCameras(system_, settings_.hardwareId);
    claims_.Present(present);
    const auto here = [&](const Camera& camera) {
        return std::any_of(present.begin(), present.end(), [&](const UsbDevice& device) {
            return VolumeClaims::SameCamera(camera.device, device);
        });
    };
    // A finished camera that has gone leaves the run, so that whatever comes
    // next in its place is new; one that went before it could start is
    // forgotten without a word, as it never was.
    std::erase_if(cameras_, [&](const std::unique_ptr<Camera>& camera) {
        if ((!camera->concluded && !camera->session->Looking()) || here(*camera)) return false;
        // Once back, it is another arrival, whose volume may be mounted.
        mounts_.Seen(camera->device, {});
        return true;
    });
    for (const UsbDevice& device : present) {
        const bool known =
            std::any_of(cameras_.begin(), cameras_.end(), [&](const std::unique_ptr<Camera>& c) {
                return VolumeClaims::SameCamera(c->device, device);
            });
        if (!known) Join(device);
    }
}

void AllCameras::Record(const CameraOutcome& outcome) {
    worst_ = MoreSevere(worst_, outcome.status);
    Conclude(options_, system_, report_, mounter_, log_, settings_.hardwareId, outcome);
}

void AllCameras::ConcludeEnded() {
    for (const std::unique_ptr<Camera>& camera : cameras_) {
        if (camera->concluded || !camera->session->Over()) continue;
        camera->concluded = true;
        anyEnded_ = true;
        const SessionOutcome& ended = *camera->front->Outcome();
        Record(OutcomeOf(ended, camera->front->Bytes(), true));
        if (!ended.volume.empty()) loop_.OweRecord(false);
        // Its worker may still be in the call that never returned, on this
        // system: left to the process's end, not joined.
        if (ended.kind == SessionOutcome::Kind::LeftBehind)
            static_cast<void>(camera->system.release());
    }
}

int AllCameras::Run() {
    report_.NameEachCamera();
    bool stopping = false;
    bool scanned = false;
    Clock::time_point nextScan = loop_.Now();
    for (;;) {
        if (loop_.StopRequested() && !stopping) {
            stopping = true;
            for (const std::unique_ptr<Camera>& camera : cameras_) {
                if (!camera->session->Transferring()) continue;
                camera->session->Stop(StopBy::System);
                camera->front->Pump();
            }
        }
        const bool changed = loop_.TakeDeviceChange();
        if (!stopping && (!scanned || changed || loop_.Now() >= nextScan)) {
            Scan();
            scanned = true;
            nextScan = loop_.Now() + kScanInterval;
        }
        for (const std::unique_ptr<Camera>& camera : cameras_) {
            if (camera->session->Over()) continue;
            if (changed) camera->session->OnDeviceChange();
            camera->session->Tick();
            camera->front->Pump();
        }
        ConcludeEnded();

        const bool busy = std::any_of(
            cameras_.begin(), cameras_.end(),
            [](const std::unique_ptr<Camera>& c) { return c->session->Transferring(); });
        if (!busy && (stopping || anyEnded_ || TimedOut())) {
            // Every camera seen gets its outcome and its log line: one never
            // started is said to be so, with what kept it.
            for (const std::unique_ptr<Camera>& camera : cameras_)
                camera->session->EndWaiting(stopping);
            ConcludeEnded();
            if (!anyEnded_) {
                // No camera came at all.
                CameraOutcome none;
                none.status = stopping ? kStopped : kNoCamera;
                none.message =
                    stopping
                        ? texts::DescribeStoppedWaiting(texts::Front::CommandLine)
                        : texts::DescribeNoCamera(
                              settings_.hardwareId, options_.waitSeconds.value_or(0),
                              FindNearMisses(settings_.hardwareId, system_.PresentUsbDevices()));
                Record(none);
            }
            return stopping ? kStopped : worst_;
        }
        if (cameras_.empty()) {
            const std::string notice = texts::WaitingForCameraLine(
                settings_.hardwareId,
                FindNearMisses(settings_.hardwareId, system_.PresentUsbDevices()));
            if (notice != shown_) report_.Waiting(notice);
            shown_ = notice;
        }
        Clock::time_point wake = nextScan;
        for (const std::unique_ptr<Camera>& camera : cameras_) {
            if (!camera->session->Over()) wake = std::min(wake, camera->session->NextTick());
        }
        if (options_.waitSeconds)
            wake = std::min(wake, begun_ + std::chrono::seconds(*options_.waitSeconds));
        const auto timeout = std::chrono::duration_cast<milliseconds>(wake - loop_.Now());
        loop_.Wait(std::clamp(timeout, milliseconds(0), kScanInterval));
    }
}

}  // namespace

int UpdateAllCameras(const Options& options, SystemPort& system, EventLoop& loop, Reporter& report,
                     const UpdateSettings& settings, const std::string& base,
                     VolumeMounter* mounter, const SystemMaker& makeSystem,
                     std::optional<RunLog>& log) {
    return AllCameras(options, system, loop, report, settings, base, mounter, makeSystem, log)
        .Run();
}

}  // namespace orvane::cli
