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
//
// Usage: orvane_signal_target hung-cancel|hung-signal MOUNT-POINT FLAG
//   the camera's storage is the FUSE folder at MOUNT-POINT
//   (orvane_hung_folder), which stops answering once FLAG exists.
//   hung-cancel creates FLAG, presses UpDate (the question about the
//   camera's storage waits on the folder), and 1.5 s later presses Escape
//   and prints "escape" with the time. hung-signal presses UpDate; the
//   transfer creates FLAG before its first file operation, which then
//   waits, and prints "held".
// First come "machine ROOT" and "destination FOLDER" (the camera's).
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QSemaphore>
#include <QTimer>
#include <algorithm>
#include <cstdint>
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

std::int64_t RealTimeNs() {
    timespec at{};
    ::clock_gettime(CLOCK_REALTIME, &at);
    return at.tv_sec * 1000000000LL + at.tv_nsec;
}

// The camera's folder stops answering from now on.
void Hang(const std::string& flag) {
    std::ofstream(flag) << "hung\n";
}

class ParkingWindow : public orvane::qt::UpdaterWindow {
  public:
    ParkingWindow(orvane::linux_port::SystemRoots roots, const char* parkAt, std::string flag)
        : UpdaterWindow(std::move(roots)), parkAt_(parkAt), flag_(std::move(flag)) {}

    void HoldSystemForTransfer(bool hold) override {
        UpdaterWindow::HoldSystemForTransfer(hold);
        if (hold && parkAt_ == "hung-signal") {
            Hang(flag_);
            Say("held");
            return;
        }
        if (hold && parkAt_ == "stuck-transfer") NeverReturn();
        if (parkAt_ != (hold ? "start" : "end")) return;
        Say("parked");
        goOn_.acquire();
    }
    // The questions after the press never return; the scan that found the
    // camera did.
    void RunDeviceQuery(std::function<void()> work) override {
        if (parkAt_ == "stuck-lookup" && pressed) work = [this] { NeverReturn(); };
        UpdaterWindow::RunDeviceQuery(std::move(work));
    }
    bool pressed = false;
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
    const std::string flag_;
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
        Say("cancel " + std::to_string(RealTimeNs()));
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
    const char* mode = argc >= 2 ? argv[1] : "";
    const bool stuck =
        std::strcmp(mode, "stuck-lookup") == 0 || std::strcmp(mode, "stuck-transfer") == 0;
    const bool hung = argc == 4 && (std::strcmp(mode, "hung-cancel") == 0 ||
                                    std::strcmp(mode, "hung-signal") == 0);
    if (!hung && (argc != 2 || (std::strcmp(mode, "rest") != 0 && std::strcmp(mode, "start") != 0 &&
                                std::strcmp(mode, "end") != 0 && !stuck))) {
        std::fprintf(stderr,
                     "usage: orvane_signal_target rest|start|end|stuck-lookup|stuck-transfer\n"
                     "       orvane_signal_target hung-cancel|hung-signal MOUNT-POINT FLAG\n");
        return 2;
    }
    const std::string flag = hung ? argv[3] : "";
    if (::chdir(orvane::qt::ExampleFolder().c_str()) != 0) return 2;
    const std::string settings = ReadText("FirmWare.ini");
    auto value = [&settings](const char* section, const char* key) {
        return orvane::linux_port::ReadProfileValue(settings, section, key, "", 260);
    };

    orvane::qt::DemoMachine machine(value("PID_VID", "PID_VID"),
                                    hung ? std::filesystem::path(argv[2]) : "");
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

    ParkingWindow window(machine.roots(), mode, flag);
    // Once the first scan, on a thread of its own, has found the camera.
    auto* found = new QTimer(&window);
    QObject::connect(found, &QTimer::timeout, &window, [&window, found, mode, stuck, flag] {
        if (!window.core().deviceFound()) return;
        found->stop();
        if (std::strcmp(mode, "rest") == 0) {
            Say("ready");
            return;
        }
        window.pressed = true;
        if (std::strcmp(mode, "hung-cancel") == 0) {
            Hang(flag);
            QTimer::singleShot(1500, &window, [&window] {
                Say("escape " + std::to_string(RealTimeNs()));
                QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QApplication::sendEvent(&window, &escape);
            });
        }
        window.core().OnUpdateClicked();
        if (stuck) ProbeThenCancel(window);
    });
    found->start(5);
    window.show();
    return orvane::qt::ExecEndingOnSignals(window);
}
