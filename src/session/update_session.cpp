// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The update session's decisions. Every call out to the front comes last in
// a handler: a front may answer from within it, as the test fake does.
#include "session/update_session.h"

#include <algorithm>
#include <utility>

#include "transfer/background_transfer.h"

namespace orvane {

using Clock = std::chrono::steady_clock;

UpdateSession::UpdateSession(SessionFront& front, SystemPort& transferSystem, Setup setup)
    : front_(front),
      transferSystem_(transferSystem),
      setup_(std::move(setup)),
      words_(setup_.rules.front),
      camera_(setup_.camera) {}

UpdateSession::~UpdateSession() {
    *self_ = nullptr;
}

void UpdateSession::Begin() {
    begun_ = front_.Now();
    phase_ = Phase::Looking;
    AskLook();
}

void UpdateSession::AskLook() {
    lookOut_ = true;
    lastLook_ = front_.Now();
    SawLife();
    front_.Look();
}

bool UpdateSession::DeadlinePassed() const {
    return setup_.rules.deadline && front_.Now() >= *setup_.rules.deadline;
}

void UpdateSession::OnSight(const CameraSight& sight) {
    if (phase_ != Phase::Looking || !lookOut_) return;
    lookOut_ = false;
    SawLife();
    if (!sight.camera) {
        // Gone: once back, it is another arrival, whose volume may be mounted.
        if (setup_.mounts != nullptr && camera_) setup_.mounts->Seen(*camera_, {});
        if (!setup_.camera) camera_.reset();
        if (!setup_.rules.waitForCamera) {
            Finish(SessionOutcome::Kind::NoCamera, std::string(texts::kCheckDevice));
            return;
        }
        const unsigned waited =
            setup_.rules.deadline
                ? static_cast<unsigned>(std::chrono::duration_cast<std::chrono::seconds>(
                                            *setup_.rules.deadline - begun_)
                                            .count())
                : 0;
        reason_ = texts::DescribeNoCamera(setup_.settings.hardwareId, waited, sight.nearMisses);
        if (finalLook_ || DeadlinePassed()) {
            Finish(SessionOutcome::Kind::NoCamera, reason_);
            return;
        }
        waiting_ = true;
        const std::string line =
            texts::WaitingForCameraLine(setup_.settings.hardwareId, sight.nearMisses);
        if (line == waitText_) return;
        waitText_ = line;
        front_.Say(SessionNews::Waiting, line);
        return;
    }
    camera_ = *sight.camera;
    const DeviceStorage& storage = sight.storage;
    using State = DeviceStorage::State;
    if (setup_.mounts != nullptr)
        setup_.mounts->Seen(*camera_, storage.state == State::NotMounted ? storage.diskName : "");
    switch (storage.state) {
        case State::Drive: {
            if (storage.drive.empty()) {
                NotReady(std::string(texts::kCheckDevice), false);
                return;
            }
            if (setup_.claims != nullptr) {
                const VolumeClaims::Answer claim =
                    setup_.claims->Claim(*camera_, storage.drive, storage.proven);
                if (claim == VolumeClaims::Answer::Untold) {
                    Finish(SessionOutcome::Kind::CamerasUntold, texts::DescribeCamerasUntold());
                    return;
                }
                if (claim == VolumeClaims::Answer::Taken) {
                    NotReady(std::string(texts::kCheckDevice), false);
                    return;
                }
            }
            StartTransfer(storage.drive);
            return;
        }
        case State::NotMounted: {
            const std::string key = MountMemory::Key(*camera_, storage.diskName);
            const bool mounts =
                setup_.mounter != nullptr && setup_.mounter->Mounts() && setup_.mounts != nullptr;
            if (mounts && !setup_.mounts->Tried(key) && !finalLook_) {
                setup_.mounts->Remember(key, {});
                mountOut_ = storage.diskName;
                mountKey_ = key;
                front_.Say(SessionNews::Mounting, texts::MountingLine(storage.diskName));
                if (mountOut_) front_.Mount(storage.diskName);
                return;
            }
            const std::string* failed = mounts ? setup_.mounts->Failure(key) : nullptr;
            NotReady(failed != nullptr && !failed->empty()
                         ? *failed
                         : texts::DescribeStorage(storage, setup_.system, words_),
                     true);
            return;
        }
        case State::NoMedium:
        case State::NoStorage:
            NotReady(texts::DescribeStorage(storage, setup_.system, words_),
                     front_.Now() - setup_.rules.settlingSince < session_time::kSettleTime);
            return;
        case State::NotAnswering:
            NotReady(texts::DescribeStorage(storage, setup_.system, words_), false);
            return;
    }
}

void UpdateSession::NotReady(const std::string& reason, bool settles) {
    reason_ = reason;
    // Once waiting, the camera is given the whole wait whatever it shows
    // meanwhile; only then is the user told what is missing.
    if (finalLook_ || DeadlinePassed() ||
        (!waiting_ && !settles && !setup_.rules.waitOnEveryState)) {
        Finish(SessionOutcome::Kind::NotReady, reason);
        return;
    }
    waiting_ = true;
    const std::string line = texts::WaitingLine(reason, setup_.system, words_);
    if (line == waitText_) return;
    waitText_ = line;
    front_.Say(SessionNews::Waiting, line);
}

void UpdateSession::OnMounted(const std::variant<MountedVolume, MountFailure>& result) {
    if (phase_ != Phase::Looking || !mountOut_) return;
    const std::string disk = std::move(*mountOut_);
    mountOut_.reset();
    SawLife();
    if (const auto* mounted = std::get_if<MountedVolume>(&result)) {
        front_.Say(SessionNews::Mounted,
                   texts::MountedLine(mounted->device, mounted->mountPoint, words_));
        if (phase_ == Phase::Looking && !lookOut_) AskLook();
        return;
    }
    const MountFailure& failure = std::get<MountFailure>(result);
    std::string why = texts::DescribeMountFailure(failure, disk, setup_.system, words_);
    if (failure.kind == MountFailure::Kind::Stopped) {
        Finish(SessionOutcome::Kind::Stopped, why);
        return;
    }
    if (setup_.mounts != nullptr) setup_.mounts->Remember(mountKey_, why);
    // A person who pressed "UpDate" is told at once; the command line keeps
    // waiting, in case the volume is mounted by other means.
    if (!setup_.rules.waitOnEveryState || finalLook_ || DeadlinePassed()) {
        Finish(SessionOutcome::Kind::NotReady, why);
        return;
    }
    NotReady(why, true);
}

void UpdateSession::OnDeviceChange() {
    if (phase_ == Phase::Looking && !Asking()) AskLook();
}

Clock::time_point UpdateSession::NextTick() const {
    const Clock::time_point now = front_.Now();
    if (phase_ != Phase::Looking || Asking()) return now + session_time::kTick;
    Clock::time_point next = lastLook_ + setup_.rules.lookInterval;
    if (setup_.rules.deadline) next = std::min(next, *setup_.rules.deadline);
    return std::max(next, now);
}

void UpdateSession::Tick() {
    const Clock::time_point now = front_.Now();
    if (phase_ == Phase::Looking) {
        if (Asking()) {
            // A look past the wait's end, a question still out is given up
            // on: a mount may be waiting for the user to authorise it, else
            // the camera itself does not answer.
            if (setup_.rules.deadline &&
                now >= *setup_.rules.deadline + setup_.rules.lookInterval) {
                lookOut_ = false;
                if (mountOut_) {
                    DeviceStorage unmounted{DeviceStorage::State::NotMounted, {}, *mountOut_};
                    mountOut_.reset();
                    Finish(SessionOutcome::Kind::NotReady,
                           texts::DescribeStorage(unmounted, setup_.system, words_));
                    return;
                }
                Finish(SessionOutcome::Kind::NotReady, texts::DescribeNotAnswering(words_));
                return;
            }
            // The system, not the camera, has a mount: it may be asking the user.
            if (!mountOut_) WatchSilence(texts::Silence::Looking);
            return;
        }
        if (DeadlinePassed()) {
            finalLook_ = true;
            AskLook();
            return;
        }
        if (now - lastLook_ >= setup_.rules.lookInterval) AskLook();
        return;
    }
    if (phase_ != Phase::Transferring) return;
    const unsigned activity = transfer_->Activity();
    if (activity != seenActivity_) {
        seenActivity_ = activity;
        SawLife();
    }
    // A worker still coming back from the camera is on its way to the stop:
    // only one that stays silent is left behind.
    if (stopTaken_ && now - std::max(lastLife_, stoppedAt_) >= session_time::kStopGrace &&
        transfer_->Abandon(false)) {
        Finish(SessionOutcome::Kind::LeftBehind, texts::DescribeLeftBehind(false, words_));
        return;
    }
    WatchSilence(Where());
}

texts::Silence UpdateSession::Where() const {
    if (phase_ == Phase::Looking) return texts::Silence::Looking;
    if (!transfer_->Replacing()) return texts::Silence::Writing;
    return stopAsked_ ? texts::Silence::Leaving : texts::Silence::Replacing;
}

void UpdateSession::WatchSilence(texts::Silence where) {
    if (silent_ || front_.Now() - lastLife_ < session_time::kSilence) return;
    silent_ = true;
    front_.Say(SessionNews::Silent, texts::NotAnsweringLine(where, setup_.system, words_));
}

void UpdateSession::SawLife() {
    lastLife_ = front_.Now();
    if (!silent_) return;
    silent_ = false;
    front_.Say(SessionNews::Answering, texts::AnswersAgainLine(words_));
}

void UpdateSession::Stop(StopBy by) {
    if (phase_ == Phase::Idle || phase_ == Phase::Over) return;
    if (phase_ == Phase::Looking) {
        Finish(SessionOutcome::Kind::Stopped, texts::DescribeStoppedWaiting(words_));
        return;
    }
    if (!stopAsked_) {
        stopAsked_ = true;
        stoppedAt_ = front_.Now();
        // Ignored by the transfer once the replacements have begun: the
        // camera never holds a mixed set.
        stopTaken_ = transfer_->RequestStop();
        front_.Say(SessionNews::Stopping, texts::StoppingLine(words_));
        if (!stopTaken_ && silent_ && phase_ == Phase::Transferring)
            front_.Say(SessionNews::Silent,
                       texts::NotAnsweringLine(Where(), setup_.system, words_));
        return;
    }
    // The new files are taking the old ones' places and all of them will,
    // unless the camera stopped answering and the user insists; no request
    // of the system's, however many, cuts a replacement that still answers.
    if (by == StopBy::User && !stopTaken_ && silent_ && transfer_->Abandon(true))
        Finish(SessionOutcome::Kind::LeftBehind, texts::DescribeLeftBehind(true, words_));
}

void UpdateSession::EndWaiting(bool stopped) {
    if (phase_ != Phase::Looking) return;
    lookOut_ = false;
    mountOut_.reset();
    if (stopped) {
        Finish(SessionOutcome::Kind::Stopped,
               texts::DescribeNotStarted(camera_ ? camera_->instance : std::string()));
        return;
    }
    Finish(camera_ ? SessionOutcome::Kind::NotReady : SessionOutcome::Kind::NoCamera, reason_);
}

void UpdateSession::StartTransfer(const std::string& drive) {
    std::variant<TransferRequest, std::string> request = front_.Request(drive);
    if (const auto* why = std::get_if<std::string>(&request)) {
        Finish(SessionOutcome::Kind::NotStarted, *why);
        return;
    }
    phase_ = Phase::Transferring;
    volume_ = drive;
    started_ = front_.Now();
    SawLife();
    seenActivity_ = 0;
    std::weak_ptr<UpdateSession*> self = self_;
    transfer_ = setup_.makeTransfer(
        transferSystem_, std::move(std::get<TransferRequest>(request)),
        [self](const TransferProgress& progress) {
            if (auto session = self.lock(); session && *session)
                (*session)->OnTransferProgress(progress);
        },
        [self](const std::optional<TransferFailure>& failure) {
            if (auto session = self.lock(); session && *session)
                (*session)->OnTransferDone(failure);
        });
    front_.Started(*camera_, drive);
    // The transfer keeps itself alive while it runs; a front without a thread
    // may run it, and end the session, before this returns.
    std::shared_ptr<RunningTransfer> transfer = transfer_;
    transfer->Start();
}

void UpdateSession::OnTransferProgress(const TransferProgress& progress) {
    if (phase_ != Phase::Transferring) return;
    SawLife();
    front_.Progress(progress);
}

void UpdateSession::OnTransferDone(const std::optional<TransferFailure>& failure) {
    if (phase_ != Phase::Transferring) return;
    if (!failure) {
        Finish(SessionOutcome::Kind::Updated, {});
        return;
    }
    if (failure->step == TransferStep::Stopped) {
        Finish(SessionOutcome::Kind::Stopped,
               words_ == texts::Front::Dialog
                   ? std::string()
                   : texts::DescribeTransferFailure(*failure, setup_.system, words_),
               failure);
        return;
    }
    Finish(SessionOutcome::Kind::TransferFailed,
           texts::DescribeTransferFailure(*failure, setup_.system, words_), failure);
}

void UpdateSession::Finish(SessionOutcome::Kind kind, std::string message,
                           std::optional<TransferFailure> failure) {
    const bool transferred = phase_ == Phase::Transferring;
    phase_ = Phase::Over;
    silent_ = false;
    SessionOutcome outcome;
    outcome.kind = kind;
    // One camera of several is named in what keeps it from its update.
    using Kind = SessionOutcome::Kind;
    if (setup_.camera &&
        (kind == Kind::NotReady || kind == Kind::NoCamera || kind == Kind::CamerasUntold))
        message = texts::AboutCamera(setup_.camera->instance, message);
    outcome.message = std::move(message);
    outcome.failure = std::move(failure);
    outcome.camera = camera_;
    outcome.volume = volume_;
    outcome.stopAsked = stopAsked_;
    if (transferred) {
        outcome.seconds = std::chrono::duration<double>(front_.Now() - started_).count();
        outcome.files = transfer_->CheckedFiles();
    }
    front_.Over(outcome);
}

// ---- Mount memory ----------------------------------------------------------

std::string MountMemory::Key(const UsbDevice& camera, const std::string& disk) {
    return camera.instance + '\n' + camera.arrival + '\n' + disk;
}

bool MountMemory::Tried(const std::string& key) const {
    return Failure(key) != nullptr;
}

const std::string* MountMemory::Failure(const std::string& key) const {
    for (const auto& [tried, failure] : tried_) {
        if (tried == key) return &failure;
    }
    return nullptr;
}

void MountMemory::Remember(const std::string& key, std::string failure) {
    for (auto& [tried, why] : tried_) {
        if (tried != key) continue;
        why = std::move(failure);
        return;
    }
    tried_.emplace_back(key, std::move(failure));
}

void MountMemory::Seen(const UsbDevice& camera, const std::string& unmountedDisk) {
    const std::string prefix = camera.instance + '\n';
    const std::string keep = Key(camera, unmountedDisk);
    // Another disk of this camera, or an earlier arrival of the device (a
    // camera plugged in again is another), may be mounted again.
    std::erase_if(tried_, [&](const auto& entry) {
        return entry.first.starts_with(prefix) && entry.first != keep;
    });
}

// ---- The transfer on the system's worker -------------------------------------

namespace {

class Background : public RunningTransfer {
  public:
    explicit Background(std::shared_ptr<BackgroundTransfer> transfer)
        : transfer_(std::move(transfer)) {}
    void Start() override { transfer_->Start(); }
    bool RequestStop() override { return transfer_->RequestStop(); }
    bool Replacing() const override { return transfer_->Replacing(); }
    unsigned Activity() const override { return transfer_->Activity(); }
    bool Abandon(bool evenReplacing) override { return transfer_->Abandon(evenReplacing); }
    std::vector<CheckedFile> CheckedFiles() const override { return transfer_->CheckedFiles(); }

  private:
    std::shared_ptr<BackgroundTransfer> transfer_;
};

}  // namespace

TransferMaker BackgroundTransfers() {
    return [](SystemPort& system, TransferRequest request,
              std::function<void(const TransferProgress&)> onProgress,
              std::function<void(const std::optional<TransferFailure>&)> onDone)
               -> std::shared_ptr<RunningTransfer> {
        return std::make_shared<Background>(std::make_shared<BackgroundTransfer>(
            system, std::move(request), std::move(onProgress), std::move(onDone)));
    };
}

}  // namespace orvane
