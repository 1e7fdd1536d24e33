// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Message routing of the updater dialog and the About box.
#include "platform/win32/dialog_host.h"

#include "ui/res/resource.h"

namespace orvane::win32 {

namespace {

// Centres `window` over `area`, kept inside the work area of the monitor it
// then lies on, as the dialog framework does for a modal dialog without a
// centring style of its own.
void CentreWindow(HWND window, const RECT& area) {
    RECT rect;
    GetWindowRect(window, &rect);
    const LONG width = rect.right - rect.left, height = rect.bottom - rect.top;
    LONG x = area.left + (area.right - area.left - width) / 2;
    LONG y = area.top + (area.bottom - area.top - height) / 2;

    MONITORINFO monitor;
    monitor.cbSize = sizeof monitor;
    POINT centre{x + width / 2, y + height / 2};
    if (GetMonitorInfoW(MonitorFromPoint(centre, MONITOR_DEFAULTTONEAREST), &monitor)) {
        const RECT& work = monitor.rcWork;
        if (x + width > work.right) x = work.right - width;
        if (y + height > work.bottom) y = work.bottom - height;
        if (x < work.left) x = work.left;
        if (y < work.top) y = work.top;
    }
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT WorkArea(HWND window) {
    MONITORINFO monitor;
    monitor.cbSize = sizeof monitor;
    if (GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor))
        return monitor.rcWork;
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return work;
}

}  // namespace

// ---- About box --------------------------------------------------------------

INT_PTR CAboutDialog::DoModal(HINSTANCE instance) {
    return DialogBoxParamW(instance, ResourceId(IDD_ABOUTBOX), owner_, Procedure, 0);
}

INT_PTR CALLBACK CAboutDialog::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: {
            HWND owner = GetWindow(window, GW_OWNER);
            RECT area;
            if (owner != nullptr && !IsIconic(owner))
                GetWindowRect(owner, &area);
            else
                area = WorkArea(window);
            CentreWindow(window, area);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(window, LOWORD(wParam));
                return TRUE;
            }
            break;
        default:
            break;
    }
    return FALSE;
}

// ---- Updater dialog -----------------------------------------------------------

DialogHost::DialogHost(HINSTANCE instance) : platform_(instance), dialog_(platform_) {
    platform_.AttachDialog(dialog_);
}

INT_PTR DialogHost::DoModal() {
    const INT_PTR result = DialogBoxParamW(platform_.instance(), ResourceId(IDD_ORVANE_DIALOG),
                                           nullptr, Procedure, reinterpret_cast<LPARAM>(this));
    // A question given up on may still be out on the camera, on a thread
    // that uses the platform and the dialog (the end of a session ends the
    // dialog without waiting for it): the process ends before they go.
    if (platform_.DeviceQueriesOut()) platform_.EndProcess(static_cast<int>(result));
    return result;
}

INT_PTR CALLBACK DialogHost::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* host = reinterpret_cast<DialogHost*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        host->platform_.AttachWindow(window);
        return host->HandleMessage(message, wParam, lParam);
    }
    auto* host = reinterpret_cast<DialogHost*>(GetWindowLongPtrW(window, DWLP_USER));
    // Messages before WM_INITDIALOG (WM_SETFONT and the like) get default processing.
    if (host == nullptr) return FALSE;
    return host->HandleMessage(message, wParam, lParam);
}

// The routing table: these messages and no others reach the core; returning
// FALSE hands a message to the default dialog processing. WM_DEVICECHANGE
// is deliberately absent: detection rests on the poll timer alone.
INT_PTR DialogHost::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog();
        case WM_SYSCOMMAND:
            return OnSysCommand(wParam);
        case WM_PAINT:
            return OnPaint();
        case WM_QUERYDRAGICON:
            return OnQueryDragIcon();
        case WM_SHOWWINDOW:
            if (wParam != FALSE) platform_.OnShown();
            return FALSE;
        case WM_TIMER:
            dialog_.OnTimer(static_cast<unsigned>(wParam));
            return FALSE;
        case WM_COMMAND:
            return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        case WM_QUERYENDSESSION:
            // A log-off or shutdown waits for a running transfer. A dialog
            // procedure answers this one through DWLP_MSGRESULT.
            SetWindowLongPtrW(platform_.window(), DWLP_MSGRESULT, platform_.OnQueryEndSession());
            return TRUE;
        case WM_ENDSESSION:
            platform_.OnEndSession(wParam != FALSE);
            return TRUE;
        case kRunTaskMessage:
            // The transfer's progress and result, from the worker thread.
            Win32Platform::RunPostedTask(lParam);
            return TRUE;
        default:
            return FALSE;
    }
}

BOOL DialogHost::OnInitDialog() {
    HWND window = platform_.window();
    CentreWindow(window, WorkArea(window));
    // The template asks to be system-modal, which Windows shows as topmost;
    // Wine does not, so the window says so itself.
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return dialog_.OnInitDialog();
}

BOOL DialogHost::OnCommand(WORD id, WORD code, HWND control) {
    if (id == IDC_UPDATE && code == BN_CLICKED) {
        dialog_.OnUpdateClicked();
        return TRUE;
    }
    if (id == IDCANCEL) {
        // Cancel, Escape and the close box all arrive here.
        dialog_.OnCancel();
        return TRUE;
    }
    if (id == IDOK && control == nullptr) {
        // Enter. There is no default button, so Enter means the focused push
        // button, as on Windows; Wine delivers it as IDOK instead.
        HWND focus = GetFocus();
        if (focus != nullptr && GetParent(focus) == platform_.window()) {
            const int focused = GetDlgCtrlID(focus);
            if (focused == IDC_UPDATE) {
                dialog_.OnUpdateClicked();
                return TRUE;
            }
            if (focused == IDCANCEL) {
                dialog_.OnCancel();
                return TRUE;
            }
        }
        dialog_.OnOK();
        return TRUE;
    }
    return FALSE;
}

BOOL DialogHost::OnSysCommand(WPARAM nID) {
    // The low four bits of a system command are the system's own.
    if ((nID & 0xFFF0) != IDM_ABOUTBOX) return FALSE;
    CAboutDialog about(platform_.window());
    about.DoModal(platform_.instance());
    return TRUE;
}

BOOL DialogHost::OnPaint() {
    HWND window = platform_.window();
    if (!IsIconic(window)) return FALSE;

    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    SendMessageW(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    const int cx = GetSystemMetrics(SM_CXICON);
    const int cy = GetSystemMetrics(SM_CYICON);
    RECT client;
    GetClientRect(window, &client);
    const int x = (client.right - client.left - cx + 1) / 2;
    const int y = (client.bottom - client.top - cy + 1) / 2;
    DrawIcon(dc, x, y, reinterpret_cast<HICON>(dialog_.icon()));
    EndPaint(window, &paint);
    return TRUE;
}

INT_PTR DialogHost::OnQueryDragIcon() {
    // One of the messages whose result a dialog procedure returns directly.
    return static_cast<INT_PTR>(dialog_.icon());
}

}  // namespace orvane::win32
