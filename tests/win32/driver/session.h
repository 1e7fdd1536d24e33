// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// What the end-to-end scenarios use to run Orvane.exe and act on it as a user
// would: the program's process and windows, the simulated camera, files.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/win32/win32_api.h"

namespace orvane::e2e {

// A scenario stops at the first expectation that does not hold.
struct ScenarioFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void Expect(bool condition, const std::string& what);
void Log(const std::string& line);

// Paths and window texts are UTF-8 here, as in the program's core; the
// system gets and gives UTF-16, so names outside the ANSI code page survive.
std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& utf16);
// Whether `text` can be written in the ANSI code page of this prefix.
bool FitsAnsiCodePage(const std::string& utf8);

// Where a scenario runs: the program, the working folder it is started in,
// and the camera's drive ("G:"), empty when the scenario maps none.
struct Setting {
    std::string program;
    std::string workFolder;
    std::string cameraDrive;
};

// ---- Files (UTF-8 paths) --------------------------------------------------------

// Fails the scenario if unreadable; a file another process is writing is read too.
std::string ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
void MakeFolder(const std::string& path);
// Names of the entries in `folder`, sorted; empty if it does not exist.
std::vector<std::string> ListFolder(const std::string& folder);
// Deterministic content that is not a multiple of any sector size.
std::string FirmwareBytes(std::size_t size, std::uint32_t seed);
// A file of `size` such bytes, written a piece at a time.
void WriteLargeFile(const std::string& path, std::size_t size, std::uint32_t seed);
// Whether two files hold the same bytes, compared a piece at a time.
bool SameBytes(const std::string& a, const std::string& b);

// ---- The simulated camera ------------------------------------------------------

// A USB device as the device set-up services list it, made of registry keys
// the way Wine keeps them. Plug adds the keys, Unplug deletes them.
class UsbDeviceKeys {
  public:
    UsbDeviceKeys(std::string vendorProduct, std::string instance, std::string hardwareIds);
    void Plug();
    void Unplug();

  private:
    std::string enumKey_;
    std::string interfaceKey_;
    std::string symbolicLink_;
    std::string hardwareIds_;  // REG_MULTI_SZ: NUL-separated, double NUL at the end
};

// ---- The program --------------------------------------------------------------

struct ControlInfo {
    HWND window = nullptr;
    int id = 0;
    std::string className;
    std::string text;
    LONG style = 0;
    RECT clientRect{};  // in the dialog's client coordinates
};

class Program {
  public:
    // Starts `exe` in `folder` (UTF-8), its standard output going to `outputFile`.
    Program(const std::string& exe, const std::string& folder, const std::string& outputFile = {});
    // Starts the console program `exe` with `arguments`, its standard output
    // and error going to `outputFile`; returns without waiting for it.
    static Program Console(const std::string& exe, const std::string& folder,
                           const std::string& outputFile, const std::string& arguments);
    ~Program();
    Program(Program&& other) noexcept;
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // The updater dialog: the program's visible top-level dialog that has no owner.
    HWND WaitForDialog(DWORD timeoutMs = 15000);
    // A visible dialog owned by `owner` (a message box or the About box).
    HWND WaitForOwned(HWND owner, DWORD timeoutMs = 10000);
    // Fails the scenario if any window is owned by `owner` for `forMs` after
    // the program has fallen quiet.
    void ExpectNoOwned(HWND owner, DWORD forMs, const std::string& why);
    // Returns once the program has used no processor time for a second: it
    // has finished acting on what it was given.
    void WaitUntilQuiet();
    // Returns once a poll tick due from now has run its scan to the end, in
    // whichever loop `window` belongs to.
    void WaitPastPollTick(HWND window);
    // The exit code, failing the scenario if the process is still running then.
    DWORD WaitForExit(DWORD timeoutMs = 10000);
    bool Running() const;
    DWORD threadId() const { return info_.dwThreadId; }

  private:
    Program(const std::string& exe, const std::string& folder, const std::string& outputFile,
            const std::string& arguments, bool console);

    PROCESS_INFORMATION info_{};
    DWORD started_ = 0;
    HANDLE output_ = INVALID_HANDLE_VALUE;
};

std::string WindowText(HWND window);  // through WM_GETTEXT, which crosses processes; UTF-8
std::string ClassName(HWND window);
// The children of a dialog in Z order, which is template and tab order.
std::vector<ControlInfo> Controls(HWND dialog);
// The text of a message box: its longest static text.
std::string MessageBoxText(HWND box);
void Click(HWND button);  // posted, so a modal box it opens does not block us
void PressKey(HWND target, WPARAM key);
void CloseMessageBox(HWND box);
void WaitGone(HWND window, DWORD timeoutMs = 5000);
// Waits until `condition` holds, failing the scenario with `what` if it has
// not within `timeoutMs`.
void WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs, const std::string& what);
// `ms` stretched for this machine: every wait above applies it to its own
// ceiling. Before a start-up has been measured the factor comes from
// ORVANE_E2E_PATIENCE (1 when unset); after, from the slowest start-up seen.
DWORD Patient(DWORD ms);

}  // namespace orvane::e2e
