// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// orvane-demo: the Linux program on a simulated machine whose camera "plugs
// in" a few seconds after start, so the whole job can be watched without one.
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/linux/profile_reader.h"
#include "platform/qt/demo_machine.h"
#include "platform/qt/termination_signals.h"
#include "platform/qt/updater_window.h"

namespace {

constexpr int kPlugInDelayMs = 3000;

std::string ConfiguredHardwareId() {
    std::ifstream file("FirmWare.ini", std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return orvane::linux_port::ReadProfileValue(text.str(), "PID_VID", "PID_VID", "", 260);
}

void ListCameraFiles(const std::filesystem::path& drive) {
    std::error_code error;
    if (!std::filesystem::exists(drive, error)) return;
    std::printf("Files on the simulated camera (%s):\n", drive.c_str());
    bool any = false;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(drive, error)) {
        any = true;
        std::string name = std::filesystem::relative(entry.path(), drive).string();
        if (entry.is_directory())
            std::printf("  %s/\n", name.c_str());
        else
            std::printf("  %s  (%ju bytes)\n", name.c_str(),
                        static_cast<std::uintmax_t>(entry.file_size()));
    }
    if (!any) std::printf("  (none)\n");
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);

    // Settings and update files come from the working folder, as for the real
    // program; without them here, the example folder of the sources serves.
    if (!std::filesystem::exists("FirmWare.ini")) {
        const std::filesystem::path examples = orvane::qt::ExampleFolder();
        if (::chdir(examples.c_str()) != 0) {
            std::fprintf(stderr, "orvane-demo: no FirmWare.ini here, and %s cannot be opened\n",
                         examples.c_str());
            return 1;
        }
    }
    std::printf("orvane-demo: working folder %s\n", std::filesystem::current_path().c_str());

    orvane::qt::DemoMachine machine(ConfiguredHardwareId());
    orvane::qt::UpdaterWindow window(machine.roots());
    QTimer::singleShot(kPlugInDelayMs, &window, [&machine] {
        machine.PlugCamera();
        std::printf("orvane-demo: camera plugged in; its storage is mounted at %s\n",
                    machine.cameraDrive().c_str());
        std::fflush(stdout);
    });
    std::printf("orvane-demo: the camera will be plugged in %d seconds after start\n",
                kPlugInDelayMs / 1000);
    std::fflush(stdout);

    // Ctrl+C and kill end the demo through the event loop, so that the
    // simulated machine's temporary folder is removed; a running transfer
    // is stopped (or finished) first.
    orvane::qt::TerminationSignals watch([&window](int) {
        if (!window.EndAfterTransfer()) window.done(orvane::IDCANCEL);
    });

    window.exec();
    ListCameraFiles(machine.cameraDrive());
    return 0;
}
