// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Construction, initialization order and closing of the updater dialog.
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

    // A camera connected before start is found without waiting for a tick.
    ScanForCamera();
    if (m_deviceFound == 0) ArmPollTimer();
    return 1;
}

void CUpdaterDialog::OnOK() {
    // The dialog never ends under a running transfer or a drive wait.
    if (m_transfer || m_driveWaitTicks || m_leaveResult) return;
    Leave(IDOK);
}

void CUpdaterDialog::OnCancel() {
    if (m_leaveResult) return;  // already on its way out
    if (m_transfer) {
        RequestTransferStop();
        return;
    }
    if (m_driveWaitTicks) StopWaitingForDrive();
    Leave(IDCANCEL);
}

}  // namespace orvane
