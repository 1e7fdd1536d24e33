// The "UpDate" button: from the detection state to the files on the camera.
#include <utility>

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
    if (m_transfer || m_driveWaitTicks) return;
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
    // its volume has had time to appear.
    std::optional<UsbDevice> camera = FindCamera();
    if (!camera) {
        ForgetCamera();
        return;
    }
    m_deviceInstance = std::move(camera->instance);
    UseCameraStorage(ResolveCameraDrive());
}

void CUpdaterDialog::ForgetCamera() {
    m_deviceFound = 0;
    m_deviceInstance.clear();
    m_driveLetter.clear();
    ArmPollTimer();  // before the box: its loop delivers the ticks
    m_platform.ShowMessage(texts::kCheckDevice);
}

void CUpdaterDialog::UseCameraStorage(const DeviceStorage& storage) {
    using State = DeviceStorage::State;
    if (storage.state == State::NotMounted && !m_driveWaitTicks) {
        // Right after plugging in, the system is still setting the camera's
        // volume up. The wait runs on a timer, so Cancel stays live.
        m_driveWaitTicks = 0;
        m_platform.ShowProgress(0, texts::WaitingForDriveLine(m_platform.System()));
        if (m_platform.ArmTimer(DRIVE_WAIT_TIMER_ID, DRIVE_WAIT_INTERVAL_MS) != 0) return;
        // Without a timer nothing would end the wait: say what is missing now.
        StopWaitingForDrive();
    } else if (storage.state == State::NotMounted && *m_driveWaitTicks < kDriveWaitTicks) {
        return;
    } else if (m_driveWaitTicks) {
        StopWaitingForDrive();
    }

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
    std::optional<UsbDevice> camera = FindCamera();
    if (!camera) {
        StopWaitingForDrive();
        ForgetCamera();
        return;
    }
    m_deviceInstance = std::move(camera->instance);
    UseCameraStorage(ResolveCameraDrive());
}

void CUpdaterDialog::StopWaitingForDrive() {
    m_platform.StopTimer(DRIVE_WAIT_TIMER_ID);
    m_driveWaitTicks.reset();
    m_platform.HideProgress();
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
    m_platform.ShowProgress(0, texts::ProgressLine(TransferProgress{}));
    // The dialog ends only after the result has reached it, so it outlives
    // every task the transfer posts.
    m_transfer = std::make_shared<BackgroundTransfer>(
        m_platform, std::move(request),
        [this](const TransferProgress& progress) { OnTransferProgress(progress); },
        [this](const std::optional<TransferFailure>& failure) { OnTransferDone(failure); });
    std::shared_ptr<BackgroundTransfer> started = m_transfer;
    started->Start();
}

void CUpdaterDialog::OnTransferProgress(const TransferProgress& progress) {
    if (m_transfer) m_platform.ShowProgress(PercentDone(progress), texts::ProgressLine(progress));
}

void CUpdaterDialog::OnTransferDone(const std::optional<TransferFailure>& failure) {
    m_transfer.reset();
    m_platform.HideProgress();
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
    m_leaveAfterTransfer = true;
    m_transfer->RequestStop();
}

std::optional<std::string> CUpdaterDialog::MissingFolderSettings() const {
    return orvane::MissingFolderSettings(UpdateSettings{m_hardwareId, m_srcPath, m_destPath});
}

}  // namespace orvane
