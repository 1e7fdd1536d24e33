// One update from the command line, over the same settings reader, camera
// scan, drive choice and transfer as the dialog.
#include "cli/cli_run.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>

#include "cli/cli_log.h"
#include "cli/volume_mounter.h"
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
    std::string unmounted;             // the camera's disk, with no volume mounted
    std::string notice;
    std::string failure;
};

// Why a camera's storage cannot be written to yet; empty when it can.
std::string WhyNotReady(const DeviceStorage& storage, HostSystem system) {
    using State = DeviceStorage::State;
    const auto front = texts::Front::CommandLine;
    switch (storage.state) {
        case State::Drive:
            return storage.drive.empty() ? std::string(texts::kCheckDevice) : std::string();
        case State::NotMounted:
            return texts::DescribeDriveNotMounted(storage.diskName, system, front);
        case State::NoMedium:
            return texts::DescribeNoCard(front);
        case State::NoStorage:
            return texts::DescribeNoStorage(front);
        case State::NotAnswering:
            return texts::DescribeNotAnswering(front);
    }
    return std::string(texts::kCheckDevice);
}

Sight LookForCamera(SystemPort& system, const UpdateSettings& settings, unsigned waited) {
    Sight sight;
    const std::optional<UsbDevice> camera = FindCamera(system, settings.hardwareId);
    if (camera) {
        const DeviceStorage storage =
            ResolveCameraStorage(system, camera->instance, settings.destPath);
        sight.failure = WhyNotReady(storage, system.System());
        if (sight.failure.empty()) {
            sight.camera = camera;
            sight.drive = storage.drive;
            return sight;
        }
        if (storage.state == DeviceStorage::State::NotMounted) sight.unmounted = storage.diskName;
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

// Mounts the camera's disk the first time it is seen without a volume;
// whether it was mounted. Once it failed, the sight says why until the disk
// goes away (an unplug, or the card taken out) and comes back.
struct MountAttempt {
    std::string disk;     // tried since it arrived
    std::string failure;  // why it failed
};

bool MountOnce(VolumeMounter& mounter, Reporter& report, MountAttempt& attempt, Sight& sight) {
    if (sight.unmounted.empty()) {
        attempt = {};
        return false;
    }
    if (sight.unmounted != attempt.disk) {
        attempt = {sight.unmounted, {}};
        auto mounted = mounter.Mount(sight.unmounted);
        if (const auto* volume = std::get_if<MountedVolume>(&mounted)) {
            report.Notice("Mounted " + volume->device + " at " + volume->mountPoint +
                          " through UDisks2.");
            return true;
        }
        attempt.failure = DescribeMountFailure(std::get<MountFailure>(mounted), sight.unmounted);
    }
    if (!attempt.failure.empty()) {
        sight.failure = attempt.failure;
        sight.notice = texts::WaitingForStorageLine(sight.failure);
    }
    return false;
}

std::variant<Ready, Failure> WaitForCamera(const Options& options, SystemPort& system,
                                           EventLoop& loop, Reporter& report,
                                           const UpdateSettings& settings, VolumeMounter* mounter) {
    const auto start = loop.Now();
    std::optional<std::chrono::steady_clock::time_point> deadline;
    if (options.waitSeconds) deadline = start + std::chrono::seconds(*options.waitSeconds);
    std::string shown;
    MountAttempt attempt;
    for (;;) {
        if (loop.StopRequested())
            return Failure{kStopped, "Stopped while waiting for the camera. Nothing was written."};
        const unsigned waited = options.waitSeconds.value_or(0);
        Sight sight = LookForCamera(system, settings, waited);
        if (sight.drive) return Ready{std::move(*sight.camera), std::move(*sight.drive)};
        if (mounter != nullptr && MountOnce(*mounter, report, attempt, sight)) continue;
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
                              const std::string& base, VolumeMounter* mounter) {
    CameraOutcome outcome;
    std::variant<Ready, Failure> found =
        WaitForCamera(options, system, loop, report, settings, mounter);
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

// Unmounts the updated camera's volume and powers the camera off; a failure
// is said, but leaves the update a success.
void Eject(VolumeMounter& mounter, Reporter& report, const std::string& volume) {
    const EjectResult result = mounter.Eject(volume);
    const std::string text = DescribeEject(result, volume);
    if (result.failure)
        report.Warning(text);
    else
        report.Notice(text);
}

// Tells what became of one camera, ejects it after a success where asked,
// and logs it; a stop before any camera was found leaves no log line.
void Conclude(const Options& options, const SystemPort& system, Reporter& report,
              VolumeMounter* mounter, std::optional<RunLog>& log, const std::string& hardwareId,
              const CameraOutcome& outcome) {
    const std::string volume = VolumeName(system, outcome.volume);
    if (outcome.status == kSuccess) {
        report.Done(volume);
        if (options.eject && mounter != nullptr) Eject(*mounter, report, outcome.volume);
    } else {
        report.Failed(outcome.status, outcome.message, volume);
    }
    if (log && (outcome.camera || outcome.status != kStopped))
        log->Write(LogEntry{std::chrono::system_clock::now(), hardwareId,
                            outcome.camera ? outcome.camera->serial : std::string(), volume,
                            outcome.bytes, outcome.seconds, outcome.status, outcome.message});
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

// One camera of several, from the moment its volume was ready.
struct Running {
    UsbDevice camera;
    std::string volume;
    std::unique_ptr<SystemPort> system;  // outlives the transfer that uses it
    std::shared_ptr<BackgroundTransfer> transfer;
    std::chrono::steady_clock::time_point start;
    std::uint64_t bytes = 0;
    bool over = false;
};

// --all: every matching camera, each on a system of its own, at once. The
// run waits for the first as for one camera; cameras that come while others
// are updated join in. It ends once every started update is over; a camera
// whose volume never got ready by then fails with what kept it.
int UpdateAllCameras(const Options& options, SystemPort& system, EventLoop& loop, Reporter& report,
                     const UpdateSettings& settings, const std::string& base,
                     VolumeMounter* mounter, const SystemMaker& makeSystem,
                     std::optional<RunLog>& log) {
    report.NameEachCamera();
    int last = kSuccess;
    auto record = [&](const CameraOutcome& outcome) {
        if (outcome.status != kSuccess) last = outcome.status;
        Conclude(options, system, report, mounter, log, settings.hardwareId, outcome);
    };

    std::vector<std::unique_ptr<Running>> cameras;
    auto start = [&](UsbDevice camera, std::string volume) {
        auto& one = *cameras.emplace_back(std::make_unique<Running>());
        one.camera = std::move(camera);
        one.volume = std::move(volume);
        one.system = makeSystem();
        one.start = loop.Now();
        report.Found(settings.hardwareId, one.volume);
        TransferRequest request =
            MakeUpdateRequest(*one.system, base, settings.srcPath, one.volume, settings.destPath);
        one.bytes = UpdateBytes(*one.system, request);
        one.transfer = std::make_shared<BackgroundTransfer>(
            *one.system, std::move(request),
            [&](const TransferProgress& progress) {
                const std::chrono::duration<double> elapsed = loop.Now() - one.start;
                report.Progress(progress, elapsed.count(), one.volume);
            },
            [&](const std::optional<TransferFailure>& failure) {
                one.over = true;
                const double seconds =
                    std::chrono::duration<double>(loop.Now() - one.start).count();
                CameraOutcome outcome{kSuccess, {}, one.camera, one.volume, one.bytes, seconds};
                if (failure) {
                    outcome.status = StatusOfFailure(*failure);
                    outcome.message = texts::DescribeTransferFailure(*failure, one.system->System(),
                                                                     texts::Front::CommandLine);
                }
                record(outcome);
            });
        one.transfer->Start();
    };
    auto started = [&](const UsbDevice& camera, const std::string& volume) {
        return std::any_of(cameras.begin(), cameras.end(), [&](const auto& one) {
            return one->volume == volume ||
                   (!camera.instance.empty() && one->camera.instance == camera.instance);
        });
    };

    const auto begun = loop.Now();
    std::optional<std::chrono::steady_clock::time_point> deadline;
    if (options.waitSeconds) deadline = begun + std::chrono::seconds(*options.waitSeconds);
    std::string shown;
    bool stopping = false;
    // The cameras seen without a volume to write to, and why.
    std::map<std::string, std::string> unready;
    // Each unmounted disk is mounted once; why that failed, where it did.
    std::map<std::string, std::string> mounts;
    for (;;) {
        bool mounted = false;
        if (loop.StopRequested() && !stopping) {
            stopping = true;
            bool any = false;
            for (const auto& one : cameras) {
                if (one->over) continue;
                one->transfer->RequestStop();
                any = true;
            }
            if (any)
                report.Notice(
                    "Stopping: each camera keeps its old files, unless their replacement has "
                    "begun, which then finishes first.");
        }
        if (!stopping) {
            unready.clear();
            for (UsbDevice& camera : FindCameras(system, settings.hardwareId)) {
                if (started(camera, {})) continue;
                const DeviceStorage storage =
                    ResolveCameraStorage(system, camera.instance, settings.destPath);
                std::string why = WhyNotReady(storage, system.System());
                if (why.empty() && !started(camera, storage.drive)) {
                    start(std::move(camera), storage.drive);
                    continue;
                }
                if (storage.state == DeviceStorage::State::NotMounted && mounter != nullptr) {
                    auto [tried, first] = mounts.try_emplace(storage.diskName);
                    if (first) {
                        auto result = mounter->Mount(storage.diskName);
                        if (const auto* volume = std::get_if<MountedVolume>(&result)) {
                            report.Notice("Mounted " + volume->device + " at " +
                                          volume->mountPoint + " through UDisks2.");
                            mounted = true;
                            continue;
                        }
                        tried->second =
                            DescribeMountFailure(std::get<MountFailure>(result), storage.diskName);
                    }
                    if (!tried->second.empty()) why = tried->second;
                }
                // A volume already being written belongs to another camera.
                if (why.empty()) why = std::string(texts::kCheckDevice);
                unready[camera.instance] = std::move(why);
            }
        }
        if (mounted) continue;  // look again at once
        const bool busy =
            std::any_of(cameras.begin(), cameras.end(), [](const auto& one) { return !one->over; });
        if (cameras.empty()) {
            if (stopping) {
                report.Failed(kStopped,
                              "Stopped while waiting for the camera. Nothing was written.");
                return kStopped;
            }
            const Sight sight = LookForCamera(system, settings, options.waitSeconds.value_or(0));
            if (deadline && loop.Now() >= *deadline) {
                report.Failed(kNoCamera, sight.failure);
                return kNoCamera;
            }
            if (sight.notice != shown) {
                report.Waiting(sight.notice);
                shown = sight.notice;
            }
        } else if (!busy) {
            for (const auto& [camera, why] : unready)
                record(
                    CameraOutcome{kNoCamera, "A camera at " + camera + ": " + why, {}, {}, 0, 0});
            return last;
        }
        milliseconds timeout = kScanInterval;
        if (deadline && cameras.empty())
            timeout =
                std::min(timeout, std::chrono::duration_cast<milliseconds>(*deadline - loop.Now()) +
                                      milliseconds(1));
        loop.Wait(std::max(timeout, milliseconds(0)));
    }
}

}  // namespace

int RunUpdate(const Options& options, SystemPort& system, EventLoop& loop, Reporter& report,
              VolumeMounter* mounter, const SystemMaker& makeSystem) {
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

    if (options.all) {
        if (!makeSystem)
            return fail(Failure{kUsage,
                                "--all is not available here yet: update one camera at a time, or "
                                "one after another with --repeat."});
        return UpdateAllCameras(options, system, loop, report, settings, where.base, mounter,
                                makeSystem, log);
    }

    int worst = kSuccess;
    bool anyCamera = false;
    for (;;) {
        CameraOutcome outcome =
            UpdateOneCamera(options, system, loop, report, settings, where.base, mounter);
        if (!outcome.camera && options.repeat && anyCamera) {
            // The wait for the next camera ended: Ctrl-C, or --wait.
            if (outcome.status == kNoCamera) report.Waiting(outcome.message);
            return worst;
        }
        Conclude(options, system, report, mounter, log, settings.hardwareId, outcome);
        if (!options.repeat || !outcome.camera || outcome.status == kStopped) return outcome.status;
        anyCamera = true;
        if (outcome.status != kSuccess) worst = outcome.status;
        if (!WaitForDeparture(system, loop, report, *outcome.camera, settings.hardwareId))
            return worst;
    }
}

}  // namespace orvane::cli
