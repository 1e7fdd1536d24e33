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
//
// Usage: orvane_signal_target stuck-lookup|stuck-transfer
//   presses UpDate, and the question about the camera's storage, or the
//   transfer before its first file operation, never returns. For 3 s the
//   window's loop is timed on a 20 ms timer; then it prints how late the
//   latest tick came and its status line, presses Cancel, and prints
//   "cancel" with the time (CLOCK_REALTIME, ns): the caller measures how
//   soon the process ends after it, and removes the machine folder, which
//   the process ends without.
// First come "machine ROOT" and "destination FOLDER" (the camera's).
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QSemaphore>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
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
        if (hold && parkAt_ == "stuck-transfer") NeverReturn();
        if (parkAt_ != (hold ? "start" : "end")) return;
        Say("parked");
        goOn_.acquire();
    }
    void RunDeviceQuery(std::function<void()> work) override {
        if (parkAt_ == "stuck-lookup") work = [this] { NeverReturn(); };
        UpdaterWindow::RunDeviceQuery(std::move(work));
    }
    bool EndAfterTransfer() override {
        const bool ending = UpdaterWindow::EndAfterTransfer();
        goOn_.release();
        return ending;
    }

  private:
    void NeverReturn() {
        Say("parked");
        stuck_.acquire();
    }

    const std::string parkAt_;
    QSemaphore goOn_;
    QSemaphore stuck_;
};

// Times the window's loop while the camera does not answer, then presses
// Cancel.
void ProbeThenCancel(orvane::qt::UpdaterWindow& window) {
    auto* tick = new QTimer(&window);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    auto latest = std::make_shared<qint64>(0);
    auto last = std::make_shared<qint64>(0);
    QObject::connect(tick, &QTimer::timeout, &window, [&window, tick, clock, latest, last] {
        const qint64 now = clock->elapsed();
        *latest = std::max(*latest, now - *last - 20);
        *last = now;
        if (now < 3000) return;
        tick->stop();
        Say("latest tick " + std::to_string(*latest) + " ms late");
        Say("status " + window.findChild<QLabel*>("progressStatus")->text().toStdString());
        timespec at{};
        ::clock_gettime(CLOCK_REALTIME, &at);
        Say("cancel " + std::to_string(at.tv_sec * 1000000000LL + at.tv_nsec));
        window.reject();
    });
    tick->start(20);
}

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
    const bool stuck =
        std::strcmp(mode, "stuck-lookup") == 0 || std::strcmp(mode, "stuck-transfer") == 0;
    if (std::strcmp(mode, "rest") != 0 && std::strcmp(mode, "start") != 0 &&
        std::strcmp(mode, "end") != 0 && !stuck) {
        std::fprintf(stderr,
                     "usage: orvane_signal_target rest|start|end|stuck-lookup|stuck-transfer\n");
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
    QTimer::singleShot(0, &window, [&window, mode, stuck] {
        if (std::strcmp(mode, "rest") == 0)
            Say("ready");
        else
            window.core().OnUpdateClicked();
        if (stuck) ProbeThenCancel(window);
    });
    window.show();
    return orvane::qt::ExecEndingOnSignals(window);
}
