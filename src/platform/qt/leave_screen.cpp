// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Hiding the windows and cutting the process's sockets, display first.
#include "platform/qt/leave_screen.h"

#include <dirent.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QWidget>
#include <cstdlib>
#include <cstring>
#include <string>

namespace orvane::qt {

void LeaveScreen() {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) {
        for (QWidget* window : QApplication::topLevelWidgets()) window->hide();
    }
    // shutdown(2), not close(2): Qt's thread that reads the display
    // connection waits on it in poll(2), which would keep a closed socket
    // open; a shut-down one ends for both sides at once.
    DIR* folder = ::opendir("/proc/self/fd");
    if (folder == nullptr) return;
    const int own = ::dirfd(folder);
    while (const dirent* entry = ::readdir(folder)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd <= 2 || fd == own) continue;
        // Told by the link's name, not by fstat(2), which would ask the
        // file system of each open file, the hung one too.
        char target[64] = {};
        const std::string link = "/proc/self/fd/" + std::string(entry->d_name);
        if (::readlink(link.c_str(), target, sizeof target - 1) > 0 &&
            std::strncmp(target, "socket:", 7) == 0)
            ::shutdown(static_cast<int>(fd), SHUT_RDWR);
    }
    ::closedir(folder);
}

}  // namespace orvane::qt
