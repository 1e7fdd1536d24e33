// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The Linux program's window and signal handling on a simulated machine, for
// tests/qt/signal_test.sh: the camera is present from the start with an
// earlier update on it, and the transfer can be parked where the test sends
// its signal.
//
// Usage: orvane_signal_target rest|start|end
//   rest   no transfer: prints "ready" once the dialog is up
//   start  presses UpDate; the worker parks once the hold on the system has
//          begun, before any file operation
//   end    presses UpDate; the worker parks once the hold has ended, after
//          the last file operation, before the result reaches the dialog
// A parked worker prints "parked" and goes on once a signal has been handled.
// First come "machine ROOT" and "destination FOLDER" (the camera's).
#include <unistd.h>

#include <QApplication>
#include <QSemaphore>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/linux/profile_reader.h"
#include "platform/qt/demo_machine.h"
#include "platform/qt/termination_signals.h"
#include "platform/qt/updater_window.h"
#include "settings/folder_values.h"

namespace {

void Say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

class ParkingWindow : public orvane::qt::UpdaterWindow {
  public:
    ParkingWindow(orvane::linux_port::SystemRoots roots, const char* parkAt)
        : UpdaterWindow(std::move(roots)), parkAt_(parkAt) {}

    void HoldSystemForTransfer(bool hold) override {
        UpdaterWindow::HoldSystemForTransfer(hold);
        if (parkAt_ != (hold ? "start" : "end")) return;
        Say("parked");
        goOn_.acquire();
    }
    bool EndAfterTransfer() override {
        const bool ending = UpdaterWindow::EndAfterTransfer();
        goOn_.release();
        return ending;
    }

  private:
    const std::string parkAt_;
    QSemaphore goOn_;
};

std::string ReadText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    const char* mode = argc == 2 ? argv[1] : "";
    if (std::strcmp(mode, "rest") != 0 && std::strcmp(mode, "start") != 0 &&
        std::strcmp(mode, "end") != 0) {
        std::fprintf(stderr, "usage: orvane_signal_target rest|start|end\n");
        return 2;
    }
    if (::chdir(orvane::qt::ExampleFolder().c_str()) != 0) return 2;
    const std::string settings = ReadText("FirmWare.ini");
    auto value = [&settings](const char* section, const char* key) {
        return orvane::linux_port::ReadProfileValue(settings, section, key, "", 260);
    };

    orvane::qt::DemoMachine machine(value("PID_VID", "PID_VID"));
    machine.PlugCamera();
    const std::filesystem::path destination =
        machine.cameraDrive() /
        std::filesystem::path(orvane::linux_port::JoinLinuxPath(
                                  "", orvane::DestinationFolderFragment(value("DestPath", "Path"))))
            .relative_path();
    std::filesystem::create_directories(destination);
    std::ofstream(destination / "vorm.bin") << "old image";
    std::ofstream(destination / "dsccmd.ini") << "old commands";
    Say("machine " + machine.roots().mountInfo.parent_path().string());
    Say("destination " + destination.string());

    ParkingWindow window(machine.roots(), mode);
    QTimer::singleShot(0, &window, [&window, mode] {
        if (std::strcmp(mode, "rest") == 0)
            Say("ready");
        else
            window.core().OnUpdateClicked();
    });
    window.show();
    return orvane::qt::ExecEndingOnSignals(window);
}
