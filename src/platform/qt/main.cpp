// Start-up of the Linux program: one updater dialog, run modally, then exit.
#include <QApplication>
#include <cstdio>
#include <cstring>

#include "platform/qt/termination_signals.h"
#include "platform/qt/updater_window.h"
#include "version.h"

namespace {

constexpr const char* kUsage =
    "Usage: orvane [--version | --help]\n"
    "Puts a camera's firmware update files onto the camera's own storage.\n"
    "Start it in the folder that holds FirmWare.ini; it opens the updater dialog.\n"
    "\n"
    "  --version  print the version and exit\n"
    "  --help     print this text and exit\n";

}  // namespace

int main(int argc, char* argv[]) {
    // Answered before QApplication exists: they need no display, so they work
    // over ssh, in a package's checks and in scripts.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("orvane %s\n", ORVANE_VERSION_TEXT);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    QApplication application(argc, argv);
    orvane::qt::UpdaterWindow window;
    // The dialog's result is not examined: the run ends with the dialog.
    orvane::qt::ExecEndingOnSignals(window);
    return 0;
}
