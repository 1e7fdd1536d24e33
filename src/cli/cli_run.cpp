// One update from the command line, over the same settings reader, camera
// scan, drive choice and transfer as the dialog.
#include "cli/cli_run.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "cli/cli_log.h"
#include "device/camera_scan.h"
#include "device/near_miss.h"
#include "settings/settings.h"
#include "transfer/background_transfer.h"
#include "transfer/update_request.h"
#include "ui/texts.h"

namespace orvane::cli {

namespace {

using std::chrono::milliseconds;

struct Failure {
    int status;
    std::string message;
};

// The volume as its user knows it: on Windows a drive letter with its colon.
std::string VolumeName(const SystemPort& system, const std::string& drive) {
    if (system.System() == HostSystem::Windows && drive.size() == 1) return drive + ":";
    return drive;
}

bool IsAbsolute(std::string_view path, HostSystem system) {
    if (system == HostSystem::Linux) return path.starts_with('/');
    return path.starts_with('/') || path.starts_with('\\') || (path.size() >= 2 && path[1] == ':');
}

// Where the settings are, and the folder SrcPath is relative to.
struct SettingsPlace {
    std::string iniPath;
    std::string base;
};

std::variant<SettingsPlace, Failure> LocateSettings(const Options& options, SystemPort& system) {
    Result<std::string> directory = system.CurrentDirectory();
    const bool absolute = options.iniFile && IsAbsolute(*options.iniFile, system.System());
    if (!absolute) {
        if (!directory.ok())
            return Failure{kBadSettings, texts::DescribeCurrentDirectoryFailure(directory.error())};
    }
    if (!options.iniFile) {
        std::string path = SettingsPathIn(system, directory.value());
        if (path.empty())
            return Failure{kBadSettings, texts::DescribeCurrentDirectoryFailure(
                                             SystemError{ErrorKind::TooLong, 0, {}})};
        return SettingsPlace{path, directory.value()};
    }
    // The name is the user's own, in the system's own terms: not a settings
    // fragment with Windows separators.
    const bool onLinux = system.System() == HostSystem::Linux;
    std::string path = *options.iniFile;
    if (!absolute && onLinux)
        path = directory.value() + (directory.value().ends_with('/') ? "" : "/") + path;
    else if (!absolute)
        path = system.JoinPath(directory.value(), "\\" + path);
    const std::size_t slash = path.find_last_of(onLinux ? "/" : "/\\");
    std::string base = path.substr(0, slash == 0 ? 1 : slash);
    return SettingsPlace{path, base};
}

std::variant<UpdateSettings, Failure> LoadSettings(SystemPort& system, const std::string& path) {
    // The reader takes a missing file for missing values; say which it is.
    Result<std::unique_ptr<ReadableFile>> file = system.OpenForRead(path, ReadCaching::Normal);
    if (!file.ok())
        return Failure{kBadSettings, "The settings file " + path + " could not be read. " +
                                         texts::DescribeSystemError(file.error(), false)};
    UpdateSettings settings = ReadUpdateSettings(system, path);
    if (settings.hardwareId == texts::kSettingMissing)
        return Failure{kBadSettings, "The settings file " + path +
                                         " has no PID_VID value in [PID_VID], so no camera "
                                         "can be recognised."};
    if (std::optional<std::string> missing = MissingFolderSettings(settings))
        return Failure{kBadSettings, *missing};
    return settings;
}

// What stands between the camera and its storage now, for the wait's notice
// and, should the wait end, the failure.
struct Sight {
    std::optional<UsbDevice> camera;
    std::optional<std::string> drive;  // the camera's volume, ready
    std::string notice;
    std::string failure;
};

Sight LookForCamera(SystemPort& system, const UpdateSettings& settings, unsigned waited) {
    Sight sight;
    const std::optional<UsbDevice> camera = FindCamera(system, settings.hardwareId);
    if (camera) {
        using State = DeviceStorage::State;
        const DeviceStorage storage =
            ResolveCameraStorage(system, camera->instance, settings.destPath);
        const auto front = texts::Front::CommandLine;
        switch (storage.state) {
            case State::Drive:
                if (!storage.drive.empty()) {
                    sight.camera = camera;
                    sight.drive = storage.drive;
                    return sight;
                }
                sight.failure = std::string(texts::kCheckDevice);
                break;
            case State::NotMounted:
                sight.failure =
                    texts::DescribeDriveNotMounted(storage.diskName, system.System(), front);
                break;
            case State::NoMedium:
                sight.failure = texts::DescribeNoCard(front);
                break;
            case State::NoStorage:
                sight.failure = texts::DescribeNoStorage(front);
                break;
        }
        sight.notice = texts::WaitingForStorageLine(sight.failure);
        return sight;
    }
    std::string misses;
    for (const NearMiss& miss : FindNearMisses(settings.hardwareId, system.PresentUsbDevices())) {
        if (!misses.empty()) misses += "\n";
        misses += texts::DescribeNearMiss(miss, settings.hardwareId);
    }
    sight.failure = texts::DescribeNoCamera(settings.hardwareId, waited);
    if (!misses.empty()) sight.failure += "\n" + misses;
    sight.notice = "Waiting for the camera " + settings.hardwareId + " (Ctrl-C to stop).";
    if (!misses.empty()) sight.notice += "\n" + misses;
    return sight;
}

// The camera and its volume.
struct Ready {
    UsbDevice camera;
    std::string volume;
};

std::variant<Ready, Failure> WaitForCamera(const Options& options, SystemPort& system,
                                           EventLoop& loop, Reporter& report,
                                           const UpdateSettings& settings) {
    const auto start = loop.Now();
    std::optional<std::chrono::steady_clock::time_point> deadline;
    if (options.waitSeconds) deadline = start + std::chrono::seconds(*options.waitSeconds);
    std::string shown;
    for (;;) {
        if (loop.StopRequested())
            return Failure{kStopped, "Stopped while waiting for the camera. Nothing was written."};
        const unsigned waited = options.waitSeconds.value_or(0);
        Sight sight = LookForCamera(system, settings, waited);
        if (sight.drive) return Ready{std::move(*sight.camera), std::move(*sight.drive)};
        const auto now = loop.Now();
        if (deadline && now >= *deadline) return Failure{kNoCamera, sight.failure};
        if (sight.notice != shown) {
            report.Waiting(sight.notice);
            shown = sight.notice;
        }
        milliseconds timeout = kScanInterval;
        if (deadline)
            timeout = std::min(timeout, std::chrono::duration_cast<milliseconds>(*deadline - now) +
                                            milliseconds(1));
        loop.Wait(timeout);
    }
}

}  // namespace

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

namespace {

// What became of one camera.
struct CameraOutcome {
    int status = kSuccess;
    std::string message;              // empty on success
    std::optional<UsbDevice> camera;  // set once a camera was found ready
    std::string volume;
    std::uint64_t bytes = 0;
    double seconds = 0;
};

// The size of the update files, for the log; 0 for one that cannot be opened
// (the transfer then says why).
std::uint64_t UpdateBytes(SystemPort& system, const TransferRequest& request) {
    std::uint64_t bytes = 0;
    for (const std::string& file : request.files) {
        auto opened =
            system.OpenForRead(system.JoinPath(request.sourceFolder, file), ReadCaching::Normal);
        if (opened.ok()) bytes += opened.value()->Size();
    }
    return bytes;
}

CameraOutcome UpdateOneCamera(const Options& options, SystemPort& system, EventLoop& loop,
                              Reporter& report, const UpdateSettings& settings,
                              const std::string& base) {
    CameraOutcome outcome;
    std::variant<Ready, Failure> found = WaitForCamera(options, system, loop, report, settings);
    if (auto* failure = std::get_if<Failure>(&found)) {
        outcome.status = failure->status;
        outcome.message = failure->message;
        return outcome;
    }
    outcome.camera = std::move(std::get<Ready>(found).camera);
    outcome.volume = std::move(std::get<Ready>(found).volume);
    report.Found(settings.hardwareId, VolumeName(system, outcome.volume));

    const auto start = loop.Now();
    bool over = false;
    std::optional<TransferFailure> result;
    TransferRequest request =
        MakeUpdateRequest(system, base, settings.srcPath, outcome.volume, settings.destPath);
    outcome.bytes = UpdateBytes(system, request);
    // The handlers run inside loop.Wait below, on this thread; the done
    // handler is the last task the transfer posts.
    auto transfer = std::make_shared<BackgroundTransfer>(
        system, std::move(request),
        [&](const TransferProgress& progress) {
            const std::chrono::duration<double> elapsed = loop.Now() - start;
            report.Progress(progress, elapsed.count());
        },
        [&](const std::optional<TransferFailure>& failure) {
            result = failure;
            over = true;
        });
    transfer->Start();
    bool stopping = false;
    while (!over) {
        if (loop.StopRequested() && !stopping) {
            // Ignored by the transfer once the replacements have begun: the
            // camera never holds a mixed set.
            transfer->RequestStop();
            stopping = true;
            report.Notice(
                "Stopping: the camera keeps its old files, unless their replacement has "
                "begun, which then finishes first.");
        }
        loop.Wait(kScanInterval);
    }
    outcome.seconds = std::chrono::duration<double>(loop.Now() - start).count();
    if (result) {
        outcome.status = StatusOfFailure(*result);
        outcome.message =
            texts::DescribeTransferFailure(*result, system.System(), texts::Front::CommandLine);
    }
    return outcome;
}

// Waits until `camera` has been unplugged; false when a stop came first.
bool WaitForDeparture(SystemPort& system, EventLoop& loop, Reporter& report,
                      const UsbDevice& camera, const std::string& hardwareId) {
    report.Waiting("Unplug the camera to go on with the next one (Ctrl-C to end).");
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
                stays = stays || device.instance == camera.instance;
        }
        if (!stays) return true;
        loop.Wait(kScanInterval);
    }
}

}  // namespace

int RunUpdate(const Options& options, SystemPort& system, EventLoop& loop, Reporter& report) {
    auto fail = [&](const Failure& failure) {
        report.Failed(failure.status, failure.message);
        return failure.status;
    };

    std::optional<RunLog> log;
    if (options.logFile) {
        log.emplace(*options.logFile);
        if (!log->ok())
            return fail(
                Failure{kUsage, "The log " + *options.logFile + " cannot be opened for writing."});
    }

    std::variant<SettingsPlace, Failure> place = LocateSettings(options, system);
    if (auto* failure = std::get_if<Failure>(&place)) return fail(*failure);
    const SettingsPlace& where = std::get<SettingsPlace>(place);
    std::variant<UpdateSettings, Failure> loaded = LoadSettings(system, where.iniPath);
    if (auto* failure = std::get_if<Failure>(&loaded)) return fail(*failure);
    const UpdateSettings& settings = std::get<UpdateSettings>(loaded);

    int worst = kSuccess;
    bool anyCamera = false;
    for (;;) {
        CameraOutcome outcome =
            UpdateOneCamera(options, system, loop, report, settings, where.base);
        if (!outcome.camera && options.repeat && anyCamera) {
            // The wait for the next camera ended: Ctrl-C, or --wait.
            if (outcome.status == kNoCamera) report.Waiting(outcome.message);
            return worst;
        }
        if (outcome.status == kSuccess)
            report.Done(VolumeName(system, outcome.volume));
        else
            report.Failed(outcome.status, outcome.message);
        if (log && (outcome.camera || outcome.status != kStopped)) {
            log->Write(LogEntry{std::chrono::system_clock::now(), settings.hardwareId,
                                outcome.camera ? outcome.camera->serial : std::string(),
                                VolumeName(system, outcome.volume), outcome.bytes, outcome.seconds,
                                outcome.status, outcome.message});
        }
        if (!options.repeat || !outcome.camera || outcome.status == kStopped) return outcome.status;
        anyCamera = true;
        if (outcome.status != kSuccess) worst = outcome.status;
        if (!WaitForDeparture(system, loop, report, *outcome.camera, settings.hardwareId))
            return worst;
    }
}

}  // namespace orvane::cli
