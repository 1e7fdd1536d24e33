// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The Linux command line, as orvane-cli runs it, on a simulated machine whose
// camera storage is the FUSE folder at MOUNT-POINT (orvane_hung_folder), for
// tests/qt/hung_folder_test.sh. The transfer creates FLAG before its first
// file operation, so that the folder holds that operation, and prints
// "held"; the test then presses Ctrl-C (SIGINT). First comes "machine ROOT",
// the simulated machine's folder.
//
// Usage: orvane_cli_hang_target MOUNT-POINT FLAG
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

#include "cli/cli_options.h"
#include "cli/cli_run.h"
#include "platform/linux/cli_host.h"
#include "platform/linux/profile_reader.h"
#include "platform/qt/demo_machine.h"

namespace {

using namespace orvane;

class HangingHost : public linux_port::CliHost {
  public:
    HangingHost(linux_port::SystemRoots roots, std::string flag)
        : CliHost(std::move(roots)), flag_(std::move(flag)) {}

    void HoldSystemForTransfer(bool hold) override {
        CliHost::HoldSystemForTransfer(hold);
        if (!hold) return;
        std::ofstream(flag_) << "hung\n";
        std::printf("held\n");
        std::fflush(stdout);
    }

  private:
    std::string flag_;
};

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: orvane_cli_hang_target MOUNT-POINT FLAG\n");
        return 2;
    }
    if (::chdir(qt::ExampleFolder().c_str()) != 0) return 2;
    std::ifstream file("FirmWare.ini", std::ios::binary);
    std::stringstream settings;
    settings << file.rdbuf();
    qt::DemoMachine machine(
        linux_port::ReadProfileValue(settings.str(), "PID_VID", "PID_VID", "", 260), argv[1]);
    machine.PlugCamera();
    // The run ends by the signal, so the machine's folder outlives it: the
    // test removes it.
    std::printf("machine %s\n", machine.roots().mountInfo.parent_path().c_str());
    std::fflush(stdout);

    auto write = [](std::FILE* stream) {
        return [stream](std::string_view text) {
            std::fwrite(text.data(), 1, text.size(), stream);
            std::fflush(stream);
        };
    };
    cli::Reporter report(cli::OutputStyle::Lines, write(stdout), write(stderr));
    HangingHost host(machine.roots(), argv[2]);
    host.WatchTerminationSignals();
    const cli::Options options = std::get<cli::Options>(cli::ParseOptions({}));
    const int status = cli::RunUpdate(options, host, host, report, nullptr, [&host] {
        return std::make_unique<linux_port::CameraSystem>(host);
    });
    return linux_port::CliHost::FinishRun(status);
}
