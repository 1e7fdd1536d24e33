// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The command line's outcomes: statuses, events, ejects and log lines.
#include "cli/cli_outcome.h"

#include "texts/command_line_texts.h"
#include "texts/texts.h"
#include "transfer/update_request.h"

namespace orvane::cli {

int StatusOfFailure(const TransferFailure& failure) {
    const bool onCamera =
        failure.step != TransferStep::OpenSource && failure.step != TransferStep::ReadSource;
    switch (failure.step) {
        case TransferStep::Stopped:
            return kStopped;
        case TransferStep::CheckDrive:
            return kDriveRefused;
        case TransferStep::OpenSource:
            return kBadSettings;
        case TransferStep::CheckSpace:
            // Our own check has no system error; a failed reading of the room has one.
            if (failure.error.text.empty() && failure.error.code == 0) return kNoRoom;
            break;
        default:
            break;
    }
    if (failure.outcomeUnknown || (onCamera && StorageUnreachable(failure.error.kind)))
        return kDisconnected;
    if (onCamera && failure.error.kind == ErrorKind::DiskFull) return kNoRoom;
    // A refusal before anything was written is the volume's lock; after a
    // write it is the system giving up on the device.
    if (onCamera && failure.error.kind == ErrorKind::WriteProtected && !failure.driveWasWritable)
        return kDriveRefused;
    return kWriteFailed;
}

CameraOutcome OutcomeOf(const SessionOutcome& outcome, std::uint64_t bytes, bool oneOfSeveral) {
    using Kind = SessionOutcome::Kind;
    CameraOutcome result;
    result.message = outcome.message;
    result.volume = outcome.volume;
    result.bytes = bytes;
    result.seconds = outcome.seconds;
    result.files = outcome.files;
    switch (outcome.kind) {
        case Kind::Updated:
            result.status = kSuccess;
            break;
        case Kind::NoCamera:
        case Kind::NotReady:
            result.status = kNoCamera;
            break;
        case Kind::NotStarted:
            result.status = kBadSettings;
            break;
        case Kind::CamerasUntold:
            result.status = kCamerasUntold;
            break;
        case Kind::TransferFailed:
            result.status = outcome.failure ? StatusOfFailure(*outcome.failure) : kWriteFailed;
            break;
        case Kind::Stopped:
        case Kind::LeftBehind:
            result.status = kStopped;
            break;
    }
    // A camera is named once its update started; one of several is named
    // whatever kept it, since each gets its line.
    result.started = !outcome.volume.empty();
    if (result.started || oneOfSeveral) result.camera = outcome.camera;
    return result;
}

std::string VolumeName(const SystemPort& system, const std::string& drive) {
    if (system.System() == HostSystem::Windows && drive.size() == 1) return drive + ":";
    return drive;
}

namespace {

// Unmounts the updated camera's volume and powers the camera off; a failure
// is said, but leaves the update a success. What the log keeps of it: the
// warning, or nothing.
std::string Eject(VolumeMounter& mounter, Reporter& report, const std::string& volume,
                  const std::string& device) {
    const EjectResult result = mounter.Eject(volume, device);
    std::string text = texts::DescribeEject(result, volume);
    if (!result.failure) {
        report.Notice(text);
        return {};
    }
    report.Warning(text);
    return text;
}

}  // namespace

void Conclude(const Options& options, const SystemPort& system, Reporter& report,
              VolumeMounter* mounter, std::optional<RunLog>& log, const std::string& hardwareId,
              const CameraOutcome& outcome) {
    const std::string volume = VolumeName(system, outcome.volume);
    const CameraFacts facts{hardwareId, outcome.camera ? outcome.camera->serial : std::string(),
                            volume, FactsOfFile(outcome.files, kFirmwareImageName),
                            FactsOfFile(outcome.files, kCommandFileName)};
    if (outcome.status == kSuccess)
        report.Done(facts);
    else
        report.Failed(outcome.status, outcome.message, facts);
    // The eject before the line, so that the line says whether the camera
    // may be unplugged; a stop cuts a waiting eject short, so the line is
    // written all the same.
    std::string warning;
    if (outcome.status == kSuccess && options.eject) {
        if (mounter != nullptr) {
            warning = Eject(*mounter, report, outcome.volume,
                            outcome.camera ? outcome.camera->instance : std::string());
        } else {
            warning = texts::DescribeCannotEject(volume);
            report.Warning(warning);
        }
    }
    if (log && (outcome.camera || outcome.status != kStopped)) {
        // A bench that loses its record must know at once, not at the end.
        for (const std::string& lost :
             log->Write(LogEntry{std::chrono::system_clock::now(), hardwareId, facts.serial, volume,
                                 outcome.bytes, outcome.seconds, outcome.status, outcome.message,
                                 warning, facts.firmware, facts.commands}))
            report.Warning(lost);
    }
}

}  // namespace orvane::cli
