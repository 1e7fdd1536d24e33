// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Start-up of the Linux program: one updater dialog, run modally, then exit.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/linux/udisks_mounter.h"
#include "platform/qt/termination_signals.h"
#include "platform/qt/updater_window.h"
#include "texts/command_line_texts.h"
#include "version.h"

namespace {

bool Set(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// Qt ends the process with an abort when it finds no display; say what to
// do instead. A platform named outright (offscreen, vnc) needs none.
bool HasDisplay() {
    return Set("DISPLAY") || Set("WAYLAND_DISPLAY") || Set("QT_QPA_PLATFORM");
}

}  // namespace

int main(int argc, char* argv[]) {
    // Answered before QApplication exists: they need no display, so they work
    // over ssh, in a package's checks and in scripts.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("orvane %s\n", ORVANE_VERSION_TEXT);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fwrite(orvane::texts::kDialogUsage.data(), 1, orvane::texts::kDialogUsage.size(),
                    stdout);
        return 0;
    }
    if (!HasDisplay()) {
        std::fputs(
            "orvane: no display to show the updater dialog on; "
            "orvane-cli updates the camera from a terminal.\n",
            stderr);
        return 1;
    }
    QApplication application(argc, argv);
    // As a file manager would, the dialog mounts a camera volume that the
    // desktop left unmounted, through UDisks2.
    orvane::linux_port::UDisksMounter mounter;
    orvane::qt::UpdaterWindow window({}, nullptr, &mounter);
    // The dialog ends with IDOK only after "Update success".
    const int result = orvane::qt::ExecEndingOnSignals(window);
    return result == orvane::IDOK ? 0 : 1;
}
