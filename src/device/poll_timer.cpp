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
    // Only the drive wait's own timer is told apart; any other tick is the
    // poll timer's.
    if (nIDEvent == DRIVE_WAIT_TIMER_ID) {
        LookForWaitedDrive(true);
        return;
    }
    if (m_deviceFound == 0 && !m_transfer) ScanForCamera();
}

void CUpdaterDialog::OnDeviceChange() {
    if (m_driveWaitTicks) {
        LookForWaitedDrive(false);
        return;
    }
    if (m_deviceFound == 0 && !m_transfer) ScanForCamera();
}

}  // namespace orvane
