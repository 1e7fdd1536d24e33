// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Start-up of the Windows program: the application object runs the updater
// dialog, and the process ends with it.
#include "app/updater_app.h"

#include "platform/win32/dialog_host.h"

namespace orvane {

BOOL CUpdaterApp::InitInstance() {
    // The dialog is the only window and lives on this stack for the whole run;
    // its resources are the executable's own.
    win32::DialogHost dialog(GetModuleHandleW(nullptr));
    dialog.DoModal();
    return FALSE;
}

namespace {
CUpdaterApp theApp;
}  // namespace

}  // namespace orvane

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // No message pump of our own: when InitInstance gives FALSE the run is over.
    orvane::theApp.InitInstance();
    return 0;
}
