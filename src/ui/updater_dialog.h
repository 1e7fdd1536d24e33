// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

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

#include "device/device_storage.h"
#include "platform/platform.h"
#include "settings/settings.h"
#include "transfer/background_transfer.h"
#include "transfer/safe_transfer.h"
#include "transfer/update_request.h"

namespace orvane {

inline constexpr unsigned POLL_TIMER_ID = 1;
inline constexpr unsigned POLL_INTERVAL_MS = 5000;

// While "UpDate" waits for the camera's storage to get its drive, it looks
// again at every tick of this timer, for up to 15 s.
inline constexpr unsigned DRIVE_WAIT_TIMER_ID = 2;
inline constexpr unsigned DRIVE_WAIT_INTERVAL_MS = 500;
inline constexpr unsigned kDriveWaitTicks = 30;

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
    // no transfer runs. A tick of the drive-wait timer looks for the drive.
    void OnTimer(unsigned nIDEvent);
    // The system reports a USB or disk device added or removed: look at once
    // rather than at the next tick.
    void OnDeviceChange();
    // The "UpDate" button: checks what it can at once, then starts the
    // transfer in the background, or waits for the camera's drive first. A
    // press while a transfer runs or a wait goes on does nothing.
    void OnUpdateClicked();
    // The running transfer's progress and its end, delivered on the
    // user-interface thread.
    void OnTransferProgress(const TransferProgress& progress);
    void OnTransferDone(const std::optional<TransferFailure>& failure);
    // Ends the dialog; ignored while a transfer runs or a wait goes on.
    void OnOK();
    // Ends the dialog, ending a wait for the drive first. While a transfer
    // runs it asks the transfer to stop instead, and the dialog ends once
    // the transfer has.
    void OnCancel();

    // Settings.
    void BuildSettingsPath();
    int ReadSettings();

    // Device watch.
    int RegisterUsbArrival();
    void ScanForCamera();
    // The first present device whose first hardware ID is the configured one.
    std::optional<UsbDevice> FindCamera();
    // The storage of the matched device now. Where the system relates no
    // drive to any device, the last drive of all stands in for it.
    DeviceStorage ResolveCameraDrive();

    // The state record, readable by hosts and tests.
    IconHandle icon() const { return m_icon; }
    bool deviceFound() const { return m_deviceFound != 0; }
    // The drive chosen at the last press of "UpDate".
    const std::string& driveLetter() const { return m_driveLetter; }
    const std::string& deviceInstance() const { return m_deviceInstance; }
    unsigned timerId() const { return m_timerId; }
    bool transferRunning() const { return m_transfer != nullptr; }
    bool waitingForDrive() const { return m_driveWaitTicks.has_value(); }
    const std::string& hardwareId() const { return m_hardwareId; }
    const std::string& srcPath() const { return m_srcPath; }
    const std::string& destPath() const { return m_destPath; }
    const std::string& iniPath() const { return m_iniPath; }

  private:
    void ArmPollTimer();
    // The camera found at a press is gone: back to waiting for it.
    void ForgetCamera();
    // Acts on what the camera's storage is now: writes to its drive, starts
    // or goes on waiting for it, or says why it cannot be written.
    void UseCameraStorage(const DeviceStorage& storage);
    void LookForWaitedDrive(bool tick);
    void StopWaitingForDrive();
    void StartTransfer();
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
    // Ticks of the drive wait so far; nothing while no wait goes on.
    std::optional<unsigned> m_driveWaitTicks;
};

}  // namespace orvane
