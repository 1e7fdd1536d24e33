// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Start-up of the Linux command line: options, then one update.
#include <sys/ioctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cli/cli_devices.h"
#include "cli/cli_options.h"
#include "cli/cli_run.h"
#include "platform/linux/cli_host.h"
#include "platform/linux/journal_log.h"
#include "version.h"
#ifdef ORVANE_CLI_QT
#include <QCoreApplication>
#include <clocale>

#include "platform/linux/sleep_inhibitor.h"
#include "platform/linux/udisks_mounter.h"
#endif

namespace {

#ifdef ORVANE_CLI_QT
// Keeps the machine from sleeping while a transfer runs, through logind, as
// the dialog does; with --all, from the first camera's start to the last
// one's end.
class Host : public orvane::linux_port::CliHost {
  public:
    void HoldSystemForTransfer(bool hold) override {
        CliHost::HoldSystemForTransfer(hold);
        std::lock_guard lock(mutex_);
        if (hold && holds_++ == 0) inhibitor_.Acquire();
        if (!hold && holds_ > 0 && --holds_ == 0) inhibitor_.Release();
    }

  private:
    std::mutex mutex_;
    unsigned holds_ = 0;
    orvane::linux_port::SleepInhibitor inhibitor_;
};
#else
using Host = orvane::linux_port::CliHost;
#endif

}  // namespace

int main(int argc, char* argv[]) {
    using namespace orvane;
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    auto parsed = cli::ParseOptions(arguments);
    if (const auto* error = std::get_if<std::string>(&parsed)) {
        std::fprintf(stderr, "orvane-cli: %s\nTry 'orvane-cli --help'.\n", error->c_str());
        return cli::kUsage;
    }
    const cli::Options& options = std::get<cli::Options>(parsed);
    if (options.help) {
        std::fputs(cli::UsageText().c_str(), stdout);
        return cli::kSuccess;
    }
    if (options.version) {
        std::printf("orvane-cli %s\n", ORVANE_VERSION_TEXT);
        return cli::kSuccess;
    }

    auto write = [](std::FILE* stream) {
        return [stream](std::string_view text) {
            std::fwrite(text.data(), 1, text.size(), stream);
            std::fflush(stream);
        };
    };
    if (options.devices) {
        linux_port::CliHost host;
        return cli::RunDeviceReport(options, host, nullptr, write(stdout));
    }
    // A terminal that cannot go back to the start of a line gets plain lines.
    const char* term = std::getenv("TERM");
    const bool rewrites =
        ::isatty(STDOUT_FILENO) && !(term != nullptr && std::strcmp(term, "dumb") == 0);
    const cli::OutputStyle style = options.json ? cli::OutputStyle::Json
                                   : rewrites   ? cli::OutputStyle::Terminal
                                                : cli::OutputStyle::Lines;
    cli::Reporter report(style, write(stdout), write(stderr));
    report.LimitWidth([]() -> std::size_t {
        winsize size{};
        return ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
    });
    // A reader that goes away (`orvane-cli | head`) must not end the process
    // between the replacement of one file and the next: the writes fail
    // quietly instead.
    std::signal(SIGPIPE, SIG_IGN);
#ifdef ORVANE_CLI_QT
    // Qt's D-Bus wants an application, before the worker thread talks to
    // the bus; the program's output keeps its own locale.
    const std::string locale = std::setlocale(LC_ALL, nullptr);
    QCoreApplication application(argc, argv);
    std::setlocale(LC_ALL, locale.c_str());
#endif
    Host host;
    host.WatchTerminationSignals();
    auto makeSystem = [&host]() -> std::unique_ptr<SystemPort> {
        return std::make_unique<linux_port::CameraSystem>(host);
    };
    linux_port::JournalLog journal;
#ifdef ORVANE_CLI_QT
    linux_port::UDisksMounter mounter(
        options.interactive,
        {linux_port::CliHost::AttendStops, [] { return linux_port::CliHost::StopSignal() != 0; }});
    const int status = cli::RunUpdate(options, host, host, report, &mounter, makeSystem, &journal);
#else
    const int status = cli::RunUpdate(options, host, host, report, nullptr, makeSystem, &journal);
#endif
    // After the safe stop, the signal ends the program as a calling shell
    // expects; a transfer given up is left to the process's end, which the
    // kernel holds back while the camera holds the transfer's request.
    return linux_port::CliHost::FinishRun(status);
}
