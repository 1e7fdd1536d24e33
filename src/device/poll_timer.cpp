// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The poll timer and the USB arrival subscription.
#include "ui/texts.h"
#include "ui/updater_dialog.h"

namespace orvane {

int CUpdaterDialog::RegisterUsbArrival() {
    Status subscribed = m_platform.SubscribeUsbArrival();
    if (subscribed.ok()) return 1;
    m_platform.WriteStdout(
        texts::SubscribeFailedLine(subscribed.error().code, m_platform.System()));
    return 0;
}

void CUpdaterDialog::ArmPollTimer() {
    m_timerId = m_platform.ArmTimer(POLL_TIMER_ID, POLL_INTERVAL_MS);
}

void CUpdaterDialog::OnTimer(unsigned nIDEvent) {
    // Only the drive wait's and the watch's own timers are told apart; any
    // other tick is the poll timer's.
    if (nIDEvent == DRIVE_WAIT_TIMER_ID) {
        LookForWaitedDrive(true);
        return;
    }
    if (nIDEvent == WATCH_TIMER_ID) {
        OnWatchTick();
        return;
    }
    if (m_deviceFound == 0 && !m_transfer) ScanForCamera();
}

void CUpdaterDialog::OnDeviceChange() {
    if (m_driveWaitTicks) {
        LookForWaitedDrive(false);
        return;
    }
    // Something on the bus changed: a camera switched to another USB mode,
    // or plugged in again, is settling anew.
    if (m_deviceFound != 0 && !m_transfer) m_cameraSeenAt = m_platform.Now();
    if (m_deviceFound == 0 && !m_transfer) ScanForCamera();
}

}  // namespace orvane
