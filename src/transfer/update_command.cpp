// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The "UpDate" button: from the detection state to an update session, and
// what the session asks of the dialog.
#include <utility>

#include "device/camera_scan.h"
#include "settings/settings.h"
#include "texts/texts.h"
#include "transfer/update_request.h"
#include "ui/updater_dialog.h"

namespace orvane {

void CUpdaterDialog::OnUpdateClicked() {
    if (Busy() || m_leaveResult) return;
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
    StartSession();
}

void CUpdaterDialog::StartSession() {
    // The camera may have been unplugged since it was found, or after a
    // failed press: it must be there now, and its drive is chosen now, when
    // its volume has had time to appear. The session's questions go to
    // other threads, so that a device that does not answer cannot hold the
    // window; its timer bounds them, and keeps Cancel live.
    const bool ticking = ArmSessionTimer(SESSION_INTERVAL_MS);
    UpdateSession::Setup setup;
    setup.rules = SessionRules::Dialog(m_platform.Now(), ticking, m_cameraSeenAt);
    setup.settings = UpdateSettings{m_hardwareId, m_srcPath, m_destPath};
    setup.system = m_platform.System();
    setup.mounter = m_platform.Mounter();
    setup.mounts = &m_mounts;
    m_silenceShown = false;
    // Kept until the next press: the session may still be on the stack when
    // it reports its end.
    SessionFront& front = *this;
    m_session = std::make_shared<UpdateSession>(front, m_platform, std::move(setup));
    std::shared_ptr<UpdateSession> session = m_session;
    session->Begin();
}

void CUpdaterDialog::Look() {
    ++m_queriesOut;
    Platform& platform = m_platform;
    // The dialog outlives every answer: while one is out it ends only
    // through EndProcess (Leave).
    m_platform.RunDeviceQuery([this, &platform, session = std::weak_ptr(m_session),
                               hardwareId = m_hardwareId, destPath = m_destPath] {
        CameraSight sight = LookAtCamera(platform, hardwareId, destPath);
        platform.PostToUi([this, session, sight = std::move(sight)] {
            --m_queriesOut;
            if (auto current = session.lock()) current->OnSight(sight);
            FinishLeaving();
        });
    });
}

void CUpdaterDialog::Mount(const std::string& disk) {
    VolumeMounter* mounter = m_platform.Mounter();
    if (mounter == nullptr) return;
    ++m_queriesOut;
    Platform& platform = m_platform;
    m_platform.RunDeviceQuery([this, &platform, mounter, disk, session = std::weak_ptr(m_session)] {
        auto mounted = mounter->Mount(disk);
        platform.PostToUi([this, session, mounted = std::move(mounted)] {
            --m_queriesOut;
            if (auto current = session.lock()) current->OnMounted(mounted);
            FinishLeaving();
        });
    });
}

void CUpdaterDialog::Say(SessionNews news, const std::string& text) {
    switch (news) {
        case SessionNews::Waiting:
        case SessionNews::Mounting:
            ShowStatus(0, text);
            return;
        case SessionNews::Silent:
            m_silenceShown = true;
            m_platform.ShowProgress(m_shownPercent, text);
            return;
        case SessionNews::Answering:
            m_silenceShown = false;
            if (m_shownStatus.empty())
                m_platform.HideProgress();
            else
                m_platform.ShowProgress(m_shownPercent, m_shownStatus);
            return;
        case SessionNews::Mounted:
        case SessionNews::Stopping:
            return;
    }
}

std::variant<TransferRequest, std::string> CUpdaterDialog::Request(const std::string& drive) {
    m_driveLetter = drive;
    // The current directory is read now, not the one seen at start-up.
    Result<std::string> directory = m_platform.CurrentDirectory();
    if (!directory.ok() || directory.value().size() > kMaxPathChars) {
        SystemError error =
            directory.ok() ? SystemError{ErrorKind::TooLong, 0, {}} : directory.error();
        return texts::DescribeCurrentDirectoryFailure(error);
    }
    return MakeUpdateRequest(m_platform, directory.value(), m_srcPath, m_driveLetter, m_destPath);
}

void CUpdaterDialog::Started(const UsbDevice& camera, const std::string&) {
    m_deviceInstance = camera.instance;
    ShowStatus(0, texts::ProgressLine(TransferProgress{}));
}

void CUpdaterDialog::Progress(const TransferProgress& progress) {
    ShowStatus(PercentDone(progress), texts::ProgressLine(progress));
}

void CUpdaterDialog::Over(const SessionOutcome& outcome) {
    using Kind = SessionOutcome::Kind;
    m_silenceShown = false;
    HideStatus();
    StopSessionTimerWhenIdle();
    switch (outcome.kind) {
        case Kind::Updated:
            m_platform.ShowMessage(texts::kUpdateSuccess);
            OnOK();
            return;
        case Kind::NoCamera:
            ForgetCamera();
            return;
        case Kind::Stopped:
            Leave(IDCANCEL);
            return;
        case Kind::LeftBehind:
            m_platform.EndProcess(IDCANCEL);
            return;
        case Kind::TransferFailed:
            // A Cancel that came too late to stop the transfer still ends the
            // dialog, after the user has been told what the camera now holds.
            m_platform.ShowMessage(outcome.message);
            if (outcome.stopAsked) Leave(IDCANCEL);
            return;
        case Kind::NotReady:
        case Kind::NotStarted:
        case Kind::CamerasUntold:
            m_platform.ShowMessage(outcome.message);
            return;
    }
}

void CUpdaterDialog::ForgetCamera() {
    m_deviceFound = 0;
    m_deviceInstance.clear();
    m_driveLetter.clear();
    ArmPollTimer();  // before the box: its loop delivers the ticks
    m_platform.ShowMessage(texts::kCheckDevice);
}

std::optional<std::string> CUpdaterDialog::MissingFolderSettings() const {
    return orvane::MissingFolderSettings(UpdateSettings{m_hardwareId, m_srcPath, m_destPath});
}

}  // namespace orvane
