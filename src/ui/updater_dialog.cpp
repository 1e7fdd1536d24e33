// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Construction, initialization order and closing of the updater dialog, and
// the timer and status line its update sessions use.
#include "ui/updater_dialog.h"

namespace orvane {

CUpdaterDialog::CUpdaterDialog(Platform& platform)
    : m_platform(platform), m_icon(platform.LoadAppIcon()) {}

int CUpdaterDialog::OnInitDialog() {
    m_platform.AddAboutToSystemMenu();
    m_platform.SetWindowIcons(m_icon);

    BuildSettingsPath();
    ReadSettings();

    RegisterUsbArrival();  // detection rests on the timer; a failure only leaves a line

    // A camera connected before start is found without waiting for a tick;
    // a match that answers later stops the timer armed meanwhile.
    ScanForCamera();
    if (m_deviceFound == 0) ArmPollTimer();
    return 1;
}

void CUpdaterDialog::OnOK() {
    // The dialog never ends under a running session.
    if (Busy() || m_leaveResult) return;
    Leave(IDOK);
}

void CUpdaterDialog::OnCancel() {
    if (m_leaveResult) return;  // already on its way out
    if (Busy()) {
        Stop(StopBy::User);
        return;
    }
    Leave(IDCANCEL);
}

void CUpdaterDialog::OnSystemStop() {
    if (!Busy()) {
        OnCancel();
        return;
    }
    Stop(StopBy::System);
}

void CUpdaterDialog::Stop(StopBy by) {
    std::shared_ptr<UpdateSession> session = m_session;
    session->Stop(by);
    if (!session->Transferring()) return;
    // Ticks come faster while a worker is left its grace, so that one that
    // does not come back is left within a second of the stop; without a
    // timer nothing would end the wait for it.
    if (!ArmSessionTimer(SESSION_LEAVING_INTERVAL_MS)) m_platform.EndProcess(IDCANCEL);
}

// ---- The session's timer -----------------------------------------------------

bool CUpdaterDialog::ArmSessionTimer(unsigned intervalMs) {
    if (m_ticking && intervalMs == m_tickInterval) return true;
    if (m_ticking) m_platform.StopTimer(SESSION_TIMER_ID);
    m_ticking = m_platform.ArmTimer(SESSION_TIMER_ID, intervalMs) != 0;
    m_tickInterval = intervalMs;
    return m_ticking;
}

void CUpdaterDialog::StopSessionTimerWhenIdle() {
    if (!m_ticking || Busy() || m_leaveResult) return;
    m_platform.StopTimer(SESSION_TIMER_ID);
    m_ticking = false;
}

void CUpdaterDialog::OnSessionTick() {
    if (m_leaveResult) {
        // A question out on the camera gives no sign of life until it answers.
        if (m_platform.Now() - m_leaveSince >= session_time::kStopGrace)
            m_platform.EndProcess(*m_leaveResult);
        return;
    }
    if (Busy()) {
        std::shared_ptr<UpdateSession> session = m_session;
        session->Tick();
    }
    StopSessionTimerWhenIdle();
}

// ---- Leaving -------------------------------------------------------------------

void CUpdaterDialog::Leave(int result) {
    if (m_queriesOut == 0) {
        m_platform.EndModal(result);
        return;
    }
    m_leaveResult = result;
    m_leaveSince = m_platform.Now();
    // Without a timer nothing would end the wait for them.
    if (!ArmSessionTimer(SESSION_LEAVING_INTERVAL_MS)) m_platform.EndProcess(result);
}

void CUpdaterDialog::FinishLeaving() {
    if (!m_leaveResult || m_queriesOut != 0) return;
    const int result = *m_leaveResult;
    m_leaveResult.reset();
    StopSessionTimerWhenIdle();
    m_platform.EndModal(result);
}

// ---- The status line -------------------------------------------------------------

void CUpdaterDialog::ShowStatus(int percent, std::string status) {
    m_shownPercent = percent;
    m_shownStatus = std::move(status);
    if (!m_silenceShown) m_platform.ShowProgress(m_shownPercent, m_shownStatus);
}

void CUpdaterDialog::HideStatus() {
    m_shownPercent = 0;
    m_shownStatus.clear();
    m_platform.HideProgress();
}

}  // namespace orvane
