// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// One camera's update as both programs run it: the look for its storage, the
// waits and the mount, the transfer, its silences and its stop, decided once.
//
// A front (the dialog, the command line, each camera of --all) turns its own
// events into the session's (an answer to a look or a mount, a tick, a device
// event, a stop) and does what the session asks of it through `SessionFront`:
// look, mount, say, show progress, and take the outcome. The session never
// blocks and never calls the system itself, except to start the transfer.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "device/camera_scan.h"
#include "port/system_port.h"
#include "port/volume_mounter.h"
#include "session/session_rules.h"
#include "session/volume_claims.h"
#include "settings/settings.h"
#include "texts/texts.h"
#include "transfer/safe_transfer.h"

namespace orvane {

// The transfer as the session sees it once started: BackgroundTransfer, or a
// scripted one in tests.
class RunningTransfer {
  public:
    virtual ~RunningTransfer() = default;
    virtual void Start() = 0;
    // Stop before the replacements; false once they have begun.
    virtual bool RequestStop() = 0;
    virtual bool Replacing() const = 0;
    // Changes whenever the worker comes back from the camera.
    virtual unsigned Activity() const = 0;
    // Gives the worker up: its result will never be delivered. `evenReplacing`
    // also gives up one whose replacements have begun; without it, false then.
    virtual bool Abandon(bool evenReplacing) = 0;
    // The files whose read-back matched, once the result has come.
    virtual std::vector<CheckedFile> CheckedFiles() const { return {}; }
};

// Starts nothing yet: makes the transfer of `request` on `system`, whose
// progress and result reach the two handlers on the front's thread.
using TransferMaker = std::function<std::shared_ptr<RunningTransfer>(
    SystemPort& system, TransferRequest request,
    std::function<void(const TransferProgress&)> onProgress,
    std::function<void(const std::optional<TransferFailure>&)> onDone)>;
// BackgroundTransfer, on the system's worker thread.
TransferMaker BackgroundTransfers();

// What a session told the user about, besides progress and the outcome.
enum class SessionNews {
    Waiting,    // the camera or its storage is not ready yet; the session waits
    Mounting,   // its volume is being mounted
    Mounted,    // it was
    Silent,     // the camera has not answered for a while
    Answering,  // it answers again (the text may be empty: show what stood before)
    Stopping,   // a stop was taken on
};

// How one camera's update ended.
struct SessionOutcome {
    enum class Kind {
        Updated,         // both files are in place
        NoCamera,        // no such camera is there
        NotReady,        // the camera is there, its storage cannot be written
        NotStarted,      // the front could not form the transfer (the current folder)
        CamerasUntold,   // other cameras too, and the system does not say whose volume is whose
        TransferFailed,  // `failure` says how
        Stopped,         // a stop came first; the worker, if any, came back
        LeftBehind,      // a stop came and the worker did not come back: the process
                         // must end without waiting for it
    };
    Kind kind = Kind::Updated;
    // What the user reads, in the front's words; empty on success and where
    // the front's own way of stopping says enough (the dialog's Cancel).
    std::string message;
    std::optional<TransferFailure> failure;
    std::optional<UsbDevice> camera;  // once a camera was seen
    std::string volume;               // once a transfer started
    // A stop was asked for while the transfer ran, too late to keep the old
    // files: the front leaves once the user has read the outcome.
    bool stopAsked = false;
    // Seconds from the transfer's start to this outcome; 0 without a transfer.
    double seconds = 0;
    // The update files read back whole, with what they hashed to.
    std::vector<CheckedFile> files;
};

// What the session asks of the front. Each request is answered later, never
// from within the call, through the session's On... members.
class SessionFront {
  public:
    virtual ~SessionFront() = default;
    // A clock that never goes back.
    virtual std::chrono::steady_clock::time_point Now() = 0;
    // Look at the camera and its storage; answer with OnSight.
    virtual void Look() = 0;
    // Mount the volume on `disk`; answer with OnMounted.
    virtual void Mount(const std::string& disk) = 0;
    virtual void Say(SessionNews news, const std::string& text) = 0;
    // The transfer to `drive`, from the source folder the front knows of;
    // a text saying why there is none.
    virtual std::variant<TransferRequest, std::string> Request(const std::string& drive) = 0;
    // The transfer to `volume` is about to start on `camera`.
    virtual void Started(const UsbDevice& camera, const std::string& volume) = 0;
    virtual void Progress(const TransferProgress& progress) = 0;
    // The last call of a session.
    virtual void Over(const SessionOutcome& outcome) = 0;
};

// Which disks of which arrival a mount was tried for, and why it failed: a
// disk is mounted once while it stays unmounted, so that a refusal is not
// asked again at every look. Outlives the sessions of one front.
class MountMemory {
  public:
    bool Tried(const std::string& key) const;
    const std::string* Failure(const std::string& key) const;
    void Remember(const std::string& key, std::string failure);
    // A look shows `camera` with `unmountedDisk` (empty: none) unmounted now:
    // every other disk of that camera may be mounted again when it comes back.
    void Seen(const UsbDevice& camera, const std::string& unmountedDisk);
    static std::string Key(const UsbDevice& camera, const std::string& disk);

  private:
    std::vector<std::pair<std::string, std::string>> tried_;
};

// Who asked a stop: the user (Cancel, Ctrl-C) or the system (a log-off, a
// termination signal). Only the user may insist on leaving a camera that
// stopped answering in the middle of its replacements.
enum class StopBy { User, System };

class UpdateSession {
  public:
    struct Setup {
        SessionRules rules;
        UpdateSettings settings;
        HostSystem system = HostSystem::Windows;
        // The one camera of several this session is for, with whom the
        // volume may go to; nothing: the first that matches, alone.
        std::optional<UsbDevice> camera;
        VolumeClaims* claims = nullptr;
        VolumeMounter* mounter = nullptr;
        MountMemory* mounts = nullptr;
        TransferMaker makeTransfer = BackgroundTransfers();
    };

    // `transferSystem` runs the transfer; `front` outlives the session.
    UpdateSession(SessionFront& front, SystemPort& transferSystem, Setup setup);
    ~UpdateSession();
    UpdateSession(const UpdateSession&) = delete;
    UpdateSession& operator=(const UpdateSession&) = delete;

    // Starts with a look.
    void Begin();
    // The answer to the last Look, and to the last Mount.
    void OnSight(const CameraSight& sight);
    void OnMounted(const std::variant<MountedVolume, MountFailure>& result);
    // A USB or disk device came or went: look again now rather than later.
    void OnDeviceChange();
    // Time passes: due looks, silences and stops are acted on. While
    // `WantsTicks`, a front calls it at least every session_time::kTick.
    void Tick();
    void Stop(StopBy by);
    // A run over several cameras ends: a camera still waiting ends with what
    // kept it (`stopped`: the run was stopped before it could start).
    void EndWaiting(bool stopped);

    bool Over() const { return phase_ == Phase::Over; }
    bool Transferring() const { return phase_ == Phase::Transferring; }
    bool Looking() const { return phase_ == Phase::Looking; }
    // A look or a mount is out on the camera.
    bool Asking() const { return lookOut_ || mountOut_.has_value(); }
    bool Silent() const { return silent_; }
    bool WantsTicks() const { return !Over(); }
    // When the next Tick has something to do; a front may sleep until then.
    std::chrono::steady_clock::time_point NextTick() const;
    // The text the user last read on what is missing.
    const std::string& Reason() const { return reason_; }

  private:
    enum class Phase { Idle, Looking, Transferring, Over };

    void AskLook();
    void NotReady(const std::string& reason, bool settles);
    void StartTransfer(const std::string& drive);
    void OnTransferProgress(const TransferProgress& progress);
    void OnTransferDone(const std::optional<TransferFailure>& failure);
    void SawLife();
    void WatchSilence(texts::Silence where);
    texts::Silence Where() const;
    bool DeadlinePassed() const;
    // Ends the session; the front hears of it last.
    void Finish(SessionOutcome::Kind kind, std::string message,
                std::optional<TransferFailure> failure = std::nullopt);

    SessionFront& front_;
    SystemPort& transferSystem_;
    Setup setup_;
    texts::Front words_;
    std::optional<UsbDevice> camera_;

    Phase phase_ = Phase::Idle;
    std::chrono::steady_clock::time_point begun_{};
    // Looking.
    bool lookOut_ = false;
    std::chrono::steady_clock::time_point lastLook_{};
    std::optional<std::string> mountOut_;  // the disk
    std::string mountKey_;
    bool waiting_ = false;    // the user has been told the session waits
    bool finalLook_ = false;  // the wait is over: the answer coming decides
    std::string waitText_;
    std::string reason_;
    // Transferring.
    std::shared_ptr<RunningTransfer> transfer_;
    std::string volume_;
    std::chrono::steady_clock::time_point started_{};
    unsigned seenActivity_ = 0;
    bool stopAsked_ = false;
    bool stopTaken_ = false;  // the old files stay: the worker may be left
    std::chrono::steady_clock::time_point stoppedAt_{};
    // Both.
    std::chrono::steady_clock::time_point lastLife_{};
    bool silent_ = false;
    // Shared with the transfer's handlers, which may outlive the session.
    std::shared_ptr<UpdateSession*> self_ = std::make_shared<UpdateSession*>(this);
};

}  // namespace orvane
