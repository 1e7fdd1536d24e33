// Start-up of the Linux program: one updater dialog, run modally, then exit.
#include <QApplication>

#include "platform/qt/termination_signals.h"
#include "platform/qt/updater_window.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    orvane::qt::UpdaterWindow window;
    // The dialog's result is not examined: the run ends with the dialog.
    orvane::qt::ExecEndingOnSignals(window);
    return 0;
}
