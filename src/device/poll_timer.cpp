// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The poll timer and the USB arrival subscription.
#include "texts/texts.h"
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
    // Only the session's own timer is told apart; any other tick is the
    // poll timer's.
    if (nIDEvent == SESSION_TIMER_ID) {
        OnSessionTick();
        return;
    }
    if (m_deviceFound == 0 && !Busy()) ScanForCamera();
}

void CUpdaterDialog::OnDeviceChange() {
    if (m_session && m_session->Looking()) {
        std::shared_ptr<UpdateSession> session = m_session;
        session->OnDeviceChange();
        return;
    }
    if (Busy()) return;
    // Something on the bus changed: a camera switched to another USB mode,
    // or plugged in again, is settling anew.
    if (m_deviceFound != 0) m_cameraSeenAt = m_platform.Now();
    if (m_deviceFound == 0) ScanForCamera();
}

}  // namespace orvane
