// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The dialog side of the port on the Win32 API: the dialog's window, its
// timers, boxes and progress bar, and the way back to its thread.
#include "platform/win32/win32_platform.h"

#include <climits>
#include <cstring>
#include <memory>
#include <utility>

#include "platform/win32/device_source.h"
#include "platform/win32/system_error.h"
#include "platform/win32/wide_text.h"
#include "ui/res/resource.h"

namespace orvane::win32 {

namespace {

constexpr DWORD kLongPathChars = 32768;

std::string ExecutableTitle() {
    std::wstring path(kLongPathChars, L'\0');
    DWORD length = GetModuleFileNameW(nullptr, path.data(), kLongPathChars);
    if (length >= kLongPathChars) length = 0;
    std::string name = Utf8(std::wstring_view(path.data(), length));
    std::size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
}

// Identifiers of the controls that stand in for the notice during a
// transfer; no control of the template uses them.
constexpr int kProgressBarId = 1003;
constexpr int kProgressStatusId = 1004;

HMENU ControlId(int id) {
    return reinterpret_cast<HMENU>(static_cast<std::uintptr_t>(id));
}

// The notice picture: the lowest bitmap control of the dialog.
HWND FindNotice(HWND dialog) {
    HWND notice = nullptr;
    LONG lowest = LONG_MIN;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_BITMAP) continue;
        RECT rect;
        GetWindowRect(child, &rect);
        if (rect.top > lowest) {
            lowest = rect.top;
            notice = child;
        }
    }
    return notice;
}

// A child control at a place given in dialog units (x, y, width, height).
HWND CreateChild(HWND dialog, HINSTANCE instance, const wchar_t* className, DWORD style, int id,
                 RECT units) {
    MapDialogRect(dialog, &units);
    return CreateWindowExW(0, className, L"", WS_CHILD | WS_VISIBLE | style, units.left, units.top,
                           units.right, units.bottom, dialog, ControlId(id), instance, nullptr);
}

// The progress bar's window class, from the common controls. They are loaded
// from the system folder by full path when first needed rather than imported:
// an imported DLL that is not one of the system's known DLLs is looked for in
// the program's own folder first, and this program is typically started from
// a downloads folder, where a planted copy would run before our first line.
// Once loaded, the library stays for the life of the process, as the class
// it registers must.
void RegisterProgressClass() {
    static const bool registered = [] {
        std::wstring path(MAX_PATH + 1, L'\0');
        const UINT length = GetSystemDirectoryW(path.data(), MAX_PATH);
        if (length == 0 || length > MAX_PATH) return false;
        path.resize(length);
        path += L"\\comctl32.dll";
        HMODULE library = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        if (library == nullptr) return false;
        using InitFunction = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
        // Through the generic function pointer type, which GCC lets any
        // function pointer convert to and from without a warning.
        auto init = reinterpret_cast<InitFunction>(
            reinterpret_cast<void (*)()>(GetProcAddress(library, "InitCommonControlsEx")));
        if (init == nullptr) return false;
        const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
        return init(&classes) != FALSE;
    }();
    static_cast<void>(registered);
}

}  // namespace

Win32Platform::Win32Platform(HINSTANCE instance) : instance_(instance), title_(ExecutableTitle()) {}

// ---- Window and shell -------------------------------------------------------

IconHandle Win32Platform::LoadAppIcon() {
    return reinterpret_cast<IconHandle>(LoadIconW(instance_, ResourceId(IDR_MAINFRAME)));
}

void Win32Platform::AddAboutToSystemMenu() {
    HMENU menu = GetSystemMenu(window_, FALSE);
    if (menu == nullptr) return;
    wchar_t text[256] = {};
    if (LoadStringW(instance_, IDS_ABOUTBOX, text, 256) <= 0) return;
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, text);
}

void Win32Platform::SetWindowIcons(IconHandle icon) {
    const auto handle = static_cast<LPARAM>(icon);
    SendMessageW(window_, WM_SETICON, ICON_BIG, handle);
    SendMessageW(window_, WM_SETICON, ICON_SMALL, handle);
}

unsigned Win32Platform::ArmTimer(unsigned id, unsigned intervalMs) {
    return static_cast<unsigned>(SetTimer(window_, id, intervalMs, nullptr));
}

void Win32Platform::StopTimer(unsigned timerId) {
    KillTimer(window_, timerId);
}

void Win32Platform::ShowMessage(std::string_view text) {
    MessageBoxW(window_, Wide(text).c_str(), Wide(title_).c_str(), MB_OK | MB_ICONEXCLAMATION);
}

void Win32Platform::EndModal(int result) {
    EndDialog(window_, result);
}

Status Win32Platform::SubscribeUsbArrival() {
    DEV_BROADCAST_DEVICEINTERFACE_W filter;
    std::memset(&filter, 0, sizeof filter);
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kUsbDeviceInterfaceClass;
    // The handle is not kept: the subscription ends with the window.
    if (RegisterDeviceNotificationW(window_, &filter, DEVICE_NOTIFY_WINDOW_HANDLE) != nullptr)
        return Ok();
    return LastSystemError();
}

void Win32Platform::ShowProgress(int percent, std::string_view status) {
    HWND update = GetDlgItem(window_, IDC_UPDATE);
    if (progress_ == nullptr) {
        RegisterProgressClass();
        ShowWindow(FindNotice(window_), SW_HIDE);
        progress_ = CreateChild(window_, instance_, PROGRESS_CLASSW, PBS_SMOOTH, kProgressBarId,
                                RECT{2, 61, 212, 6});
        SendMessageW(progress_, PBM_SETRANGE32, 0, 100);
        status_ = CreateChild(window_, instance_, L"STATIC", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS,
                              kProgressStatusId, RECT{2, 68, 212, 8});
        SendMessageW(status_, WM_SETFONT,
                     static_cast<WPARAM>(SendMessageW(window_, WM_GETFONT, 0, 0)), FALSE);
        // A disabled button keeps no focus: Escape and Enter go to Cancel.
        if (GetFocus() == update)
            SendMessageW(window_, WM_NEXTDLGCTL,
                         reinterpret_cast<WPARAM>(GetDlgItem(window_, IDCANCEL)), TRUE);
        EnableWindow(update, FALSE);
    }
    SendMessageW(progress_, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
    SetWindowTextW(status_, Wide(status).c_str());
}

void Win32Platform::HideProgress() {
    if (progress_ == nullptr) return;
    DestroyWindow(progress_);
    DestroyWindow(status_);
    progress_ = status_ = nullptr;
    ShowWindow(FindNotice(window_), SW_SHOW);
    EnableWindow(GetDlgItem(window_, IDC_UPDATE), TRUE);
}

void Win32Platform::RunInBackground(std::function<void()> work) {
    worker_.Start(std::move(work));
}

namespace {

BOOL CALLBACK HideWindow(HWND window, LPARAM) {
    ShowWindow(window, SW_HIDE);
    return TRUE;
}

DWORD WINAPI RunDetached(LPVOID parameter) {
    std::unique_ptr<std::function<void()>> work(static_cast<std::function<void()>*>(parameter));
    (*work)();
    return 0;
}

}  // namespace

void Win32Platform::RunDeviceQuery(std::function<void()> work) {
    // Emulated, the 32-bit program died at start-up when a thread asked the
    // devices while the dialog was still being created: a question asked
    // before the window shows starts as it shows (OnShown).
    if (!shown_ && window_ != nullptr) {
        held_.push_back(std::move(work));
        return;
    }
    InterlockedIncrement(&queriesOut_);
    auto* owned = new std::function<void()>([this, work = std::move(work)] {
        work();
        InterlockedDecrement(&queriesOut_);
    });
    HANDLE thread = CreateThread(nullptr, 0, RunDetached, owned, 0, nullptr);
    if (thread == nullptr) {
        RunDetached(owned);
        return;
    }
    // The window waits for the answer as long as a device question may take
    // (the ceiling of each question the work asks), no longer: a device
    // that answers is known before the next message, as when the window
    // asked it itself, and a hung one costs the window that ceiling once,
    // as one question is out at a time.
    WaitForSingleObject(thread, kStorageQueryCeilingMs);
    CloseHandle(thread);
}

void Win32Platform::OnShown() {
    if (shown_) return;
    shown_ = true;
    for (std::function<void()>& work : std::exchange(held_, {})) RunDeviceQuery(std::move(work));
}

bool Win32Platform::DeviceQueriesOut() const {
    return InterlockedCompareExchange(const_cast<LONG*>(&queriesOut_), 0, 0) != 0;
}

void Win32Platform::EndProcess(int result) {
    // The program's exit status does not depend on the dialog's result.
    static_cast<void>(result);
    // The dialog, and a box or the About box over it.
    EnumThreadWindows(GetCurrentThreadId(), HideWindow, 0);
    TerminateProcess(GetCurrentProcess(), 0);
}

void Win32Platform::PostToUi(std::function<void()> task) {
    auto* posted = new std::function<void()>(std::move(task));
    // The queue refuses only when full, and progress comes a percent at a
    // time; a result must not be lost, so it waits for room.
    while (!PostMessageW(window_, kRunTaskMessage, 0, reinterpret_cast<LPARAM>(posted))) {
        if (!IsWindow(window_)) {
            delete posted;
            return;
        }
        Sleep(10);
    }
}

void Win32Platform::RunPostedTask(LPARAM task) {
    std::unique_ptr<std::function<void()>> owned(reinterpret_cast<std::function<void()>*>(task));
    (*owned)();
}

}  // namespace orvane::win32
