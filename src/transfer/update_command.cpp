// The "UpDate" button: from the detection state to the files on the camera.
#include <atomic>
#include <utility>

#include "transfer/safe_transfer.h"
#include "ui/texts.h"
#include "ui/updater_dialog.h"

namespace orvane {

// The transfer as it runs on the worker thread. It hands its progress to the
// dialog on the user-interface thread, only when what the user sees changes,
// and carries the dialog's stop request the other way.
class CUpdaterDialog::TransferJob : public TransferObserver {
  public:
    TransferJob(CUpdaterDialog& dialog, TransferRequest request)
        : dialog_(dialog), platform_(dialog.m_platform), request_(std::move(request)) {}

    // On the worker thread. The dialog's end waits for the posted result, so
    // the dialog outlives every task posted here.
    void Run() {
        std::optional<TransferFailure> failure = TransferFirmware(platform_, request_, this);
        CUpdaterDialog* dialog = &dialog_;
        platform_.PostToUi(
            [dialog, failure = std::move(failure)] { dialog->OnTransferDone(failure); });
    }

    // On the user-interface thread.
    void RequestStop() { stop_.store(true); }

    void OnProgress(const TransferProgress& progress) override {
        const int percent = PercentDone(progress);
        if (progress.phase == shownPhase_ && progress.file == shownFile_ &&
            percent == shownPercent_)
            return;
        shownPhase_ = progress.phase;
        shownFile_ = progress.file;
        shownPercent_ = percent;
        CUpdaterDialog* dialog = &dialog_;
        platform_.PostToUi([dialog, progress] { dialog->OnTransferProgress(progress); });
    }
    bool StopRequested() override { return stop_.load(); }

  private:
    CUpdaterDialog& dialog_;
    Platform& platform_;
    const TransferRequest request_;
    std::atomic<bool> stop_{false};
    // What was last posted; touched on the worker thread only.
    TransferPhase shownPhase_ = TransferPhase::Preparing;
    std::string shownFile_;
    int shownPercent_ = -1;
};

void CUpdaterDialog::OnUpdateClicked() {
    if (m_transfer) return;
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

    m_transfer = std::make_shared<TransferJob>(*this, std::move(request));
    m_leaveAfterTransfer = false;
    m_platform.ShowProgress(0, texts::ProgressLine(TransferProgress{}));
    m_platform.RunInBackground([job = m_transfer] { job->Run(); });
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
        m_driveLetter.clear();
        m_platform.ShowMessage(texts::DescribeTransferFailure(*failure));
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

}  // namespace orvane
