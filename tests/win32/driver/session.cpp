// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Running Orvane.exe under test: processes, windows, registry devices, files.
#include "session.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ui/updater_dialog.h"

namespace orvane::e2e {

namespace {

constexpr DWORD kPollMs = 50;
constexpr const char* kUsbInterfaceClass = "{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
// Any device class will do for the listing; Wine leaves out a device without one.
constexpr const char* kDeviceSetupClass = "{36fc9e60-c465-11cf-8056-444553540000}";

// How long a wait may last depends on how fast the program runs here: under
// user-mode emulation, or on a machine busy with other work, it starts and
// answers many times slower than under native Wine. Until a start has been
// measured, the runner's factor sizes the waits; after that, the slowest
// start-up seen (process creation to visible dialog) does.
constexpr DWORD kNativeStartupMs = 2000;  // a start under native Wine: well under this

DWORD RunnerFactor() {
    static const DWORD factor = [] {
        char value[16] = {};
        DWORD length = GetEnvironmentVariableA("ORVANE_E2E_PATIENCE", value, sizeof value);
        unsigned long parsed =
            length > 0 && length < sizeof value ? std::strtoul(value, nullptr, 10) : 0;
        return parsed > 0 ? static_cast<DWORD>(parsed) : DWORD{1};
    }();
    return factor;
}

DWORD slowestStartupMs = 0;

DWORD Pace() {
    if (slowestStartupMs == 0) return RunnerFactor();
    return std::max<DWORD>(1, (slowestStartupMs + kNativeStartupMs - 1) / kNativeStartupMs);
}

ULONGLONG CpuTime(HANDLE process) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    auto ticks = [](const FILETIME& time) {
        return (ULONGLONG{time.dwHighDateTime} << 32) | time.dwLowDateTime;
    };
    return ticks(kernel) + ticks(user);
}

void SetValue(HKEY key, const char* name, DWORD type, const std::string& data) {
    LONG status = RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                                 static_cast<DWORD>(data.size()));
    Expect(status == ERROR_SUCCESS, std::string("set registry value ") + name);
}

HKEY CreateKey(const std::string& path) {
    HKEY key = nullptr;
    LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr);
    Expect(status == ERROR_SUCCESS, "create registry key " + path);
    return key;
}

std::string Sz(const std::string& text) {
    return text + '\0';
}

struct Search {
    DWORD processId;
    HWND owner;
    bool wantOwned;
    HWND found;
};

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != search->processId || !IsWindowVisible(window)) return TRUE;
    if (ClassName(window) != "#32770") return TRUE;
    HWND owner = GetWindow(window, GW_OWNER);
    if (search->wantOwned ? owner != search->owner : owner != nullptr) return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

void Expect(bool condition, const std::string& what) {
    if (!condition) throw ScenarioFailure(what);
}

void Log(const std::string& line) {
    std::printf("  %s\n", line.c_str());
    std::fflush(stdout);
}

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int size = static_cast<int>(utf8.size());
    std::wstring text(
        static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0)),
        L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, text.data(), static_cast<int>(text.size()));
    return text;
}

std::string Utf8(const std::wstring& utf16) {
    if (utf16.empty()) return {};
    const int size = static_cast<int>(utf16.size());
    std::string text(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size,
                                                                  nullptr, 0, nullptr, nullptr)),
                     '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, text.data(), static_cast<int>(text.size()),
                        nullptr, nullptr);
    return text;
}

bool FitsAnsiCodePage(const std::string& utf8) {
    const std::wstring text = Wide(utf8);
    BOOL lossy = FALSE;
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                        nullptr, 0, nullptr, &lossy);
    return lossy == FALSE;
}

// ---- Files ------------------------------------------------------------------

std::string ReadFileBytes(const std::string& path) {
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    Expect(file != INVALID_HANDLE_VALUE, "open " + path);
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

bool FileExists(const std::string& path) {
    return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    Expect(file != INVALID_HANDLE_VALUE, "create " + path);
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    Expect(ok && written == bytes.size(), "write " + path);
}

void MakeFolder(const std::string& path) {
    Expect(CreateDirectoryW(Wide(path).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS,
           "create folder " + path);
}

std::vector<std::string> ListFolder(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(Wide(folder + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        std::string name = Utf8(entry.cFileName);
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

std::string FirmwareBytes(std::size_t size, std::uint32_t seed) {
    std::string bytes(size, '\0');
    std::uint32_t state = seed;
    for (char& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

void WriteLargeFile(const std::string& path, std::size_t size, std::uint32_t seed) {
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    Expect(file != INVALID_HANDLE_VALUE, "create " + path);
    constexpr std::size_t kPiece = std::size_t{8} << 20;
    bool ok = true;
    for (std::size_t done = 0; ok && done < size; done += kPiece) {
        const std::string piece = FirmwareBytes(std::min(kPiece, size - done), seed++);
        DWORD written = 0;
        ok = WriteFile(file, piece.data(), static_cast<DWORD>(piece.size()), &written, nullptr) &&
             written == piece.size();
    }
    CloseHandle(file);
    Expect(ok, "write " + path);
}

bool SameBytes(const std::string& a, const std::string& b) {
    HANDLE first = CreateFileW(Wide(a).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE second = CreateFileW(Wide(b).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    bool same = first != INVALID_HANDLE_VALUE && second != INVALID_HANDLE_VALUE;
    std::string x(std::size_t{1} << 20, '\0'), y(x.size(), '\0');
    while (same) {
        DWORD gotX = 0, gotY = 0;
        same = ReadFile(first, x.data(), static_cast<DWORD>(x.size()), &gotX, nullptr) &&
               ReadFile(second, y.data(), static_cast<DWORD>(y.size()), &gotY, nullptr) &&
               gotX == gotY && std::memcmp(x.data(), y.data(), gotX) == 0;
        if (gotX == 0) break;
    }
    if (first != INVALID_HANDLE_VALUE) CloseHandle(first);
    if (second != INVALID_HANDLE_VALUE) CloseHandle(second);
    return same;
}

// ---- The simulated camera ------------------------------------------------------

UsbDeviceKeys::UsbDeviceKeys(std::string vendorProduct, std::string instance,
                             std::string hardwareIds)
    : hardwareIds_(std::move(hardwareIds)) {
    enumKey_ = "System\\CurrentControlSet\\Enum\\USB\\" + vendorProduct + "\\" + instance;
    const std::string name = "##?#USB#" + vendorProduct + "#" + instance + "#" + kUsbInterfaceClass;
    interfaceKey_ = std::string("System\\CurrentControlSet\\Control\\DeviceClasses\\") +
                    kUsbInterfaceClass + "\\" + name;
    symbolicLink_ = "\\\\?\\USB#" + vendorProduct + "#" + instance + "#" + kUsbInterfaceClass;
}

void UsbDeviceKeys::Plug() {
    const std::string instancePath = enumKey_.substr(enumKey_.find("USB\\"));
    HKEY device = CreateKey(enumKey_);
    SetValue(device, "HardwareID", REG_MULTI_SZ, hardwareIds_);
    SetValue(device, "ClassGUID", REG_SZ, Sz(kDeviceSetupClass));
    RegCloseKey(device);
    HKEY interface = CreateKey(interfaceKey_);
    SetValue(interface, "DeviceInstance", REG_SZ, Sz(instancePath));
    RegCloseKey(interface);
    HKEY reference = CreateKey(interfaceKey_ + "\\#");
    SetValue(reference, "SymbolicLink", REG_SZ, Sz(symbolicLink_));
    RegCloseKey(reference);
    HKEY control = CreateKey(interfaceKey_ + "\\#\\Control");
    DWORD linked = 1;
    RegSetValueExA(control, "Linked", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&linked),
                   sizeof linked);
    RegCloseKey(control);
}

void UsbDeviceKeys::Unplug() {
    // Only the interface key decides whether Wine lists the device.
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, interfaceKey_.c_str());
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, enumKey_.c_str());
}

// ---- The program --------------------------------------------------------------

Program::Program(const std::string& exe, const std::string& folder, const std::string& outputFile)
    : Program(exe, folder, outputFile, {}, false) {}

Program Program::Console(const std::string& exe, const std::string& folder,
                         const std::string& outputFile, const std::string& arguments) {
    return Program(exe, folder, outputFile, arguments, true);
}

Program::Program(Program&& other) noexcept
    : info_(other.info_), started_(other.started_), output_(other.output_) {
    other.info_ = PROCESS_INFORMATION{};
    other.output_ = INVALID_HANDLE_VALUE;
}

Program::Program(const std::string& exe, const std::string& folder, const std::string& outputFile,
                 const std::string& arguments, bool console) {
    STARTUPINFOW startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    BOOL inherit = FALSE;
    if (!outputFile.empty()) {
        SECURITY_ATTRIBUTES security{sizeof security, nullptr, TRUE};
        output_ = CreateFileW(Wide(outputFile).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &security,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        Expect(output_ != INVALID_HANDLE_VALUE, "create " + outputFile);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = output_;
        startup.hStdError = output_;
        startup.hStdInput = nullptr;
        inherit = TRUE;
    }
    std::wstring commandLine = Wide("\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments));
    started_ = GetTickCount();
    Expect(CreateProcessW(Wide(exe).c_str(), commandLine.data(), nullptr, nullptr, inherit, 0,
                          nullptr, Wide(folder).c_str(), &startup, &info_),
           "start " + exe + " in " + folder);
    // A console program has no input to be idle on.
    if (!console) WaitForInputIdle(info_.hProcess, Patient(10000));
}

Program::~Program() {
    if (info_.hProcess == nullptr) return;
    if (Running()) {
        TerminateProcess(info_.hProcess, 99);
        WaitForSingleObject(info_.hProcess, 5000);
    }
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
    if (output_ != INVALID_HANDLE_VALUE) CloseHandle(output_);
}

bool Program::Running() const {
    return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

HWND Program::WaitForDialog(DWORD timeoutMs) {
    timeoutMs = Patient(timeoutMs);
    for (DWORD waited = 0; waited <= timeoutMs; waited += kPollMs) {
        Search search{info_.dwProcessId, nullptr, false, nullptr};
        EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) {
            const DWORD startup = GetTickCount() - started_;
            if (startup > slowestStartupMs) {
                slowestStartupMs = startup;
                Log("the dialog appeared " + std::to_string(startup) +
                    " ms after the start; waits are scaled by " + std::to_string(Pace()));
            }
            return search.found;
        }
        Expect(Running(), "the program ended before its dialog appeared");
        Sleep(kPollMs);
    }
    throw ScenarioFailure("the updater dialog did not appear");
}

HWND Program::WaitForOwned(HWND owner, DWORD timeoutMs) {
    timeoutMs = Patient(timeoutMs);
    for (DWORD waited = 0; waited <= timeoutMs; waited += kPollMs) {
        Search search{info_.dwProcessId, owner, true, nullptr};
        EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) return search.found;
        Expect(Running(), "the program ended while a box was expected");
        Sleep(kPollMs);
    }
    throw ScenarioFailure("no box appeared over the dialog");
}

void Program::ExpectNoOwned(HWND owner, DWORD forMs, const std::string& why) {
    // Whatever the program does next, it has done once it falls quiet.
    WaitUntilQuiet();
    forMs = Patient(forMs);
    for (DWORD waited = 0; waited <= forMs; waited += kPollMs) {
        Search search{info_.dwProcessId, owner, true, nullptr};
        EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr)
            throw ScenarioFailure(why + ": a box appeared: \"" + MessageBoxText(search.found) +
                                  "\"");
        Sleep(kPollMs);
    }
}

void Program::WaitUntilQuiet() {
    constexpr DWORD kQuietMs = 1000, kStepMs = 100;
    const DWORD ceiling = Patient(5000);
    ULONGLONG last = CpuTime(info_.hProcess);
    DWORD quiet = 0;
    for (DWORD waited = 0; quiet < kQuietMs; waited += kStepMs) {
        if (waited > ceiling) {
            Log("the program was still busy after " + std::to_string(ceiling) + " ms");
            return;
        }
        Sleep(kStepMs);
        const ULONGLONG now = CpuTime(info_.hProcess);
        quiet = now == last ? quiet + kStepMs : 0;
        last = now;
        if (!Running()) return;
    }
}

void Program::WaitPastPollTick(HWND window) {
    // The tick is due one interval after the last; its scan then takes as
    // long as this machine makes it, and is over once the program falls
    // quiet and answers a message again.
    Sleep(POLL_INTERVAL_MS + 500);
    WaitUntilQuiet();
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, Patient(10000), &ignored);
}

DWORD Program::WaitForExit(DWORD timeoutMs) {
    Expect(WaitForSingleObject(info_.hProcess, Patient(timeoutMs)) == WAIT_OBJECT_0,
           "the program did not end");
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
}

std::string WindowText(HWND window) {
    wchar_t text[1024] = {};
    DWORD_PTR length = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                        Patient(5000), &length);
    return Utf8(std::wstring(text, std::min<std::size_t>(length, 1023)));
}

std::string ClassName(HWND window) {
    char name[256] = {};
    int length = GetClassNameA(window, name, sizeof name);
    return std::string(name, static_cast<std::size_t>(std::max(length, 0)));
}

std::vector<ControlInfo> Controls(HWND dialog) {
    std::vector<ControlInfo> controls;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        ControlInfo info;
        info.window = child;
        info.id = GetDlgCtrlID(child);
        info.className = ClassName(child);
        info.text = WindowText(child);
        info.style = GetWindowLongA(child, GWL_STYLE);
        RECT rect;
        GetWindowRect(child, &rect);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
        info.clientRect = rect;
        controls.push_back(info);
    }
    return controls;
}

std::string MessageBoxText(HWND box) {
    std::string longest;
    for (const ControlInfo& control : Controls(box)) {
        if (_stricmp(control.className.c_str(), "Static") == 0 &&
            control.text.size() > longest.size())
            longest = control.text;
    }
    return longest;
}

void Click(HWND button) {
    PostMessageA(button, BM_CLICK, 0, 0);
}

void PressKey(HWND target, WPARAM key) {
    PostMessageA(target, WM_KEYDOWN, key, 1);
    PostMessageA(target, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
}

void CloseMessageBox(HWND box) {
    PostMessageA(box, WM_COMMAND, IDOK, 0);
}

void WaitGone(HWND window, DWORD timeoutMs) {
    timeoutMs = Patient(timeoutMs);
    for (DWORD waited = 0; waited <= timeoutMs; waited += kPollMs) {
        if (!IsWindow(window)) return;
        Sleep(kPollMs);
    }
    throw ScenarioFailure("a box did not close");
}

void WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs, const std::string& what) {
    timeoutMs = Patient(timeoutMs);
    for (DWORD waited = 0; waited <= timeoutMs; waited += kPollMs) {
        if (condition()) return;
        Sleep(kPollMs);
    }
    throw ScenarioFailure(what);
}

DWORD Patient(DWORD ms) {
    return ms * Pace();
}

}  // namespace orvane::e2e
