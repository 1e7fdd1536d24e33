// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// One update from the command line, over the same settings reader, camera
// scan, drive choice and transfer as the dialog.
#include "cli/cli_run.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include "cli/cli_log.h"
#include "cli/volume_mounter.h"
#include "device/camera_scan.h"
#include "device/device_storage.h"
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

// Far above any real FirmWare.ini.
constexpr std::uint64_t kSettingsLimit = 64 * 1024;

std::variant<UpdateSettings, Failure> LoadSettings(SystemPort& system, const std::string& path) {
    // The reader takes a missing file for missing values; say which it is.
    if (system.IsFolder(path))
        return Failure{kBadSettings, "The settings file " + path + " is a folder, not a file."};
    Result<std::unique_ptr<ReadableFile>> file = system.OpenForRead(path, ReadCaching::Normal);
    if (!file.ok())
        return Failure{kBadSettings, "The settings file " + path + " could not be read. " +
                                         texts::DescribeSystemError(file.error(), false)};
    if (file.value()->Size() > kSettingsLimit)
        return Failure{kBadSettings, "The settings file " + path + " is larger than " +
                                         std::to_string(kSettingsLimit / 1024) +
                                         " KiB: it is not a FirmWare.ini."};
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
    std::string disk;      // tried since it arrived
    std::string failure;   // why it failed
    bool stopped = false;  // a stop came while the system mounted it
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
        const auto& failure = std::get<MountFailure>(mounted);
        attempt.failure = DescribeMountFailure(failure, sight.unmounted);
        attempt.stopped = failure.kind == MountFailure::Kind::Stopped;
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
        if (mounter != nullptr && mounter->Mounts() && MountOnce(*mounter, report, attempt, sight))
            continue;
        if (attempt.stopped) return Failure{kStopped, attempt.failure};
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

// How often a running transfer is looked at: whether its camera still
// answers, and after a stop, whether to give it up.
constexpr milliseconds kWatchInterval{250};
// A camera that made no step for this long is said not to answer.
constexpr std::chrono::seconds kSilence{2};
// After a stop, how long a transfer may take to come back before the run
// ends without it (where its replacements have not begun): with the watch's
// tick, within a second of the stop.
constexpr milliseconds kStopGrace{750};

constexpr const char* kCamerasUntoldText =
    "Several cameras are connected, but this system does not say which drive is whose, so "
    "--all cannot tell where each camera's files go.\nConnect one camera at a time and run "
    "orvane-cli again (--all then updates it as a run for one camera does).\nNothing was "
    "written.";
constexpr const char* kGivenUp =
    "Stopped: the camera does not answer, so orvane-cli ends without waiting for it. Its "
    "old files were not replaced; a temporary file may be left on it, which the next run "
    "removes.";

// Keeps an eye on one running transfer.
struct Watch {
    explicit Watch(std::chrono::steady_clock::time_point now) : moved(now) {}

    // Says when the camera stops answering, and when it answers again.
    void Look(const BackgroundTransfer& transfer, std::chrono::steady_clock::time_point now,
              Reporter& report, std::string_view volume) {
        const unsigned seen = transfer.Activity();
        if (seen != steps) {
            steps = seen;
            moved = now;
            if (silent) report.Notice(Named(volume, "The camera answers again."));
            silent = false;
        } else if (!silent && now - moved >= kSilence) {
            silent = true;
            report.Warning(Named(volume,
                                 "The camera is not answering: nothing has moved for 2 seconds. "
                                 "Waiting for it; Ctrl-C stops the update and leaves its old "
                                 "files."));
        }
    }
    // After a stop, whether the run ends without the transfer now.
    void Stop(std::chrono::steady_clock::time_point now) {
        if (!stopped) stoppedAt = now;
        stopped = true;
    }
    bool GiveUp(BackgroundTransfer& transfer, std::chrono::steady_clock::time_point now) {
        return stopped && now - stoppedAt >= kStopGrace && transfer.Abandon();
    }

    static std::string Named(std::string_view volume, std::string_view text) {
        return volume.empty() ? std::string(text) : std::string(volume) + ": " + std::string(text);
    }

    unsigned steps = 0;
    std::chrono::steady_clock::time_point moved;
    // A flag and a time rather than an optional time: GCC 12 at -O3 takes
    // the optional's value for uninitialised (a false -Wmaybe-uninitialized).
    bool stopped = false;
    std::chrono::steady_clock::time_point stoppedAt;
    bool silent = false;
};

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
    Watch watch(loop.Now());
    while (!over) {
        if (loop.StopRequested() && !stopping) {
            // Ignored by the transfer once the replacements have begun: the
            // camera never holds a mixed set.
            transfer->RequestStop();
            stopping = true;
            watch.Stop(loop.Now());
            report.Notice(
                "Stopping: the camera keeps its old files, unless their replacement has "
                "begun, which then finishes first.");
        }
        if (watch.GiveUp(*transfer, loop.Now())) {
            outcome.status = kStopped;
            outcome.message = kGivenUp;
            break;
        }
        watch.Look(*transfer, loop.Now(), report, {});
        loop.Wait(kWatchInterval);
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
// is said, but leaves the update a success. What the log keeps of it: the
// warning, or nothing.
std::string Eject(VolumeMounter& mounter, Reporter& report, const std::string& volume,
                  const std::string& device) {
    const EjectResult result = mounter.Eject(volume, device);
    std::string text = DescribeEject(result, volume);
    if (!result.failure) {
        report.Notice(text);
        return {};
    }
    report.Warning(text);
    return text;
}

// Tells what became of one camera, logs it, and ejects it after a success
// where asked; a stop before any camera was found leaves no log line.
void Conclude(const Options& options, const SystemPort& system, Reporter& report,
              VolumeMounter* mounter, std::optional<RunLog>& log, const std::string& hardwareId,
              const CameraOutcome& outcome) {
    const std::string volume = VolumeName(system, outcome.volume);
    const CameraFacts facts{hardwareId, outcome.camera ? outcome.camera->serial : std::string(),
                            volume};
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
            warning = "This orvane-cli cannot eject the camera: unmount " + volume +
                      " yourself before you unplug it.";
            report.Warning(warning);
        }
    }
    if (log && (outcome.camera || outcome.status != kStopped)) {
        // A bench that loses its record must know at once, not at the end.
        if (std::optional<std::string> failed = log->Write(
                LogEntry{std::chrono::system_clock::now(), hardwareId, facts.serial, volume,
                         outcome.bytes, outcome.seconds, outcome.status, outcome.message, warning}))
            report.Warning(
                "The log " + options.logFile.value_or("") + " could not be written (" + *failed +
                "): it has no line for " +
                (volume.empty() ? std::string("this camera") : "the camera at " + volume) + ".");
    }
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
    Watch watch{std::chrono::steady_clock::time_point{}};
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
    int worst = kSuccess;
    auto record = [&](const CameraOutcome& outcome) {
        worst = MoreSevere(worst, outcome.status);
        Conclude(options, system, report, mounter, log, settings.hardwareId, outcome);
    };

    std::vector<std::unique_ptr<Running>> cameras;
    bool anyStarted = false;
    auto start = [&](UsbDevice camera, std::string volume) {
        anyStarted = true;
        auto& one = *cameras.emplace_back(std::make_unique<Running>());
        one.camera = std::move(camera);
        one.volume = std::move(volume);
        one.system = makeSystem();
        one.start = loop.Now();
        one.watch = Watch(one.start);
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
    // A camera is one connection of a device, not the port it is on: a new
    // one in the same port (another arrival) is another camera, and may get
    // the volume name a finished one had.
    auto sameCamera = [](const UsbDevice& a, const UsbDevice& b) {
        return !a.instance.empty() && a.instance == b.instance && a.arrival == b.arrival;
    };
    auto started = [&](const UsbDevice& camera, const std::string& volume) {
        return std::any_of(cameras.begin(), cameras.end(), [&](const auto& one) {
            return (!one->over && one->volume == volume) || sameCamera(one->camera, camera);
        });
    };
    // A finished camera that has gone leaves the list, so that whatever comes
    // next in its place is new.
    auto forgetDeparted = [&](const std::vector<UsbDevice>& present) {
        std::erase_if(cameras, [&](const auto& one) {
            return one->over && std::none_of(present.begin(), present.end(), [&](const auto& c) {
                       return sameCamera(one->camera, c);
                   });
        });
    };

    const auto begun = loop.Now();
    std::optional<std::chrono::steady_clock::time_point> deadline;
    if (options.waitSeconds) deadline = begun + std::chrono::seconds(*options.waitSeconds);
    std::string shown;
    bool stopping = false;
    // The cameras seen without a volume to write to, and why.
    struct Waiting {
        UsbDevice camera;
        std::string why;
    };
    std::map<std::string, Waiting> unready;
    // Each unmounted disk is mounted once while it stays; why that failed,
    // where it did.
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
            std::vector<UsbDevice> present = FindCameras(system, settings.hardwareId);
            forgetDeparted(present);
            // Where no drive relates to any device, each camera would take
            // the same last drive: one camera alone is updated as a run for
            // one is, several are refused before anything is written.
            if (!anyStarted && present.size() > 1) {
                const Result<StorageLayout> layout = system.StorageLayoutOfDrives();
                if (!layout.ok() || !RelatesDrivesToDevices(layout.value())) {
                    for (const UsbDevice& camera : present)
                        record(CameraOutcome{
                            kCamerasUntold,
                            "A camera at " + camera.instance + ": " + kCamerasUntoldText,
                            camera,
                            {},
                            0,
                            0});
                    return kCamerasUntold;
                }
            }
            // A disk that went away is mounted again when it comes back
            // (re-plugged, or another camera given its name).
            std::set<std::string> unmounted;
            for (const UsbDevice& camera : present) {
                const DeviceStorage storage =
                    ResolveCameraStorage(system, camera.instance, settings.destPath);
                if (storage.state == DeviceStorage::State::NotMounted)
                    unmounted.insert(storage.diskName);
            }
            std::erase_if(mounts,
                          [&](const auto& tried) { return !unmounted.contains(tried.first); });
            for (UsbDevice& camera : present) {
                if (started(camera, {})) continue;
                const DeviceStorage storage =
                    ResolveCameraStorage(system, camera.instance, settings.destPath);
                std::string why = WhyNotReady(storage, system.System());
                if (why.empty() && !started(camera, storage.drive)) {
                    start(std::move(camera), storage.drive);
                    continue;
                }
                if (storage.state == DeviceStorage::State::NotMounted && mounter != nullptr &&
                    mounter->Mounts()) {
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
                std::string instance = camera.instance;
                unready[instance] = Waiting{std::move(camera), std::move(why)};
            }
        }
        if (mounted) continue;  // look again at once
        const auto now = loop.Now();
        for (const auto& one : cameras) {
            if (one->over) continue;
            if (stopping) one->watch.Stop(now);
            if (one->watch.GiveUp(*one->transfer, now)) {
                one->over = true;
                // Its worker may still be in the call that never returned,
                // on this system: left to the process's end, not joined.
                static_cast<void>(one->system.release());
                record(CameraOutcome{kStopped, kGivenUp, one->camera, one->volume, one->bytes,
                                     std::chrono::duration<double>(now - one->start).count()});
                continue;
            }
            one->watch.Look(*one->transfer, now, report, one->volume);
        }
        const bool busy =
            std::any_of(cameras.begin(), cameras.end(), [](const auto& one) { return !one->over; });
        const bool timedOut = deadline && now >= *deadline;
        if (!busy && (stopping || anyStarted || timedOut)) {
            // Every camera seen gets its outcome and its log line: one never
            // started is said to be so, with what kept it.
            for (auto& [instance, waiting] : unready) {
                CameraOutcome outcome{kNoCamera,
                                      "A camera at " + instance + ": " + waiting.why,
                                      waiting.camera,
                                      {},
                                      0,
                                      0};
                if (stopping) {
                    outcome.status = kStopped;
                    outcome.message = "A camera at " + instance +
                                      " was not started: the run was stopped first. Nothing "
                                      "was written to it.";
                }
                record(outcome);
            }
            if (!anyStarted && unready.empty()) {
                if (stopping)
                    record(
                        CameraOutcome{kStopped,
                                      "Stopped while waiting for the camera. Nothing was written.",
                                      {},
                                      {},
                                      0,
                                      0});
                else
                    record(CameraOutcome{
                        kNoCamera,
                        LookForCamera(system, settings, options.waitSeconds.value_or(0)).failure,
                        {},
                        {},
                        0,
                        0});
            }
            return stopping ? kStopped : worst;
        }
        if (!anyStarted) {
            std::string notice =
                LookForCamera(system, settings, options.waitSeconds.value_or(0)).notice;
            if (!unready.empty())
                notice = texts::WaitingForStorageLine(unready.begin()->second.why);
            if (notice != shown) {
                report.Waiting(notice);
                shown = notice;
            }
        }
        milliseconds timeout = busy ? kWatchInterval : kScanInterval;
        if (deadline && !anyStarted)
            timeout =
                std::min(timeout, std::chrono::duration_cast<milliseconds>(*deadline - loop.Now()) +
                                      milliseconds(1));
        loop.Wait(std::max(timeout, milliseconds(0)));
    }
}

int UpdateCameras(const Options& options, SystemPort& system, EventLoop& loop, Reporter& report,
                  VolumeMounter* mounter, const SystemMaker& makeSystem,
                  std::optional<RunLog>& log);

}  // namespace

int RunUpdate(const Options& options, SystemPort& system, EventLoop& loop, Reporter& report,
              VolumeMounter* mounter, const SystemMaker& makeSystem) {
    auto fail = [&](const Failure& failure) {
        report.Failed(failure.status, failure.message);
        return failure.status;
    };

    // A usage error is refused before anything is read or written.
    if (options.all && !makeSystem) {
        report.Failed(kUsage,
                      "--all is not available here yet: update one camera at a time, or one "
                      "after another with --repeat.");
        return kUsage;
    }
    std::optional<RunLog> log;
    if (options.logFile) {
        log.emplace(*options.logFile);
        if (!log->OpenError().empty()) return fail(Failure{kUsage, log->OpenError()});
    }
    const int status = UpdateCameras(options, system, loop, report, mounter, makeSystem, log);
    return log && log->Incomplete() ? MoreSevere(status, kLogIncomplete) : status;
}

namespace {

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

    int worst = kSuccess;
    bool anyCamera = false;
    for (;;) {
        CameraOutcome outcome =
            UpdateOneCamera(options, system, loop, report, settings, where.base, mounter);
        if (!outcome.camera && options.repeat && anyCamera) {
            // The wait for the next camera ended: --wait, or a stop, which
            // a calling script must see as one.
            if (outcome.status == kNoCamera) report.Waiting(outcome.message);
            return outcome.status == kStopped ? kStopped : worst;
        }
        Conclude(options, system, report, mounter, log, settings.hardwareId, outcome);
        if (!options.repeat || !outcome.camera || outcome.status == kStopped) return outcome.status;
        anyCamera = true;
        worst = MoreSevere(worst, outcome.status);
        if (!WaitForDeparture(system, loop, report, *outcome.camera, settings.hardwareId))
            return kStopped;
    }
}

}  // namespace

}  // namespace orvane::cli
