// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The Win32 dialogs: the updater dialog's window, whose messages become calls
// of the core's handlers, and the About box.
#pragma once

#include "platform/win32/session_guard.h"
#include "platform/win32/win32_api.h"
#include "ui/updater_dialog.h"

namespace orvane::win32 {

// The About box: template 100, centred over its owner, ended by OK, Escape
// or the close box.
class CAboutDialog {
  public:
    explicit CAboutDialog(HWND owner) : owner_(owner) {}
    INT_PTR DoModal(HINSTANCE instance);

  private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND owner_;
};

// Runs the updater dialog (template 102) modally: owns the platform and the
// one CUpdaterDialog for the run, and routes the window's messages to them.
class DialogHost {
  public:
    explicit DialogHost(HINSTANCE instance);
    DialogHost(const DialogHost&) = delete;
    DialogHost& operator=(const DialogHost&) = delete;

    // Shows the dialog and returns when it has ended, with IDOK or IDCANCEL
    // (-1 when the window could not be created). Where a question about the
    // camera is still out, the process ends instead (EndProcess).
    INT_PTR DoModal();

  private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    BOOL OnInitDialog();
    BOOL OnCommand(WORD id, WORD code, HWND control);
    BOOL OnSysCommand(WPARAM nID);
    BOOL OnPaint();
    INT_PTR OnQueryDragIcon();

    SessionGuardedPlatform platform_;
    CUpdaterDialog dialog_;
};

}  // namespace orvane::win32
