// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The command line's run: the settings, then one camera, one after another
// (--repeat) or all at once (--all), each an update session, and the exit
// status that sums them up.
#include "cli/cli_run.h"

#include "cli/cli_all.h"
#include "cli/cli_camera.h"
#include "cli/cli_outcome.h"
#include "cli/cli_settings.h"
#include "texts/command_line_texts.h"
#include "texts/record_texts.h"

namespace orvane::cli {

namespace {

// One camera: waits for it, updates it, and says what became of it.
CameraOutcome UpdateOneCamera(const Options& options, SystemPort& system, EventLoop& loop,
                              Reporter& report, const UpdateSettings& settings,
                              const std::string& base, VolumeMounter* mounter,
                              MountMemory& mounts) {
    CameraFront front(system, system, loop, report, settings, base, mounter, std::nullopt);
    UpdateSession session(front, system,
                          CommandLineSetup(options, system, settings, loop.Now(), mounter, mounts));
    front.Attach(session);
    session.Begin();
    RunToEnd(session, front, loop);
    return OutcomeOf(*front.Outcome(), front.Bytes(), false);
}

int UpdateCameras(const Options& options, SystemPort& system, EventLoop& loop, Reporter& report,
                  VolumeMounter* mounter, const SystemMaker& makeSystem,
                  std::optional<RunLog>& log) {
    auto fail = [&](const Failure& failure) {
        report.Failed(failure.status, failure.message);
        return failure.status;
    };

    std::variant<SettingsPlace, Failure> place = LocateSettings(options, system);
    if (auto* failure = std::get_if<Failure>(&place)) return fail(*failure);
    const SettingsPlace& where = std::get<SettingsPlace>(place);
    std::variant<UpdateSettings, Failure> loaded = LoadSettings(system, where.iniPath);
    if (auto* failure = std::get_if<Failure>(&loaded)) return fail(*failure);
    const UpdateSettings& settings = std::get<UpdateSettings>(loaded);

    if (options.all) {
        return UpdateAllCameras(options, system, loop, report, settings, where.base, mounter,
                                makeSystem, log);
    }

    MountMemory mounts;
    int worst = kSuccess;
    bool anyCamera = false;
    for (;;) {
        const CameraOutcome outcome =
            UpdateOneCamera(options, system, loop, report, settings, where.base, mounter, mounts);
        if (!outcome.started && options.repeat && anyCamera) {
            // The wait for the next camera ended: --wait, or a stop, which
            // a calling script must see as one.
            if (outcome.status == kNoCamera) report.Waiting(outcome.message);
            return outcome.status == kStopped ? kStopped : worst;
        }
        Conclude(options, system, report, mounter, log, settings.hardwareId, outcome);
        if (outcome.started) loop.OweRecord(false);
        if (!options.repeat || !outcome.started || outcome.status == kStopped)
            return outcome.status;
        anyCamera = true;
        worst = MoreSevere(worst, outcome.status);
        if (!WaitForDeparture(system, loop, report, *outcome.camera, settings.hardwareId))
            return kStopped;
    }
}

}  // namespace

int RunUpdate(const Options& options, SystemPort& system, EventLoop& loop, Reporter& report,
              VolumeMounter* mounter, const SystemMaker& makeSystem, SystemLog* systemLog) {
    // A usage error is refused before anything is read or written.
    if (options.all && !makeSystem) {
        report.Failed(kUsage, texts::DescribeAllUnavailable());
        return kUsage;
    }
    if (options.systemLog && (systemLog == nullptr || systemLog->Kind() != *options.systemLog)) {
        report.Failed(kUsage, texts::DescribeSystemLogUnavailable(
                                  *options.systemLog == SystemLogKind::Journal, system.System()));
        return kUsage;
    }
    std::optional<RunLog> log;
    if (options.logFile || options.systemLog) {
        log.emplace(options.logFile, options.systemLog ? systemLog : nullptr);
        if (!log->OpenError().empty()) {
            report.Failed(kUsage, log->OpenError());
            return kUsage;
        }
    }
    const int status = UpdateCameras(options, system, loop, report, mounter, makeSystem, log);
    return log && log->Incomplete() ? MoreSevere(status, kLogIncomplete) : status;
}

}  // namespace orvane::cli
