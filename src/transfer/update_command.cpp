// The "UpDate" button: from the detection state to the files on the camera.
#include "transfer/safe_transfer.h"
#include "ui/texts.h"
#include "ui/updater_dialog.h"

namespace orvane {

void CUpdaterDialog::OnUpdateClicked() {
    if (m_deviceFound == 0) {
        // Poll ticks go on while the box is open and may find the camera; the
        // user then presses "UpDate" again.
        m_platform.ShowMessage(texts::kCheckDevice);
        return;
    }
    m_platform.StopTimer(m_timerId);

    // The drive list may have been empty at the match, and after a failure the
    // camera may have come back under another letter: look again now.
    if (m_driveLetter.empty()) m_driveLetter = ResolveCameraDrive();
    if (m_driveLetter.empty()) {
        m_platform.ShowMessage(texts::kCheckDevice);
        return;
    }

    // The current directory is read now, not the one seen at start-up.
    Result<std::string> directory = m_platform.CurrentDirectory();
    if (!directory.ok() || directory.value().size() > kMaxPathChars) {
        SystemError error =
            directory.ok() ? SystemError{ErrorKind::TooLong, 0, {}} : directory.error();
        m_platform.ShowMessage(texts::DescribeCurrentDirectoryFailure(error));
        return;
    }

    TransferRequest request;
    request.drive = m_driveLetter;
    request.sourceFolder = m_platform.JoinPath(directory.value(), m_srcPath);
    request.destinationFolder =
        m_platform.JoinPath(m_platform.DriveRoot(m_driveLetter), m_destPath);
    request.files = {kFirmwareImageName, kCommandFileName};

    if (std::optional<TransferFailure> failure = TransferFirmware(m_platform, request)) {
        m_driveLetter.clear();
        m_platform.ShowMessage(texts::DescribeTransferFailure(*failure));
        return;
    }
    m_platform.ShowMessage(texts::kUpdateSuccess);
    OnOK();
}

}  // namespace orvane
