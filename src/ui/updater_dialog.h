// The updater dialog's state and handlers: everything the tool knows and does.
//
// A host (the Win32 dialog procedure, the Qt dialog, the test fake) creates one
// `CUpdaterDialog` for the run and turns its own events into calls of the
// handlers below. The member functions are defined next to the subsystem they
// belong to: settings/, device/ and transfer/.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "transfer/background_transfer.h"
#include "transfer/safe_transfer.h"

namespace orvane {

inline constexpr unsigned POLL_TIMER_ID = 1;
inline constexpr unsigned POLL_INTERVAL_MS = 5000;

// Size of the fixed text buffers the settings values and paths live in on the
// original platform: 259 characters and a terminating NUL.
inline constexpr std::size_t kPathBufferSize = 260;
inline constexpr std::size_t kMaxPathChars = kPathBufferSize - 1;

// Names of the two update files, in the order they are written.
inline constexpr const char* kFirmwareImageName = "vorm.bin";
inline constexpr const char* kCommandFileName = "dsccmd.ini";

class CUpdaterDialog {
  public:
    explicit CUpdaterDialog(Platform& platform);

    CUpdaterDialog(const CUpdaterDialog&) = delete;
    CUpdaterDialog& operator=(const CUpdaterDialog&) = delete;

    // Dialog initialization: system menu, icons, settings, arrival
    // subscription, first scan and, when nothing matched, the poll timer.
    // Returns TRUE so that the focus goes to the first tab stop.
    int OnInitDialog();
    // A poll-timer tick: scans again while the camera has not been found and
    // no transfer runs.
    void OnTimer(unsigned nIDEvent);
    // The "UpDate" button: checks what it can at once, then starts the
    // transfer in the background. A press while a transfer runs does nothing.
    void OnUpdateClicked();
    // The running transfer's progress and its end, delivered on the
    // user-interface thread.
    void OnTransferProgress(const TransferProgress& progress);
    void OnTransferDone(const std::optional<TransferFailure>& failure);
    // Ends the dialog; ignored while a transfer runs.
    void OnOK();
    // Ends the dialog. While a transfer runs it asks the transfer to stop
    // instead, and the dialog ends once the transfer has.
    void OnCancel();

    // Settings.
    void BuildSettingsPath();
    int ReadSettings();

    // Device watch.
    int RegisterUsbArrival();
    void ScanForCamera();
    // The first present device whose first hardware ID is the configured one.
    std::optional<UsbDevice> FindCamera();
    // The drive to write to now: the last volume of the matched device, or
    // the last drive of all when the device's own cannot be told.
    std::string ResolveCameraDrive();

    // The state record, readable by hosts and tests.
    IconHandle icon() const { return m_icon; }
    bool deviceFound() const { return m_deviceFound != 0; }
    // The drive chosen at the last press of "UpDate".
    const std::string& driveLetter() const { return m_driveLetter; }
    const std::string& deviceInstance() const { return m_deviceInstance; }
    unsigned timerId() const { return m_timerId; }
    bool transferRunning() const { return m_transfer != nullptr; }
    const std::string& hardwareId() const { return m_hardwareId; }
    const std::string& srcPath() const { return m_srcPath; }
    const std::string& destPath() const { return m_destPath; }
    const std::string& iniPath() const { return m_iniPath; }

  private:
    void ArmPollTimer();
    void RequestTransferStop();
    // The message naming the folder settings FirmWare.ini lacks, if any.
    std::optional<std::string> MissingFolderSettings() const;

    Platform& m_platform;

    IconHandle m_icon;
    int m_deviceFound = 0;
    std::string m_driveLetter;
    std::string m_deviceInstance;  // the matched device's identity
    unsigned m_timerId = 0;
    std::string m_hardwareId;
    std::string m_srcPath;
    std::string m_destPath;
    // Empty when the current directory could not be read or the settings
    // path would not fit in the path buffer.
    std::string m_iniPath;
    // Set from the start of a transfer until its end reaches the dialog.
    std::shared_ptr<BackgroundTransfer> m_transfer;
    // The user asked to leave while the transfer ran.
    bool m_leaveAfterTransfer = false;
};

}  // namespace orvane
