// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The "UpDate" button: from the detection state to the files on the camera.
#include <utility>

#include "device/camera_scan.h"
#include "settings/folder_values.h"
#include "settings/settings.h"
#include "transfer/background_transfer.h"
#include "transfer/update_request.h"
#include "ui/texts.h"
#include "ui/updater_dialog.h"

namespace orvane {

TransferRequest MakeUpdateRequest(SystemPort& system, std::string_view sourceBase,
                                  std::string_view srcPath, std::string_view drive,
                                  std::string_view destPath) {
    TransferRequest request;
    request.drive = drive;
    request.sourceFolder = system.JoinPath(sourceBase, SourceFolderFragment(srcPath));
    request.destinationFolder =
        system.JoinPath(system.DriveRoot(drive), DestinationFolderFragment(destPath));
    request.files = {kFirmwareImageName, kCommandFileName};
    return request;
}

void CUpdaterDialog::OnUpdateClicked() {
    if (m_transfer || m_driveWaitTicks || m_leaveResult) return;
    if (m_deviceFound == 0) {
        // Poll ticks go on while the box is open and may find the camera; the
        // user then presses "UpDate" again.
        m_platform.ShowMessage(texts::kCheckDevice);
        return;
    }
    m_platform.StopTimer(m_timerId);

    // A missing setting is never used as a folder.
    if (std::optional<std::string> missing = MissingFolderSettings()) {
        m_platform.ShowMessage(*missing);
        return;
    }

    // The camera may have been unplugged since it was found, or after a
    // failed press: it must be there now, and its drive is chosen now, when
    // its volume has had time to appear. The question goes to another
    // thread, so that a device that does not answer cannot hold the window;
    // the wait's timer bounds it, and keeps Cancel live.
    m_driveWaitTicks = 0;
    m_waitLineShown = false;
    m_driveWaitTimed = m_platform.ArmTimer(DRIVE_WAIT_TIMER_ID, DRIVE_WAIT_INTERVAL_MS) != 0;
    StartLookup();
}

void CUpdaterDialog::StartLookup() {
    const unsigned lookup = ++m_lookupsMade;
    m_lookup = lookup;
    ++m_lookupsOut;
    m_quietTicks = 0;
    ArmWatch();
    Platform& platform = m_platform;
    const bool mounts = m_platform.MountsVolumes();
    // The dialog outlives every answer: while one is out it ends only
    // through EndProcess (Leave).
    m_platform.RunDeviceQuery([this, &platform, lookup, mounts, hardwareId = m_hardwareId,
                               destPath = m_destPath, mountTried = m_mountTried] {
        CameraSight sight = LookAtCamera(platform, hardwareId, destPath);
        std::optional<VolumeMount> mount;
        // A volume left unmounted is mounted as a file manager would, once
        // per arrival of the camera: a refusal is not asked again and again.
        if (mounts && sight.camera && sight.storage.state == DeviceStorage::State::NotMounted) {
            std::string key = MountKey(*sight.camera, sight.storage.diskName);
            if (key != mountTried) {
                platform.PostToUi([this, lookup, key, disk = sight.storage.diskName] {
                    OnMounting(lookup, key, disk);
                });
                mount = platform.MountVolume(sight.storage.diskName);
                if (*mount == VolumeMount::Mounted)
                    sight = LookAtCamera(platform, hardwareId, destPath);
            }
        }
        platform.PostToUi([this, lookup, mount, sight = std::move(sight)] {
            OnCameraSight(lookup, sight, mount);
        });
    });
}

std::string CUpdaterDialog::MountKey(const UsbDevice& camera, const std::string& diskName) {
    return camera.instance + '\n' + camera.arrival + '\n' + diskName;
}

void CUpdaterDialog::OnMounting(unsigned lookup, const std::string& key, const std::string& disk) {
    m_mountTried = key;
    if (m_lookup != lookup || !m_driveWaitTicks || m_leaveResult) return;
    m_mounting = disk;
    ShowStatus(0, texts::MountingLine(disk));
}

void CUpdaterDialog::OnCameraSight(unsigned lookup, const CameraSight& sight,
                                   std::optional<VolumeMount> mount) {
    --m_lookupsOut;
    const bool awaited = m_lookup == lookup;
    if (awaited) {
        m_lookup.reset();
        if (m_mounting && m_waitLineShown)
            ShowStatus(0, std::string(texts::WaitingForDriveLine(m_platform.System())));
        m_mounting.reset();
    }
    // An answer given up on, or one that comes after Cancel, changes nothing.
    if (!awaited || m_leaveResult) {
        FinishLeaving();
        return;
    }
    Answered();
    StopWatchWhenIdle();
    if (!m_driveWaitTicks) return;
    if (!sight.camera) {
        StopWaitingForDrive();
        ForgetCamera();
        return;
    }
    m_deviceInstance = sight.camera->instance;
    // Once the system has refused to mount the volume, or cannot, there is
    // nothing to wait for: the user is told how to mount it.
    if (mount && *mount != VolumeMount::Mounted && *mount != VolumeMount::NoMounter &&
        sight.storage.state == DeviceStorage::State::NotMounted) {
        StopWaitingForDrive();
        m_platform.ShowMessage(
            texts::DescribeDriveNotMounted(sight.storage.diskName, m_platform.System()));
        return;
    }
    UseCameraStorage(sight.storage);
}

void CUpdaterDialog::ForgetCamera() {
    m_deviceFound = 0;
    m_deviceInstance.clear();
    m_driveLetter.clear();
    ArmPollTimer();  // before the box: its loop delivers the ticks
    m_platform.ShowMessage(texts::kCheckDevice);
}

bool CUpdaterDialog::Waitable(DeviceStorage::State state) const {
    using State = DeviceStorage::State;
    if (state == State::NotMounted) return true;
    // A camera still setting itself up may show no disk or no card yet. One
    // whose disk does not answer is said at once: waiting would only hold
    // the user.
    if (state != State::NoStorage && state != State::NoMedium) return false;
    return m_platform.Now() - m_cameraSeenAt < kSettleTime;
}

void CUpdaterDialog::UseCameraStorage(const DeviceStorage& storage) {
    using State = DeviceStorage::State;
    // Once waiting, the camera is given the whole wait whatever it shows
    // meanwhile; only then does a box say what is missing.
    if (storage.state != State::Drive && m_driveWaitTimed && *m_driveWaitTicks < kDriveWaitTicks &&
        (m_waitLineShown || Waitable(storage.state))) {
        if (!m_waitLineShown) {
            m_waitLineShown = true;
            ShowStatus(0, std::string(texts::WaitingForDriveLine(m_platform.System())));
        }
        return;
    }
    StopWaitingForDrive();

    switch (storage.state) {
        case State::Drive:
            m_driveLetter = storage.drive;
            if (m_driveLetter.empty()) {
                m_platform.ShowMessage(texts::kCheckDevice);
                return;
            }
            StartTransfer();
            return;
        case State::NotMounted:
            m_platform.ShowMessage(
                texts::DescribeDriveNotMounted(storage.diskName, m_platform.System()));
            return;
        case State::NoMedium:
            m_platform.ShowMessage(texts::DescribeNoCard());
            return;
        case State::NoStorage:
            m_platform.ShowMessage(texts::DescribeNoStorage());
            return;
        case State::NotAnswering:
            m_platform.ShowMessage(texts::DescribeNotAnswering());
            return;
    }
}

void CUpdaterDialog::LookForWaitedDrive(bool tick) {
    if (!m_driveWaitTicks) return;
    if (tick) ++*m_driveWaitTicks;
    if (!m_lookup) {
        StartLookup();
        return;
    }
    // The last question is still out: another would only be held by the
    // same device. Past the wait's end, it is given up on.
    if (*m_driveWaitTicks <= kDriveWaitTicks) return;
    m_lookup.reset();
    // A mount still out may be waiting for the user to authorise it: the
    // box says how to mount the volume, the camera itself answered.
    const std::optional<std::string> mounting = m_mounting;
    StopWaitingForDrive();
    StopWatchWhenIdle();
    if (mounting)
        m_platform.ShowMessage(texts::DescribeDriveNotMounted(*mounting, m_platform.System()));
    else
        m_platform.ShowMessage(texts::DescribeNotAnswering());
}

void CUpdaterDialog::StopWaitingForDrive() {
    m_platform.StopTimer(DRIVE_WAIT_TIMER_ID);
    m_driveWaitTicks.reset();
    m_mounting.reset();
    m_silent = false;
    HideStatus();
}

void CUpdaterDialog::StartTransfer() {
    // The current directory is read now, not the one seen at start-up.
    Result<std::string> directory = m_platform.CurrentDirectory();
    if (!directory.ok() || directory.value().size() > kMaxPathChars) {
        SystemError error =
            directory.ok() ? SystemError{ErrorKind::TooLong, 0, {}} : directory.error();
        m_platform.ShowMessage(texts::DescribeCurrentDirectoryFailure(error));
        return;
    }

    TransferRequest request =
        MakeUpdateRequest(m_platform, directory.value(), m_srcPath, m_driveLetter, m_destPath);

    m_leaveAfterTransfer = false;
    ShowStatus(0, texts::ProgressLine(TransferProgress{}));
    // The dialog ends only after the result has reached it, so it outlives
    // every task the transfer posts.
    m_transfer = std::make_shared<BackgroundTransfer>(
        m_platform, std::move(request),
        [this](const TransferProgress& progress) { OnTransferProgress(progress); },
        [this](const std::optional<TransferFailure>& failure) { OnTransferDone(failure); });
    m_seenActivity = 0;
    m_quietTicks = 0;
    ArmWatch();
    std::shared_ptr<BackgroundTransfer> started = m_transfer;
    started->Start();
}

void CUpdaterDialog::OnTransferProgress(const TransferProgress& progress) {
    if (!m_transfer) return;
    Answered();
    ShowStatus(PercentDone(progress), texts::ProgressLine(progress));
}

void CUpdaterDialog::OnTransferDone(const std::optional<TransferFailure>& failure) {
    m_transfer.reset();
    // Whatever Cancel asked for, the transfer came back: its result decides.
    m_leaveResult.reset();
    m_silent = false;
    StopWatchWhenIdle();
    HideStatus();
    const bool leave = m_leaveAfterTransfer;
    m_leaveAfterTransfer = false;
    if (failure && failure->step == TransferStep::Stopped) {
        OnCancel();
        return;
    }
    // A Cancel that came too late to stop the transfer still ends the dialog,
    // after the user has been told what the camera now holds.
    if (failure) {
        m_platform.ShowMessage(texts::DescribeTransferFailure(*failure, m_platform.System()));
        if (leave) OnCancel();
        return;
    }
    m_platform.ShowMessage(texts::kUpdateSuccess);
    OnOK();
}

void CUpdaterDialog::RequestTransferStop() {
    if (m_transfer->RequestStop()) {
        // The camera keeps its old files now, whatever the worker does: it
        // gets a moment to take its temporary files away, and is left behind
        // if the camera does not answer (the next run removes them).
        m_leaveAfterTransfer = true;
        Leave(IDCANCEL);
        return;
    }
    // The new files have begun to take the old ones' places, and all of them
    // will, unless the camera stopped answering and the user insists.
    if (m_silent && m_leaveAfterTransfer) {
        m_platform.EndProcess(IDCANCEL);
        return;
    }
    m_leaveAfterTransfer = true;
    if (m_silent) ShowSilence();
}

// ---- The camera's answers ------------------------------------------------------

void CUpdaterDialog::ArmWatch() {
    if (!m_watching) m_watching = m_platform.ArmTimer(WATCH_TIMER_ID, WATCH_INTERVAL_MS) != 0;
}

void CUpdaterDialog::StopWatchWhenIdle() {
    if (!m_watching || m_lookup || m_transfer || m_leaveResult) return;
    m_platform.StopTimer(WATCH_TIMER_ID);
    m_watching = false;
}

void CUpdaterDialog::OnWatchTick() {
    bool answered = false;
    if (m_transfer) {
        const unsigned activity = m_transfer->Activity();
        answered = activity != m_seenActivity;
        m_seenActivity = activity;
    }
    // A worker still coming back from the camera is on its way to the stop:
    // only one that stays silent is left behind.
    if (m_leaveResult) {
        m_leaveTicks = answered ? 0 : m_leaveTicks + 1;
        if (m_leaveTicks >= kLeaveTicks) {
            m_platform.EndProcess(*m_leaveResult);
            return;
        }
    }
    if (answered) {
        Answered();
        return;
    }
    if (!m_transfer && !m_lookup) return;
    // The system, not the camera, has the mount: it may be asking the user.
    if (m_mounting && !m_transfer) return;
    if (++m_quietTicks < kQuietTicks || m_silent) return;
    m_silent = true;
    ShowSilence();
}

void CUpdaterDialog::ShowStatus(int percent, std::string status) {
    m_shownPercent = percent;
    m_shownStatus = std::move(status);
    if (!m_silent) m_platform.ShowProgress(m_shownPercent, m_shownStatus);
}

void CUpdaterDialog::HideStatus() {
    m_shownPercent = 0;
    m_shownStatus.clear();
    m_platform.HideProgress();
}

void CUpdaterDialog::ShowSilence() {
    using texts::Silence;
    Silence where = Silence::Looking;
    if (m_transfer && !m_transfer->Replacing())
        where = Silence::Writing;
    else if (m_transfer)
        where = m_leaveAfterTransfer ? Silence::Leaving : Silence::Replacing;
    m_platform.ShowProgress(m_shownPercent, texts::NotAnsweringLine(where, m_platform.System()));
}

void CUpdaterDialog::Answered() {
    m_quietTicks = 0;
    if (!m_silent) return;
    m_silent = false;
    if (m_shownStatus.empty())
        m_platform.HideProgress();
    else
        m_platform.ShowProgress(m_shownPercent, m_shownStatus);
}

void CUpdaterDialog::Leave(int result) {
    if (m_lookupsOut == 0 && !m_transfer) {
        m_platform.EndModal(result);
        return;
    }
    m_leaveResult = result;
    m_leaveTicks = 0;
    ArmWatch();
    // Without a timer nothing would end the wait for them.
    if (!m_watching) m_platform.EndProcess(result);
}

void CUpdaterDialog::FinishLeaving() {
    if (!m_leaveResult || m_lookupsOut != 0 || m_transfer) return;
    const int result = *m_leaveResult;
    m_leaveResult.reset();
    StopWatchWhenIdle();
    m_platform.EndModal(result);
}

std::optional<std::string> CUpdaterDialog::MissingFolderSettings() const {
    return orvane::MissingFolderSettings(UpdateSettings{m_hardwareId, m_srcPath, m_destPath});
}

}  // namespace orvane
