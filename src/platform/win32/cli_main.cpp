// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Start-up of the Windows command line: options, then one update.
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_devices.h"
#include "cli/cli_options.h"
#include "cli/cli_run.h"
#include "platform/win32/cli_eject.h"
#include "platform/win32/cli_host.h"
#include "platform/win32/device_source.h"
#include "platform/win32/event_log.h"
#include "platform/win32/wide_text.h"
#include "texts/texts.h"
#include "version.h"

namespace {

using namespace orvane;

// Standard output or error: a console takes the text as characters, so that
// it shows right whatever the console's code page; a file or a pipe takes
// the UTF-8 bytes as they are.
class Stream {
  public:
    explicit Stream(DWORD which) : handle_(GetStdHandle(which)) {
        DWORD mode = 0;
        console_ = Usable() && GetConsoleMode(handle_, &mode) != FALSE;
    }
    bool console() const { return console_; }
    void Write(std::string_view text) const {
        if (!Usable() || text.empty()) return;
        DWORD written = 0;
        if (console_) {
            const std::wstring wide = win32::Wide(text);
            WriteConsoleW(handle_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
            return;
        }
        // A reader that went away makes the write fail, quietly.
        WriteFile(handle_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }

  private:
    bool Usable() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE handle_;
    bool console_ = false;
};

}  // namespace

int wmain(int argc, wchar_t* argv[]) {
    const Stream out(STD_OUTPUT_HANDLE), err(STD_ERROR_HANDLE);
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(win32::Utf8(argv[i]));
    auto parsed = cli::ParseOptions(arguments);
    if (const auto* error = std::get_if<std::string>(&parsed)) {
        err.Write("orvane-cli: " + *error + "\nTry 'orvane-cli --help'.\n");
        return cli::kUsage;
    }
    const cli::Options& options = std::get<cli::Options>(parsed);
    if (options.help) {
        out.Write(cli::UsageText());
        return cli::kSuccess;
    }
    if (options.version) {
        out.Write(std::string("orvane-cli ") + ORVANE_VERSION_TEXT + "\n");
        return cli::kSuccess;
    }

    if (options.devices) {
        win32::CliHost host;
        win32::Win32DeviceSource tree;
        return cli::RunDeviceReport(options, host, &tree,
                                    [&out](std::string_view text) { out.Write(text); });
    }
    const cli::OutputStyle style = options.json    ? cli::OutputStyle::Json
                                   : out.console() ? cli::OutputStyle::Terminal
                                                   : cli::OutputStyle::Lines;
    cli::Reporter report(
        style, [&out](std::string_view text) { out.Write(text); },
        [&err](std::string_view text) { err.Write(text); });
    report.LimitWidth([]() -> std::size_t {
        CONSOLE_SCREEN_BUFFER_INFO info;
        if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info) == FALSE) return 0;
        return static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1);
    });
    win32::CliHost host;
    host.WatchConsoleEvents();
    win32::DeviceEjector ejector;
    win32::EventLog events;
    const int status = cli::RunUpdate(
        options, host, host, report, &ejector,
        [&host] { return std::make_unique<win32::CameraSystem>(host); }, &events);
    host.RunOver();
    // A transfer given up after a stop (its camera not answering) is left to
    // the process's end, not waited for; so is a question given up on at its
    // ceiling. The system may keep the process until the camera answers.
    const bool held = host.DeviceWorkOut();
    if (held) err.Write(std::string(texts::kHeldByCamera) + "\n");
    if (held || status == cli::kStopped) ExitProcess(static_cast<UINT>(status));
    return status;
}
