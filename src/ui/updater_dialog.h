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

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "device/camera_scan.h"
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

// While the camera is asked about its storage, or written to, this timer
// watches that it still answers: after kQuietTicks without an answer the
// status line says it does not. After Cancel, what is still out on the
// camera gets kLeaveTicks without an answer before the process ends
// without it.
inline constexpr unsigned WATCH_TIMER_ID = 3;
inline constexpr unsigned WATCH_INTERVAL_MS = 250;
inline constexpr unsigned kQuietTicks = 8;
inline constexpr unsigned kLeaveTicks = 3;

// Right after plugging in, the system shows the camera before its disk, and
// the disk before its medium: "no storage" and "no card" this soon after the
// camera appeared are waited for like a drive that is not there yet.
inline constexpr std::chrono::seconds kSettleTime{15};

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
    // the transfer has. What does not come back from the camera in time is
    // left behind: before the replacements, and during them at a second
    // Cancel once the camera has stopped answering, the process ends
    // without it.
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
    // The camera has not answered for kQuietTicks, and the status line says so.
    bool cameraSilent() const { return m_silent; }
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
    // Asks about the camera and its storage on a thread of the host's; the
    // answer comes to OnCameraSight.
    void StartLookup();
    void OnCameraSight(unsigned lookup, const CameraSight& sight, std::optional<VolumeMount> mount);
    // The lookup `lookup` has begun to mount the camera's volume on `disk`.
    void OnMounting(unsigned lookup, const std::string& key, const std::string& disk);
    // Which arrival of the camera, and which of its disks, a mount was for.
    static std::string MountKey(const UsbDevice& camera, const std::string& diskName);
    // Whether `state` is one the system may still be settling into.
    bool Waitable(DeviceStorage::State state) const;
    void ArmWatch();
    void OnWatchTick();
    void StopWatchWhenIdle();
    // The status line, unless the camera's silence stands in its place.
    void ShowStatus(int percent, std::string status);
    void HideStatus();
    void ShowSilence();
    // The camera answered: the status line it hid comes back.
    void Answered();
    // Ends the dialog with `result`, giving what is still out on the camera
    // until it has been silent for kLeaveTicks.
    void Leave(int result);
    void FinishLeaving();
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
    // Ticks of the drive wait so far; nothing while no wait goes on. A wait
    // runs from a press of "UpDate" until the transfer starts or a box says
    // why it cannot.
    std::optional<unsigned> m_driveWaitTicks;
    bool m_driveWaitTimed = false;  // its timer runs, so something ends it
    bool m_waitLineShown = false;   // the status line says the dialog waits
    // When the dialog last saw the camera appear, or anything change on the
    // bus while it was there.
    std::chrono::steady_clock::time_point m_cameraSeenAt{};
    // The lookup whose answer the dialog waits for, by number; lookups that
    // have not answered yet, that one and any given up on.
    std::optional<unsigned> m_lookup;
    unsigned m_lookupsMade = 0;
    // The last mount the dialog asked for (MountKey), and the disk of the
    // one the awaited lookup has out now.
    std::string m_mountTried;
    std::optional<std::string> m_mounting;
    unsigned m_lookupsOut = 0;
    // Watch ticks since the camera last answered, and whether the status
    // line says it does not.
    unsigned m_quietTicks = 0;
    unsigned m_seenActivity = 0;
    bool m_silent = false;
    bool m_watching = false;
    // The status line the camera's silence hides, to show again once it answers.
    int m_shownPercent = 0;
    std::string m_shownStatus;
    // After Cancel: the result to end with, and the watch ticks since.
    std::optional<int> m_leaveResult;
    unsigned m_leaveTicks = 0;
};

}  // namespace orvane
