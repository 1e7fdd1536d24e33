// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The Windows program timed on a slow card, as a user sees it.
#include "card_bench.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ui/res/resource.h"

namespace orvane::e2e {

namespace {

// From the environment, as tools/card-bench.sh sets them.
std::size_t FromEnvironment(const char* name, std::size_t fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0'
               ? static_cast<std::size_t>(std::strtoul(value, nullptr, 10))
               : fallback;
}

double Seconds() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Wall-clock milliseconds since 1970: the paced folder logs its calls by the
// same clock, so the two can be laid side by side.
double WallMs() {
    FILETIME time;
    GetSystemTimePreciseAsFileTime(&time);
    const auto ticks = (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return static_cast<double>(ticks - 116444736000000000ull) / 1e4;
}

void Report(const std::string& name, double value) {
    std::printf("bench %s %.1f\n", name.c_str(), value);
    std::fflush(stdout);
}

HWND Visible(HWND window) {
    return window != nullptr && IsWindowVisible(window) ? window : nullptr;
}

struct BoxSearch {
    HWND owner;
    HWND found;
};

BOOL CALLBACK MatchBox(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<BoxSearch*>(data);
    if (GetWindow(window, GW_OWNER) != search->owner || !IsWindowVisible(window)) return TRUE;
    search->found = window;
    return FALSE;
}

// A visible top-level window that the dialog owns: a message box.
HWND OwnedBox(HWND dialog) {
    BoxSearch search{dialog, nullptr};
    EnumWindows(MatchBox, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// What the dialog shows of the transfer: the bar's position and the status
// line; empty while it shows none.
std::string Shown(HWND dialog) {
    HWND bar = Visible(FindWindowExA(dialog, nullptr, PROGRESS_CLASSA, nullptr));
    if (bar == nullptr) return {};
    DWORD_PTR position = 0;
    SendMessageTimeoutA(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 5000, &position);
    return std::to_string(position) + " " + WindowText(GetWindow(bar, GW_HWNDNEXT));
}

std::string Join(const std::string& folder, const std::string& name) {
    return folder.back() == '\\' ? folder + name : folder + "\\" + name;
}

}  // namespace

void CardBench(const e2e::Setting& setting, CardRun run) {
    const std::size_t imageBytes = (FromEnvironment("ORVANE_CARD_IMAGE_MIB", 32) << 20) + 12345;
    const double stopAfter =
        static_cast<double>(FromEnvironment("ORVANE_CARD_STOP_MS", 3000)) / 1000;

    WriteFileBytes(Join(setting.workFolder, "FirmWare.ini"),
                   "[PID_VID]\r\nPID_VID=USB\\VID_04DA&PID_2372&REV_0100\r\n\r\n"
                   "[SrcPath]\r\nPath=\\fw\\\r\n\r\n[DestPath]\r\nPath=\\FIRMWARE\\\r\n");
    const std::string source = Join(setting.workFolder, "fw");
    MakeFolder(source);
    WriteLargeFile(Join(source, "vorm.bin"), imageBytes, 31);
    WriteFileBytes(Join(source, "dsccmd.ini"), "[CMD]\r\nUPDATE=1\r\n");
    const std::string camera = setting.cameraDrive + "\\FIRMWARE";
    MakeFolder(camera);
    WriteFileBytes(Join(camera, "vorm.bin"), "old firmware image");
    WriteFileBytes(Join(camera, "dsccmd.ini"), "[CMD]\r\nUPDATE=0\r\n");

    std::string ids = "USB\\VID_04DA&PID_2372&REV_0100";
    ids += '\0';
    ids += "USB\\VID_04DA&PID_2372";
    ids += std::string(2, '\0');
    UsbDeviceKeys device("VID_04DA&PID_2372", "5&1234&0&1", ids);
    device.Plug();

    Program program(setting.program, setting.workFolder);
    HWND dialog = program.WaitForDialog();
    PostMessageA(GetDlgItem(dialog, IDC_UPDATE), BM_CLICK, 0, 0);
    const double pressed = Seconds();

    // The dialog as the user sees it, looked at every 10 ms: each change of
    // the bar or the status line is one progress update.
    std::string last;
    double lastChange = 0, longestGap = 0;
    HWND box = nullptr;
    for (;;) {
        const double now = Seconds();
        if (run != CardRun::Update && now - pressed >= stopAfter) break;
        if (run == CardRun::Update && (box = OwnedBox(dialog)) != nullptr) {
            Report("update_s", now - pressed);
            break;
        }
        Expect(program.Running(), "the program runs until it is stopped or reports");
        const std::string shown = Shown(dialog);
        if (!shown.empty() && shown != last) {
            if (lastChange != 0) longestGap = std::max(longestGap, now - lastChange);
            lastChange = now;
            last = shown;
        }
        Sleep(10);
    }
    Report("longest_gap_ms", longestGap * 1000);
    if (run == CardRun::Update) {
        std::printf("bench message %s\n", MessageBoxText(box).c_str());
        CloseMessageBox(box);
        Report("exit_code", program.WaitForExit());
    } else {
        Report("stop_wall_ms", WallMs());
        const double stopped = Seconds();
        if (run == CardRun::Cancel)
            PostMessageA(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
        else
            PressKey(GetDlgItem(dialog, IDCANCEL), VK_ESCAPE);
        const DWORD code = program.WaitForExit(30000);
        Report("stop_to_end_ms", (Seconds() - stopped) * 1000);
        Report("end_wall_ms", WallMs());
        Report("exit_code", code);
    }
    device.Unplug();
}

}  // namespace orvane::e2e
