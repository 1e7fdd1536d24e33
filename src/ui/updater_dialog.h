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
#include <memory>
#include <optional>
#include <string>

#include "device/camera_scan.h"
#include "port/dialog_port.h"
#include "session/update_session.h"
#include "settings/settings.h"

namespace orvane {

inline constexpr unsigned POLL_TIMER_ID = 1;
inline constexpr unsigned POLL_INTERVAL_MS = 5000;

// While an update session waits, transfers or stops, and while the dialog
// leaves with a question still out on the camera, this timer ticks them.
inline constexpr unsigned SESSION_TIMER_ID = 3;
inline constexpr unsigned SESSION_INTERVAL_MS = 250;
// After a stop: a worker that stays silent is left within a second of it.
inline constexpr unsigned SESSION_LEAVING_INTERVAL_MS = 50;

class CUpdaterDialog : private SessionFront {
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
    // The "UpDate" button: checks what it can at once, then starts an update
    // session, which writes to the camera's drive once it is ready. A press
    // while a session runs does nothing.
    void OnUpdateClicked();
    // Ends the dialog; ignored while a session runs.
    void OnOK();
    // Ends the dialog, ending a session's wait first. While a transfer runs
    // it asks the transfer to stop instead, and the dialog ends once the
    // transfer has. What does not come back from the camera in time is left
    // behind: before the replacements, and during them at a second Cancel
    // once the camera has stopped answering, the process ends without it.
    void OnCancel();
    // The system asks the program to end (a log-off, a shutdown, a
    // termination signal): as Cancel, except that no number of these ever
    // leaves a replacement under way.
    void OnSystemStop();

    // Settings.
    void BuildSettingsPath();
    int ReadSettings();

    // Device watch.
    int RegisterUsbArrival();
    void ScanForCamera();
    // Looks for the camera among the present USB devices, on a thread of
    // the host's: a device that holds the system's answer cannot hold the
    // window. The answer comes to OnScanned.

    // The state record, readable by hosts and tests.
    IconHandle icon() const { return m_icon; }
    bool deviceFound() const { return m_deviceFound != 0; }
    // The drive chosen at the last press of "UpDate".
    const std::string& driveLetter() const { return m_driveLetter; }
    const std::string& deviceInstance() const { return m_deviceInstance; }
    unsigned timerId() const { return m_timerId; }
    bool transferRunning() const { return m_session && m_session->Transferring(); }
    bool waitingForDrive() const { return m_session && m_session->Looking(); }
    // The camera has not answered for a while, and the status line says so.
    bool cameraSilent() const { return m_session && m_session->Silent(); }
    const std::string& hardwareId() const { return m_hardwareId; }
    const std::string& srcPath() const { return m_srcPath; }
    const std::string& destPath() const { return m_destPath; }
    const std::string& iniPath() const { return m_iniPath; }

  private:
    void ArmPollTimer();
    void OnScanned(const std::optional<UsbDevice>& camera);
    // The camera found at a press is gone: back to waiting for it.
    void ForgetCamera();
    // Whether a session waits, transfers or stops now.
    bool Busy() const { return m_session && !m_session->Over(); }
    void StartSession();
    void OnSessionTick();
    // Runs the session's timer at `intervalMs`; whether it runs.
    bool ArmSessionTimer(unsigned intervalMs);
    void Stop(StopBy by);
    void StopSessionTimerWhenIdle();
    // The status line, unless the camera's silence stands in its place.
    void ShowStatus(int percent, std::string status);
    void HideStatus();
    // Ends the dialog with `result`, giving the questions still out on the
    // camera session_time::kStopGrace to come back first.
    void Leave(int result);
    void FinishLeaving();
    // The message naming the folder settings FirmWare.ini lacks, if any.
    std::optional<std::string> MissingFolderSettings() const;

    // SessionFront: what the update session asks of the dialog.
    std::chrono::steady_clock::time_point Now() override { return m_platform.Now(); }
    void Look() override;
    void Mount(const std::string& disk) override;
    void Say(SessionNews news, const std::string& text) override;
    std::variant<TransferRequest, std::string> Request(const std::string& drive) override;
    void Started(const UsbDevice& camera, const std::string& volume) override;
    void Progress(const TransferProgress& progress) override;
    void Over(const SessionOutcome& outcome) override;

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
    // When the dialog last saw the camera appear, or anything change on the
    // bus while it was there.
    std::chrono::steady_clock::time_point m_cameraSeenAt{};
    // The session of the last press, kept until the next one, and the
    // mounts tried across presses.
    std::shared_ptr<UpdateSession> m_session;
    MountMemory m_mounts;
    // Questions out on the camera (scans, looks, mounts): the dialog outlives
    // their answers, or the process ends without them.
    unsigned m_queriesOut = 0;
    bool m_scanOut = false;
    bool m_scanAgain = false;  // something changed while the scan was out
    bool m_ticking = false;    // SESSION_TIMER_ID runs
    unsigned m_tickInterval = 0;
    // The status line the camera's silence hides, to show again once it answers.
    int m_shownPercent = 0;
    std::string m_shownStatus;
    bool m_silenceShown = false;
    // Leaving with questions out: the result to end with, and since when.
    std::optional<int> m_leaveResult;
    std::chrono::steady_clock::time_point m_leaveSince{};
};

}  // namespace orvane
