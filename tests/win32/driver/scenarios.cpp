// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The end-to-end scenarios: Orvane.exe started in a prepared folder with a
// simulated camera, driven through its windows as a user would.
//
// Usage: orvane_e2e SCENARIO PROGRAM WORK-FOLDER CAMERA-DRIVE
// CAMERA-DRIVE is "G:" or "-" when the scenario maps no camera drive.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <sstream>

#include "card_bench.h"
#include "event_checks.h"
#include "session.h"
#include "threads.h"
// After session.h, which brings <windows.h>.
#include <winioctl.h>

#include "texts/texts.h"
#include "ui/res/resource.h"

namespace orvane::e2e {

namespace {

const std::string kFirmwareName = "vorm.bin";
const std::string kCommandName = "dsccmd.ini";
// An odd size: neither a sector multiple nor a multiple of any copy chunk.
const std::string kFirmware = FirmwareBytes(300001, 7);
const std::string kCommand = "[CMD]\r\nUPDATE=1\r\n";
const std::string kOldFirmware = "old firmware image";
const std::string kOldCommand = "[CMD]\r\nUPDATE=0\r\n";

// A REG_MULTI_SZ value: each string with its NUL, and one more at the end.
std::string MultiSz(std::initializer_list<std::string> strings) {
    std::string value;
    for (const std::string& text : strings) value += text + '\0';
    return value + '\0';
}

// The camera, and a device the scan must walk past: its ID list is shorter,
// which must not keep the camera's longer list from being read. The camera's
// list runs to several hundred bytes, as a composite device's can: it is read
// whole, however long.
UsbDeviceKeys Camera(const std::string& instance = "5&1234&0&1") {
    std::string ids = "USB\\VID_04DA&PID_2372&REV_0100";
    ids += '\0';
    ids += "USB\\VID_04DA&PID_2372";
    for (int i = 0; i < 16; ++i) {
        ids += '\0';
        ids += "USB\\COMPOSITE&VID_04DA&CLASS_" + std::to_string(i);
    }
    ids += std::string(2, '\0');
    return UsbDeviceKeys("VID_04DA&PID_2372", instance, ids);
}
UsbDeviceKeys OtherDevice() {
    return UsbDeviceKeys("VID_0451&PID_2046", "5&1111&0&2", MultiSz({"USB\\VID_0451&PID_2046"}));
}

std::string Join(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '\\') return folder + name;
    return folder + "\\" + name;
}

std::string Str(std::string_view text) {
    return std::string(text);
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class Scenario {
  public:
    explicit Scenario(Setting setting) : setting_(std::move(setting)) {
        camera_.Unplug();
        other_.Unplug();
    }
    ~Scenario() {
        camera_.Unplug();
        other_.Unplug();
    }

    const Setting& setting() const { return setting_; }
    UsbDeviceKeys& camera() { return camera_; }
    UsbDeviceKeys& other() { return other_; }

    std::string Work(const std::string& name) const { return Join(setting_.workFolder, name); }
    std::string Source(const std::string& name) const { return Join(Work("fw"), name); }
    std::string CameraFolder() const { return setting_.cameraDrive + "\\FIRMWARE"; }
    std::string OnCamera(const std::string& name) const { return Join(CameraFolder(), name); }

    // FirmWare.ini as a user writes it, with the hardware ID in another case
    // than the device reports it: the comparison ignores case.
    void WriteSettings() const {
        WriteFileBytes(Work("FirmWare.ini"),
                       "[PID_VID]\r\nPID_VID=usb\\vid_04da&pid_2372&rev_0100\r\n\r\n"
                       "[SrcPath]\r\nPath=\\fw\\\r\n\r\n[DestPath]\r\nPath=\\FIRMWARE\\\r\n");
    }
    void WriteSources(bool withFirmware = true) const {
        MakeFolder(Work("fw"));
        if (withFirmware) WriteFileBytes(Source(kFirmwareName), kFirmware);
        WriteFileBytes(Source(kCommandName), kCommand);
    }
    void PutOldFilesOnCamera() const {
        MakeFolder(CameraFolder());
        WriteFileBytes(OnCamera(kFirmwareName), kOldFirmware);
        WriteFileBytes(OnCamera(kCommandName), kOldCommand);
    }

    void ExpectNewFilesOnCamera() const {
        Expect(ListFolder(CameraFolder()) == std::vector<std::string>{kCommandName, kFirmwareName},
               "the camera's folder holds exactly the two update files, no temporary file");
        Expect(ReadFileBytes(OnCamera(kFirmwareName)) == kFirmware,
               "vorm.bin on the camera has the source's bytes");
        Expect(ReadFileBytes(OnCamera(kCommandName)) == kCommand,
               "dsccmd.ini on the camera has the source's bytes");
    }
    void ExpectOldFilesOnCamera() const {
        Expect(ListFolder(CameraFolder()) == std::vector<std::string>{kCommandName, kFirmwareName},
               "the camera's folder holds the old files and nothing else");
        Expect(ReadFileBytes(OnCamera(kFirmwareName)) == kOldFirmware,
               "the old vorm.bin is untouched");
        Expect(ReadFileBytes(OnCamera(kCommandName)) == kOldCommand,
               "the old dsccmd.ini is untouched");
    }

  private:
    Setting setting_;
    UsbDeviceKeys camera_ = Camera();
    UsbDeviceKeys other_ = OtherDevice();
};

// Waits for a box over `dialog` and checks the updater's message box: its
// caption, its one text, and the dialog disabled beneath it.
HWND ExpectMessage(Program& program, HWND dialog, const std::string& caption,
                   const std::function<bool(const std::string&)>& textIs, const std::string& what) {
    HWND box = program.WaitForOwned(dialog);
    const std::string text = MessageBoxText(box);
    Log("message box: \"" + WindowText(box) + "\": \"" + text + "\"");
    Expect(WindowText(box) == caption, "the message box's caption is \"" + caption + "\"");
    Expect(textIs(text), what);
    Expect(!IsWindowEnabled(dialog), "the dialog is disabled while the box is open");
    const std::vector<ControlInfo> controls = Controls(box);
    Expect(std::any_of(controls.begin(), controls.end(),
                       [](const ControlInfo& c) { return (c.style & SS_TYPEMASK) == SS_ICON; }),
           "the message box shows an icon");
    Expect(std::count_if(controls.begin(), controls.end(),
                         [](const ControlInfo& c) { return ClassName(c.window) == "Button"; }) == 1,
           "the message box has one button");
    return box;
}

std::function<bool(const std::string&)> Is(std::string_view expected) {
    return [expected = std::string(expected)](const std::string& text) { return text == expected; };
}

HWND Item(HWND dialog, int id) {
    HWND item = GetDlgItem(dialog, id);
    Expect(item != nullptr, "the dialog has control " + std::to_string(id));
    return item;
}

HWND Focus(const Program& program) {
    GUITHREADINFO info;
    std::memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    GetGUIThreadInfo(program.threadId(), &info);
    return info.hwndFocus;
}

INT_PTR CALLBACK IgnoreMessages(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

// A control's place (x, y, width, height in dialog units) as a pixel
// rectangle for the dialogs' font, measured on a dialog of our own.
RECT DialogUnitsToPixels(RECT units) {
    std::vector<WORD> words;
    auto dword = [&words](DWORD value) {
        words.push_back(LOWORD(value));
        words.push_back(HIWORD(value));
    };
    dword(DS_SETFONT | WS_POPUP);                    // style
    dword(0);                                        // extended style
    words.insert(words.end(), {0, 0, 0, 100, 100});  // no items; x, y, cx, cy
    words.insert(words.end(), {0, 0, 0, 8});         // no menu, class, title; 8 points
    for (const char* c = "MS Sans Serif"; *c != '\0'; ++c) words.push_back(static_cast<WORD>(*c));
    words.push_back(0);
    HWND probe = CreateDialogIndirectParamA(GetModuleHandleA(nullptr),
                                            reinterpret_cast<LPCDLGTEMPLATEA>(words.data()),
                                            nullptr, IgnoreMessages, 0);
    Expect(probe != nullptr, "create a dialog to measure dialog units");
    // Each of the four is scaled on its own, as the dialog manager does when
    // it creates a control: x, y, width, height, not the right and bottom edges.
    MapDialogRect(probe, &units);
    DestroyWindow(probe);
    return RECT{units.left, units.top, units.left + units.right, units.top + units.bottom};
}

void ExpectCleanExit(Program& program) {
    DWORD code = program.WaitForExit();
    Expect(code == 0, "the process exits with code 0, not " + std::to_string(code));
}

// ---- Scenarios ------------------------------------------------------------------

// Camera connected before start: the first scan finds it; the keyboard takes
// the focus from Cancel to "UpDate" and presses it; both files replace the
// old ones, "Update success", and the process ends. The runner starts this
// one at a drive root, where the folder paths carry a doubled backslash.
void CameraPresentAtStart(Scenario& scenario) {
    scenario.WriteSettings();
    scenario.WriteSources();
    scenario.PutOldFilesOnCamera();
    scenario.other().Plug();
    scenario.camera().Plug();

    Program program(scenario.setting().program, scenario.setting().workFolder);
    HWND dialog = program.WaitForDialog();
    HWND cancel = Item(dialog, IDCANCEL);
    HWND update = Item(dialog, IDC_UPDATE);
    Expect(Focus(program) == cancel, "the focus starts on Cancel");
    PressKey(cancel, VK_TAB);
    WaitUntil([&] { return Focus(program) == update; }, 2000, "Tab moves the focus to UpDate");
    PressKey(update, VK_RETURN);

    HWND box = ExpectMessage(program, dialog, "Orvane", Is(texts::kUpdateSuccess),
                             "the update reports success");
    scenario.ExpectNewFilesOnCamera();
    CloseMessageBox(box);
    ExpectCleanExit(program);
    Expect(ReadFileBytes(scenario.Source(kFirmwareName)) == kFirmware,
           "the source file is unchanged");
}

// Camera absent: "please check device", and the dialog stays and polls. The
// camera is plugged in while that box is open; a tick inside the box's loop
// finds it, so the next press goes straight to the transfer.
void CameraPluggedInLater(Scenario& scenario) {
    scenario.WriteSettings();
    scenario.WriteSources();
    scenario.other().Plug();

    Program program(scenario.setting().program, scenario.setting().workFolder);
    HWND dialog = program.WaitForDialog();
    HWND update = Item(dialog, IDC_UPDATE);

    Click(update);
    HWND box = ExpectMessage(program, dialog, "Orvane", Is(texts::kCheckDevice),
                             "without a camera the answer is \"please check device\"");
    CloseMessageBox(box);
    Log("waiting past a poll tick without the camera");
    program.WaitPastPollTick(dialog);
    Expect(program.Running(), "the dialog is still open");
    Click(update);
    box = ExpectMessage(program, dialog, "Orvane", Is(texts::kCheckDevice),
                        "still no camera after a tick");
    Expect(ListFolder(scenario.CameraFolder()).empty(), "nothing was written to the camera");

    scenario.camera().Plug();
    Log("camera plugged in while the box is open; waiting past the next tick");
    program.WaitPastPollTick(box);
    Expect(IsWindow(box), "the box stays open until the user closes it");
    Expect(ListFolder(scenario.CameraFolder()).empty(),
           "finding the camera writes nothing by itself");
    // Both are posted at once, so no tick can come between them.
    CloseMessageBox(box);
    Click(update);
    WaitGone(box);
    box = ExpectMessage(program, dialog, "Orvane", Is(texts::kUpdateSuccess),
                        "the camera found during the box is used by the next press");
    CloseMessageBox(box);
    ExpectCleanExit(program);
    scenario.ExpectNewFilesOnCamera();
}

// Cancel, Escape, the close box and Enter on the focused Cancel each end the
// program at once, with the camera present, without touching a file.
void CancelPaths(Scenario& scenario) {
    scenario.WriteSettings();
    scenario.WriteSources();
    scenario.PutOldFilesOnCamera();
    scenario.camera().Plug();

    const std::map<std::string, std::function<void(HWND)>> ways = {
        {"Cancel button", [](HWND dialog) { Click(Item(dialog, IDCANCEL)); }},
        {"Escape key", [](HWND dialog) { PressKey(Item(dialog, IDCANCEL), VK_ESCAPE); }},
        {"close box", [](HWND dialog) { PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"Enter on Cancel", [](HWND dialog) { PressKey(Item(dialog, IDCANCEL), VK_RETURN); }},
    };
    for (const auto& [name, act] : ways) {
        Log(name);
        Program program(scenario.setting().program, scenario.setting().workFolder);
        HWND dialog = program.WaitForDialog();
        act(dialog);
        ExpectCleanExit(program);
        scenario.ExpectOldFilesOnCamera();
    }
}

// The About box opens from the system menu, shows its texts over the dialog
// and returns to it; poll ticks go on while it is open.
void AboutBox(Scenario& scenario) {
    scenario.WriteSettings();
    scenario.WriteSources();

    Program program(scenario.setting().program, scenario.setting().workFolder);
    HWND dialog = program.WaitForDialog();

    // A system command opens the About box when its bits 4 to 15 read 0x001,
    // whatever the low bits.
    for (WPARAM command : {WPARAM{IDM_ABOUTBOX}, WPARAM{0x1F}}) {
        PostMessageA(dialog, WM_SYSCOMMAND, command, 0);
        HWND about = program.WaitForOwned(dialog);
        Expect(WindowText(about) == texts::kAboutTitle, "the About box's caption");
        Expect(!IsWindowEnabled(dialog), "the dialog is disabled under the About box");
        PressKey(Item(about, IDOK), VK_ESCAPE);
        WaitGone(about);
    }
    PostMessageA(dialog, WM_SYSCOMMAND, 0x20, 0);
    program.ExpectNoOwned(dialog, 500, "system command 0x20 is not the About entry");

    // Alt+Space opens the system menu; Up from the top lands on its last
    // entry, which must be About.
    PostMessageA(dialog, WM_SYSCOMMAND, SC_KEYMENU, ' ');
    HWND menu = nullptr;
    WaitUntil([&] { return (menu = FindWindowA("#32768", nullptr)) != nullptr; }, 2000,
              "Alt+Space opens the system menu");
    PressKey(menu, VK_UP);
    PressKey(menu, VK_RETURN);
    HWND about = program.WaitForOwned(dialog);
    Log("About box opened from the system menu");

    std::vector<ControlInfo> controls = Controls(about);
    Expect(controls.size() == 4, "the About box has four controls");
    Expect((controls[0].style & SS_TYPEMASK) == SS_ICON, "first comes the icon");
    Expect(controls[1].text == texts::kAboutVersion, "the version line");
    Expect(controls[2].text == texts::kAboutSecondLine, "the second line");
    Expect(controls[3].id == IDOK && controls[3].text == "OK", "the OK button");
    RECT aboutRect, dialogRect;
    GetWindowRect(about, &aboutRect);
    GetWindowRect(dialog, &dialogRect);
    const LONG dx = (aboutRect.left + aboutRect.right) - (dialogRect.left + dialogRect.right);
    const LONG dy = (aboutRect.top + aboutRect.bottom) - (dialogRect.top + dialogRect.bottom);
    Expect(dx >= -2 && dx <= 2 && dy >= -2 && dy <= 2, "the About box is centred over the dialog");

    scenario.camera().Plug();
    Log("camera plugged in while the About box is open; waiting past the next tick");
    program.WaitPastPollTick(about);
    // Both are posted at once, so no tick can come between them.
    Click(Item(about, IDOK));
    Click(Item(dialog, IDC_UPDATE));
    WaitGone(about);
    HWND box = ExpectMessage(program, dialog, "Orvane", Is(texts::kUpdateSuccess),
                             "the About box's loop kept the poll ticks going");
    CloseMessageBox(box);
    ExpectCleanExit(program);
    scenario.ExpectNewFilesOnCamera();
}

// A missing source file: the message names it and its folder, the camera's
// old files stay, no temporary file is left, and the dialog stays open for
// another try.
void MissingSourceFile(Scenario& scenario) {
    scenario.WriteSettings();
    scenario.WriteSources(false);
    scenario.PutOldFilesOnCamera();
    scenario.camera().Plug();

    Program program(scenario.setting().program, scenario.setting().workFolder);
    HWND dialog = program.WaitForDialog();
    Click(Item(dialog, IDC_UPDATE));
    const std::string folder = Join(scenario.Work("fw"), "");
    HWND box = ExpectMessage(
        program, dialog, "Orvane",
        [&](const std::string& text) {
            return Contains(text, "vorm.bin") && Contains(text, folder) &&
                   Contains(text, "not found") && !Contains(text, Str(texts::kUpdateSuccess));
        },
        "the failure names the missing file and the folder " + folder);
    CloseMessageBox(box);
    WaitGone(box);
    program.ExpectNoOwned(dialog, 1000, "nothing follows the failure");
    Expect(program.Running(), "the dialog stays open after a failure");
    scenario.ExpectOldFilesOnCamera();

    // With the file in place, the next press tries again and succeeds.
    scenario.WriteSources();
    Click(Item(dialog, IDC_UPDATE));
    box = ExpectMessage(program, dialog, "Orvane", Is(texts::kUpdateSuccess),
                        "a press after the failure tries again");
    CloseMessageBox(box);
    ExpectCleanExit(program);
    scenario.ExpectNewFilesOnCamera();
}

// No FirmWare.ini: no device matches, so "please check device". The program
// runs under another file name, which becomes the message boxes' caption.
void MissingSettingsRenamed(Scenario& scenario) {
    scenario.WriteSources();
    scenario.camera().Plug();
    MakeFolder(scenario.Work("tools"));
    const std::string renamed = Join(scenario.Work("tools"), "FwTool.exe");
    Expect(CopyFileA(scenario.setting().program.c_str(), renamed.c_str(), FALSE),
           "copy the program to " + renamed);

    Program program(renamed, scenario.setting().workFolder);
    HWND dialog = program.WaitForDialog();
    Click(Item(dialog, IDC_UPDATE));
    HWND box = ExpectMessage(program, dialog, "FwTool", Is(texts::kCheckDevice),
                             "without settings the camera is never recognised");
    CloseMessageBox(box);
    Click(Item(dialog, IDCANCEL));
    ExpectCleanExit(program);
    Expect(ListFolder(scenario.CameraFolder()).empty(), "nothing was written to the camera");
}

// With the camera plugged in, UpDate meets a last drive that plainly is not
// the camera: it is refused by name for `reason`, nothing follows, and the
// dialog stays open until `checks` have looked at the drives.
void ExpectLastDriveRefused(Scenario& scenario, const std::string& drive, const std::string& reason,
                            const std::function<void()>& checks) {
    scenario.WriteSettings();
    scenario.WriteSources();
    scenario.camera().Plug();

    Program program(scenario.setting().program, scenario.setting().workFolder);
    HWND dialog = program.WaitForDialog();
    Click(Item(dialog, IDC_UPDATE));
    HWND box = ExpectMessage(
        program, dialog, "Orvane",
        [&](const std::string& text) {
            return Contains(text, "Drive " + drive) && Contains(text, reason) &&
                   Contains(text, "Nothing was written");
        },
        "drive " + drive + " is refused, by name");
    CloseMessageBox(box);
    WaitGone(box);
    program.ExpectNoOwned(dialog, 500, "nothing follows the refusal");
    checks();
    Click(Item(dialog, IDCANCEL));
    ExpectCleanExit(program);
}

// Only the Windows drive is there, so it is the last drive.
void SystemDriveRefused(Scenario& scenario) {
    ExpectLastDriveRefused(scenario, "C:", "running system", [] {
        Expect(!FileExists("C:\\FIRMWARE"), "no folder was made on the Windows drive");
    });
}

// Wine's simulated camera has no disk below it and no drive is related to
// any device, so the last drive stands in for the camera's. Here that is a
// fixed disk above the camera's removable G:, and neither gets anything.
void FixedDiskLastRefused(Scenario& scenario) {
    ExpectLastDriveRefused(scenario, "H:", "neither USB nor removable", [&scenario] {
        Expect(ListFolder("H:\\").empty(), "nothing was written to the fixed disk");
        Expect(ListFolder(scenario.setting().cameraDrive + "\\").empty(),
               "nothing was written to the camera's drive either");
    });
}

// A camera drive without room for the new files beside the old ones: the
// message gives both figures, and nothing on the camera changes.
void CameraFull(Scenario& scenario) {
    scenario.WriteSettings();
    scenario.WriteSources();
    scenario.PutOldFilesOnCamera();
    scenario.camera().Plug();

    Program program(scenario.setting().program, scenario.setting().workFolder);
    HWND dialog = program.WaitForDialog();
    Click(Item(dialog, IDC_UPDATE));
    // Each file takes whole clusters of the size the system reports.
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    Expect(GetDiskFreeSpaceA((scenario.setting().cameraDrive + "\\").c_str(), &sectorsPerCluster,
                             &bytesPerSector, &freeClusters, &clusters),
           "read the camera drive's cluster size");
    const std::size_t cluster = std::size_t{sectorsPerCluster} * bytesPerSector;
    auto whole = [cluster](std::size_t bytes) { return (bytes + cluster - 1) / cluster * cluster; };
    const std::string needed =
        std::to_string(whole(kFirmware.size()) + whole(kCommand.size())) + " bytes";
    HWND box = ExpectMessage(
        program, dialog, "Orvane",
        [&](const std::string& text) {
            return Contains(text, "not enough room on drive G:") && Contains(text, needed) &&
                   Contains(text, "Free:");
        },
        "the message says the drive is full, with the " + needed + " needed");
    CloseMessageBox(box);
    WaitGone(box);
    scenario.ExpectOldFilesOnCamera();
    Expect(program.Running(), "the dialog stays open");
    Click(Item(dialog, IDCANCEL));
    ExpectCleanExit(program);
}

// The camera unplugged in the middle of a large transfer: the runner removes
// the G: link once the image's temporary file has grown past 1 MiB. The
// program says the camera was disconnected, never "Update success".
void CameraUnplugged(Scenario& scenario) {
    scenario.WriteSettings();
    MakeFolder(scenario.Work("fw"));
    WriteLargeFile(scenario.Source(kFirmwareName), std::size_t{160} << 20, 11);
    WriteFileBytes(scenario.Source(kCommandName), kCommand);
    scenario.PutOldFilesOnCamera();
    scenario.camera().Plug();

    Program program(scenario.setting().program, scenario.setting().workFolder);
    HWND dialog = program.WaitForDialog();
    Click(Item(dialog, IDC_UPDATE));
    HWND box = ExpectMessage(
        program, dialog, "Orvane",
        [](const std::string& text) {
            return Contains(text, "The camera was disconnected") &&
                   Contains(text, "Reconnect the camera and press UpDate again.") &&
                   !Contains(text, Str(texts::kUpdateSuccess));
        },
        "the message says the camera was disconnected");
    Expect(!FileExists(scenario.setting().cameraDrive + "\\"), "the runner removed G:");
    CloseMessageBox(box);
    WaitGone(box);
    Expect(program.Running(), "the dialog stays open");
    Click(Item(dialog, IDCANCEL));
    ExpectCleanExit(program);
}

// Temporary files an interrupted update left on a nearly full camera (the
// runner makes G: 256 KiB): the update fits only once they are removed.
void StaleTemporaries(Scenario& scenario) {
    const std::string firmware = FirmwareBytes(100000, 5);
    scenario.WriteSettings();
    MakeFolder(scenario.Work("fw"));
    WriteFileBytes(scenario.Source(kFirmwareName), firmware);
    WriteFileBytes(scenario.Source(kCommandName), kCommand);
    scenario.PutOldFilesOnCamera();
    WriteFileBytes(scenario.OnCamera(kFirmwareName + ".orvtmp"), FirmwareBytes(180000, 3));
    WriteFileBytes(scenario.OnCamera(kCommandName + ".orvtmp"), "[CMD]\r\n");
    scenario.camera().Plug();

    Program program(scenario.setting().program, scenario.setting().workFolder);
    HWND dialog = program.WaitForDialog();
    Click(Item(dialog, IDC_UPDATE));
    HWND box = ExpectMessage(program, dialog, "Orvane", Is(texts::kUpdateSuccess),
                             "the update reports success");
    Expect(ListFolder(scenario.CameraFolder()) ==
               std::vector<std::string>{kCommandName, kFirmwareName},
           "the camera's folder holds the two update files and no temporary file");
    Expect(ReadFileBytes(scenario.OnCamera(kFirmwareName)) == firmware,
           "vorm.bin on the camera has the source's bytes");
    CloseMessageBox(box);
    ExpectCleanExit(program);
}

// The dialog's window and controls as laid out: ids, classes, texts, styles,
// positions in dialog units, tab order, centring, and the controls staying in
// place when the frame is resized.
void Layout(Scenario& scenario) {
    scenario.WriteSettings();
    Program program(scenario.setting().program, scenario.setting().workFolder);
    HWND dialog = program.WaitForDialog();

    Expect(WindowText(dialog) == texts::kTitle, "the caption is \"Orvane\"");
    const LONG style = GetWindowLongA(dialog, GWL_STYLE);
    const LONG exStyle = GetWindowLongA(dialog, GWL_EXSTYLE);
    Expect((style & WS_THICKFRAME) && (style & WS_SYSMENU) && (style & WS_CAPTION),
           "a resizable frame with caption and system menu");
    Expect(!(style & WS_MINIMIZEBOX) && !(style & WS_MAXIMIZEBOX), "no minimize or maximize box");
    Expect(exStyle & WS_EX_TOPMOST, "the system-modal dialog stays on top");
    Expect(exStyle & WS_EX_APPWINDOW, "the dialog has a taskbar button");

    RECT window, work;
    GetWindowRect(dialog, &window);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    const LONG dx = (window.left + window.right) - (work.left + work.right);
    const LONG dy = (window.top + window.bottom) - (work.top + work.bottom);
    Expect(dx >= -2 && dx <= 2 && dy >= -2 && dy <= 2, "the dialog is centred in the work area");

    struct Expected {
        int id;
        const char* className;
        std::string text;
        LONG typeBits;
        RECT units;  // x, y, width, height
    };
    const std::vector<Expected> expected = {
        {IDCANCEL, "Button", Str(texts::kCancelButton), BS_PUSHBUTTON, {149, 27, 65, 26}},
        {IDC_UPDATE, "Button", Str(texts::kUpdateButton), BS_PUSHBUTTON, {2, 27, 63, 26}},
        {-1, "Static", "", SS_BITMAP, {2, 5, 212, 22}},
        {-1, "Static", "", SS_BITMAP, {2, 61, 212, 15}},
    };

    std::vector<ControlInfo> controls = Controls(dialog);
    Expect(controls.size() == expected.size(), "the dialog has four controls");
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const ControlInfo& control = controls[i];
        const Expected& want = expected[i];
        const std::string where = "control " + std::to_string(i + 1) + ": ";
        Expect(_stricmp(control.className.c_str(), want.className) == 0, where + "class");
        Expect(control.id == want.id || (want.id == -1 && control.id == 0xFFFF), where + "id");
        // A picture control's text is its resource's name, which Wine and
        // Windows spell differently; the bitmap itself is checked below.
        if (want.id != -1) Expect(control.text == want.text, where + "text \"" + want.text + "\"");
        const RECT pixels = DialogUnitsToPixels(want.units);
        auto show = [](const RECT& r) {
            return std::to_string(r.left) + "," + std::to_string(r.top) + "-" +
                   std::to_string(r.right) + "," + std::to_string(r.bottom);
        };
        Expect(EqualRect(&pixels, &control.clientRect),
               where + "at " + show(control.clientRect) + " rather than " + show(pixels));
        if (want.id == -1) {
            const LONG pictureBits = SS_NOTIFY | SS_CENTERIMAGE | SS_REALSIZEIMAGE;
            Expect((control.style & SS_TYPEMASK) == want.typeBits &&
                       (control.style & pictureBits) == pictureBits,
                   where + "a centred bitmap picture");
            DWORD_PTR image = 0;
            SendMessageTimeoutA(control.window, STM_GETIMAGE, IMAGE_BITMAP, 0, SMTO_ABORTIFHUNG,
                                Patient(5000), &image);
            Expect(image != 0, where + "shows its bitmap");
        } else {
            Expect((control.style & BS_TYPEMASK) == want.typeBits, where + "not a default button");
            Expect(control.style & WS_TABSTOP, where + "a tab stop");
        }
    }
    Expect(Focus(program) == controls[0].window, "the focus starts on Cancel");
    Click(controls[0].window);
    ExpectCleanExit(program);
}

// An empty DestPath puts the files at the top of the camera's drive: the
// folder to create is the drive itself, which is there already and no error.
void EmptyDestinationPath(Scenario& scenario) {
    WriteFileBytes(scenario.Work("FirmWare.ini"),
                   "[PID_VID]\r\nPID_VID=USB\\VID_04DA&PID_2372&REV_0100\r\n"
                   "[SrcPath]\r\nPath=\\fw\\\r\n[DestPath]\r\nPath=\r\n");
    scenario.WriteSources();
    scenario.camera().Plug();

    Program program(scenario.setting().program, scenario.setting().workFolder);
    HWND dialog = program.WaitForDialog();
    Click(Item(dialog, IDC_UPDATE));
    HWND box = ExpectMessage(program, dialog, "Orvane", Is(texts::kUpdateSuccess),
                             "an update into the drive's top folder succeeds");
    CloseMessageBox(box);
    ExpectCleanExit(program);
    const std::string root = scenario.setting().cameraDrive + "\\";
    Expect(ReadFileBytes(root + kFirmwareName) == kFirmware, "vorm.bin is at the drive's top");
    Expect(ReadFileBytes(root + kCommandName) == kCommand, "dsccmd.ini is at the drive's top");
}

// The transfer's controls, while it runs: the progress bar and its status.
HWND ProgressBar(HWND dialog) {
    HWND bar = FindWindowExA(dialog, nullptr, PROGRESS_CLASSA, nullptr);
    return bar != nullptr && IsWindowVisible(bar) ? bar : nullptr;
}

int ProgressPosition(HWND bar) {
    DWORD_PTR position = 0;
    if (!SendMessageTimeoutA(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, Patient(5000), &position))
        return -1;
    return static_cast<int>(position);
}

// The progress bar once it has reached `percent`.
HWND WaitForProgress(HWND dialog, int percent) {
    HWND bar = nullptr;
    int position = -1;
    std::string status;
    try {
        WaitUntil(
            [&] {
                bar = ProgressBar(dialog);
                if (bar == nullptr) return false;
                status = WindowText(GetWindow(bar, GW_HWNDNEXT));
                return (position = ProgressPosition(bar)) >= percent;
            },
            30000, "no progress bar reached " + std::to_string(percent) + "%");
    } catch (const ScenarioFailure& failure) {
        // What the dialog showed last says where the transfer stood.
        throw ScenarioFailure(std::string(failure.what()) + " (last seen at " +
                              std::to_string(position) + "%, \"" + status + "\")");
    }
    return bar;
}

// A firmware image of several hundred MB. While it is written the dialog
// answers messages and shows a progress bar where the notice is; Cancel
// part-way ends the program with the old files as they were. A whole
// transfer follows, with the longest answer time logged.
void LargeTransfer(Scenario& scenario) {
    constexpr std::size_t kLargeImage = (std::size_t{320} << 20) + 4097;
    scenario.WriteSettings();
    MakeFolder(scenario.Work("fw"));
    WriteLargeFile(scenario.Source(kFirmwareName), kLargeImage, 11);
    WriteFileBytes(scenario.Source(kCommandName), kCommand);
    scenario.PutOldFilesOnCamera();
    scenario.camera().Plug();
    {
        Program program(scenario.setting().program, scenario.setting().workFolder);
        HWND dialog = program.WaitForDialog();
        HWND update = Item(dialog, IDC_UPDATE);
        Click(update);
        HWND bar = WaitForProgress(dialog, 5);
        Expect(!IsWindowEnabled(update), "UpDate is disabled during the transfer");
        HWND status = GetWindow(bar, GW_HWNDNEXT);
        Log("status line: \"" + WindowText(status) + "\"");
        Expect(Contains(WindowText(status), Str(texts::kDoNotDisconnect)),
               "the status line warns not to disconnect the camera");
        Click(Item(dialog, IDCANCEL));
        ExpectCleanExit(program);
        scenario.ExpectOldFilesOnCamera();
    }
    {
        Program program(scenario.setting().program, scenario.setting().workFolder);
        HWND dialog = program.WaitForDialog();
        Click(Item(dialog, IDC_UPDATE));
        WaitForProgress(dialog, 0);
        LARGE_INTEGER frequency, before, after;
        QueryPerformanceFrequency(&frequency);
        double longestMs = 0;
        int answers = 0, lastPosition = 0;
        bool rising = true;
        for (;;) {
            QueryPerformanceCounter(&before);
            DWORD_PTR ignored = 0;
            const bool answered = SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL,
                                                      Patient(5000), &ignored) != 0;
            QueryPerformanceCounter(&after);
            Expect(answered, "the dialog answers during the transfer");
            const double ms = 1000.0 * static_cast<double>(after.QuadPart - before.QuadPart) /
                              static_cast<double>(frequency.QuadPart);
            longestMs = std::max(longestMs, ms);
            ++answers;
            HWND bar = ProgressBar(dialog);
            if (bar == nullptr) break;  // the transfer is over
            const int position = ProgressPosition(bar);
            if (position < 0) break;  // the bar went with the transfer's end
            rising = rising && position >= lastPosition;
            lastPosition = std::max(lastPosition, position);
            Sleep(20);
        }
        Log("the dialog answered " + std::to_string(answers) +
            " messages during the transfer; the longest took " + std::to_string(longestMs) + " ms");
        Expect(answers > 10 && lastPosition > 0 && rising,
               "the progress bar rose while the dialog answered (" + std::to_string(answers) +
                   " answers, last at " + std::to_string(lastPosition) + "%, " +
                   (rising ? "rising" : "not rising") + ")");
        HWND box = ExpectMessage(program, dialog, "Orvane", Is(texts::kUpdateSuccess),
                                 "the large update succeeds");
        CloseMessageBox(box);
        ExpectCleanExit(program);
        Expect(ListFolder(scenario.CameraFolder()) ==
                   std::vector<std::string>{kCommandName, kFirmwareName},
               "the camera holds the two new files, no temporary file");
        Expect(SameBytes(scenario.OnCamera(kFirmwareName), scenario.Source(kFirmwareName)),
               "the large vorm.bin on the camera has the source's bytes");
    }
}

// A log-off or shutdown. At rest the program lets it go on. During a
// transfer it refuses and stops the transfer: the program then ends by
// itself, and the camera holds the old set or the new one, whole. A session
// that ends anyway (WM_ENDSESSION) gets its answer only once the files are
// whole, since Windows ends the process as soon as it has answered.
void EndOfSession(Scenario& scenario) {
    constexpr std::size_t kImage = (std::size_t{128} << 20) + 4097;
    scenario.WriteSettings();
    MakeFolder(scenario.Work("fw"));
    WriteLargeFile(scenario.Source(kFirmwareName), kImage, 13);
    WriteFileBytes(scenario.Source(kCommandName), kCommand);
    scenario.camera().Plug();
    auto send = [](HWND dialog, UINT message, WPARAM wParam) {
        DWORD_PTR answer = 0;
        // The flag is the top bit: a negative LPARAM on 32-bit Windows.
        const auto logoff = static_cast<LPARAM>(ENDSESSION_LOGOFF);
        Expect(SendMessageTimeoutA(dialog, message, wParam, logoff, SMTO_NORMAL, Patient(60000),
                                   &answer) != 0,
               "the dialog answers the session message");
        return answer;
    };
    auto expectOneSetWhole = [&scenario](const std::string& when) {
        Expect(ListFolder(scenario.CameraFolder()) ==
                   std::vector<std::string>{kCommandName, kFirmwareName},
               when + ": the camera's folder holds the two files, no temporary file");
        const bool old = ReadFileBytes(scenario.OnCamera(kCommandName)) == kOldCommand;
        Log(when + ": the camera holds the " + (old ? "old" : "new") + " set");
        if (old)
            Expect(ReadFileBytes(scenario.OnCamera(kFirmwareName)) == kOldFirmware,
                   when + ": the old vorm.bin beside the old dsccmd.ini");
        else
            Expect(SameBytes(scenario.OnCamera(kFirmwareName), scenario.Source(kFirmwareName)) &&
                       ReadFileBytes(scenario.OnCamera(kCommandName)) == kCommand,
                   when + ": the new vorm.bin beside the new dsccmd.ini");
    };

    scenario.PutOldFilesOnCamera();
    {
        Program program(scenario.setting().program, scenario.setting().workFolder);
        HWND dialog = program.WaitForDialog();
        Expect(send(dialog, WM_QUERYENDSESSION, 0) != FALSE, "at rest the session may end");
        Expect(program.Running(), "asking alone ends nothing");

        Click(Item(dialog, IDC_UPDATE));
        WaitForProgress(dialog, 1);
        Expect(send(dialog, WM_QUERYENDSESSION, 0) == FALSE,
               "during the transfer the session is asked to wait");
        ExpectCleanExit(program);
        expectOneSetWhole("after a refused end of session");
    }

    scenario.PutOldFilesOnCamera();
    {
        Program program(scenario.setting().program, scenario.setting().workFolder);
        HWND dialog = program.WaitForDialog();
        Click(Item(dialog, IDC_UPDATE));
        WaitForProgress(dialog, 1);
        send(dialog, WM_ENDSESSION, TRUE);
        expectOneSetWhole("the instant the end of session was answered");
        ExpectCleanExit(program);
    }

    // A worker the camera holds (here: suspended) is waited for only as long
    // as Cancel waits for it; then the session gets its answer, and the
    // program ends without the worker. It was stopped before any
    // replacement, so the old files stay.
    scenario.PutOldFilesOnCamera();
    {
        Program program(scenario.setting().program, scenario.setting().workFolder);
        HWND dialog = program.WaitForDialog();
        DWORD pid = 0;
        GetWindowThreadProcessId(dialog, &pid);
        const std::vector<DWORD> before = ThreadsOf(pid);
        Click(Item(dialog, IDC_UPDATE));
        WaitForProgress(dialog, 1);
        Expect(SuspendThreadsSince(pid, before) > 0, "the transfer's worker is held");
        const DWORD start = GetTickCount();
        DWORD_PTR answer = 0;
        const bool answered =
            SendMessageTimeoutA(dialog, WM_ENDSESSION, TRUE, static_cast<LPARAM>(ENDSESSION_LOGOFF),
                                SMTO_NORMAL, Patient(20000), &answer) != 0;
        const DWORD took = GetTickCount() - start;
        Log("with the worker held, the end of session was answered after " + std::to_string(took) +
            " ms");
        Expect(answered, "the end of session is answered with the worker held");
        // The ceiling is 750 ms of silence; the rest is this machine's slack.
        Expect(took <= Patient(2500), "it is answered within the Cancel ceiling");
        ExpectCleanExit(program);
        Expect(ReadFileBytes(scenario.OnCamera(kFirmwareName)) == kOldFirmware &&
                   ReadFileBytes(scenario.OnCamera(kCommandName)) == kOldCommand,
               "the old files stay beside whatever the held worker left");
    }
}

// FirmWare.ini as Windows editors save it: "Unicode" (UTF-16 LE behind its
// byte-order mark), and with classic Mac line ends (CR alone). Either way the
// camera is recognised and the update goes to the configured folder.
void SavedSettings(Scenario& scenario) {
    const std::string settings =
        "[PID_VID]\rPID_VID=USB\\VID_04DA&PID_2372&REV_0100\r[SrcPath]\rPath=\\fw\\\r"
        "[DestPath]\rPath=\\FIRMWARE\\\r";
    std::string utf16 = "\xFF\xFE";
    for (char c : settings) {
        utf16 += c;
        utf16 += '\0';
        if (c == '\r') utf16 += std::string("\n\0", 2);
    }
    scenario.WriteSources();
    scenario.camera().Plug();
    for (const auto& [name, bytes] : {std::pair{"UTF-16", utf16}, std::pair{"CR-only", settings}}) {
        Log(std::string("FirmWare.ini saved ") + name);
        WriteFileBytes(scenario.Work("FirmWare.ini"), bytes);
        scenario.PutOldFilesOnCamera();
        Program program(scenario.setting().program, scenario.setting().workFolder);
        HWND dialog = program.WaitForDialog();
        Click(Item(dialog, IDC_UPDATE));
        HWND box =
            ExpectMessage(program, dialog, "Orvane", Is(texts::kUpdateSuccess),
                          std::string("the update succeeds with the settings saved ") + name);
        CloseMessageBox(box);
        ExpectCleanExit(program);
        scenario.ExpectNewFilesOnCamera();
    }
}

// Two presses that must write nothing at all: one with FirmWare.ini lacking
// [DestPath], which is named; one after a failure, with the camera unplugged
// meanwhile, which goes back to waiting for it rather than taking whatever
// drive is last now.
void WrittenNowhereElse(Scenario& scenario) {
    WriteFileBytes(scenario.Work("FirmWare.ini"),
                   "[PID_VID]\r\nPID_VID=USB\\VID_04DA&PID_2372&REV_0100\r\n"
                   "[SrcPath]\r\nPath=\\fw\\\r\n");
    scenario.WriteSources();
    scenario.camera().Plug();
    const std::string root = scenario.setting().cameraDrive + "\\";
    {
        Program program(scenario.setting().program, scenario.setting().workFolder);
        HWND dialog = program.WaitForDialog();
        Click(Item(dialog, IDC_UPDATE));
        HWND box = ExpectMessage(
            program, dialog, "Orvane",
            [](const std::string& text) {
                return Contains(text, "[DestPath]") && Contains(text, "Nothing was written");
            },
            "a missing [DestPath] is named");
        CloseMessageBox(box);
        Click(Item(dialog, IDCANCEL));
        ExpectCleanExit(program);
        Expect(ListFolder(root).empty(), "nothing was written to the camera's drive");
    }

    scenario.WriteSettings();
    Expect(DeleteFileA(scenario.Source(kFirmwareName).c_str()), "remove the source vorm.bin");
    Program program(scenario.setting().program, scenario.setting().workFolder);
    HWND dialog = program.WaitForDialog();
    Click(Item(dialog, IDC_UPDATE));
    HWND box = ExpectMessage(
        program, dialog, "Orvane",
        [](const std::string& text) { return Contains(text, "not found"); },
        "the first press fails: no vorm.bin");
    CloseMessageBox(box);
    WaitGone(box);

    scenario.camera().Unplug();
    scenario.WriteSources();
    Click(Item(dialog, IDC_UPDATE));
    box = ExpectMessage(program, dialog, "Orvane", Is(texts::kCheckDevice),
                        "with the camera gone the press asks to check the device");
    CloseMessageBox(box);
    Click(Item(dialog, IDCANCEL));
    ExpectCleanExit(program);
    Expect(ListFolder(root).empty(), "nothing was written to the last drive");
}

// FirmWare.ini as the profile functions read it: UTF-16 behind its
// byte-order mark, whatever characters it holds.
std::string Utf16Settings(const std::string& utf8) {
    const std::wstring text = Wide(utf8);
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>((c >> 8) & 0xFF);
    }
    return bytes;
}

// A user whose folders are named in scripts outside the ANSI code page: the
// working folder in Greek and Japanese, the source folder in Cyrillic, the
// destination on the camera in Japanese, with FirmWare.ini saved as
// "Unicode" to hold them. A missing file is named as it is, and the update
// lands where the settings say. Then FirmWare.ini saved as ANSI, with a name
// in the code page's upper half: it reads as it always did.
void UnicodeFolders(Scenario& scenario) {
    const std::string workName = "Ελληνικά-作業", sourceName = "источник", destName = "ファーム";
    Expect(
        !FitsAnsiCodePage(workName) && !FitsAnsiCodePage(sourceName) && !FitsAnsiCodePage(destName),
        "the folder names lie outside the ANSI code page " + std::to_string(GetACP()));
    const std::string work = Join(scenario.setting().workFolder, workName);
    const std::string source = Join(work, sourceName);
    const std::string destination = scenario.setting().cameraDrive + "\\" + destName;
    MakeFolder(work);
    MakeFolder(source);
    WriteFileBytes(Join(source, kCommandName), kCommand);
    WriteFileBytes(Join(work, "FirmWare.ini"),
                   Utf16Settings("[PID_VID]\r\nPID_VID=USB\\VID_04DA&PID_2372&REV_0100\r\n"
                                 "[SrcPath]\r\nPath=\\" +
                                 sourceName +
                                 "\\\r\n"
                                 "[DestPath]\r\nPath=\\" +
                                 destName + "\\\r\n"));
    scenario.camera().Plug();
    {
        Program program(scenario.setting().program, work);
        HWND dialog = program.WaitForDialog();
        Click(Item(dialog, IDC_UPDATE));
        const std::string folder = Join(source, "");
        HWND box = ExpectMessage(
            program, dialog, "Orvane",
            [&](const std::string& text) {
                return Contains(text, "vorm.bin") && Contains(text, folder) &&
                       Contains(text, "not found");
            },
            "the missing vorm.bin is reported in the folder " + folder);
        CloseMessageBox(box);
        WaitGone(box);
        WriteFileBytes(Join(source, kFirmwareName), kFirmware);
        Click(Item(dialog, IDC_UPDATE));
        box = ExpectMessage(program, dialog, "Orvane", Is(texts::kUpdateSuccess),
                            "the update from and to folders named in other scripts succeeds");
        CloseMessageBox(box);
        ExpectCleanExit(program);
    }
    Expect(ListFolder(destination) == std::vector<std::string>{kCommandName, kFirmwareName},
           "the camera's " + destName + " folder holds the two update files");
    Expect(ReadFileBytes(Join(destination, kFirmwareName)) == kFirmware,
           "vorm.bin on the camera has the source's bytes");

    // ANSI: the code page's own bytes for "Café", as an editor saves them.
    const std::wstring cafe = L"Caf\u00E9";
    char ansi[16] = {};
    const int length =
        WideCharToMultiByte(CP_ACP, 0, cafe.c_str(), 4, ansi, sizeof ansi, nullptr, nullptr);
    Expect(length == 4, "\"Café\" is written in four bytes of the ANSI code page");
    scenario.WriteSources();
    WriteFileBytes(scenario.Work("FirmWare.ini"),
                   "[PID_VID]\r\nPID_VID=USB\\VID_04DA&PID_2372&REV_0100\r\n"
                   "[SrcPath]\r\nPath=\\fw\\\r\n[DestPath]\r\nPath=\\" +
                       std::string(ansi, 4) + "\\\r\n");
    Program program(scenario.setting().program, scenario.setting().workFolder);
    HWND dialog = program.WaitForDialog();
    Click(Item(dialog, IDC_UPDATE));
    HWND box = ExpectMessage(program, dialog, "Orvane", Is(texts::kUpdateSuccess),
                             "the update with ANSI settings succeeds");
    CloseMessageBox(box);
    ExpectCleanExit(program);
    const std::string cafeFolder = scenario.setting().cameraDrive + "\\Caf\u00E9";
    Expect(ListFolder(cafeFolder) == std::vector<std::string>{kCommandName, kFirmwareName},
           "the ANSI name reads as the same characters: the files are in " + cafeFolder);
}

// orvane-cli.exe waiting for its camera, which is plugged in once it says it
// waits: status 0, the old files replaced. Its output goes to a file: plain
// lines, no progress line rewritten. Under emulation its start takes about
// a minute, which is most of this scenario's time.
// The settings file and the log are named in arguments outside the ANSI
// code page: a settings folder in Japanese, a log folder in Cyrillic.
void CommandLine(Scenario& scenario) {
    const std::string settingsName = "ファーム", logName = "Журнал";
    Expect(!FitsAnsiCodePage(settingsName) && !FitsAnsiCodePage(logName),
           "the folder names lie outside the ANSI code page " + std::to_string(GetACP()));
    const std::string settingsFolder = scenario.Work(settingsName);
    MakeFolder(settingsFolder);
    MakeFolder(Join(settingsFolder, "fw"));
    MakeFolder(scenario.Work(logName));
    scenario.WriteSettings();
    WriteFileBytes(Join(settingsFolder, "FirmWare.ini"),
                   ReadFileBytes(scenario.Work("FirmWare.ini")));
    Expect(DeleteFileW(Wide(scenario.Work("FirmWare.ini")).c_str()) != FALSE,
           "only the settings under " + settingsName + " are there to be read");
    WriteFileBytes(Join(settingsFolder, "fw\\" + std::string(kFirmwareName)), kFirmware);
    WriteFileBytes(Join(settingsFolder, "fw\\" + std::string(kCommandName)), kCommand);
    scenario.PutOldFilesOnCamera();
    const DWORD begun = GetTickCount();
    auto after = [begun] {
        return " after " + std::to_string((GetTickCount() - begun) / 1000) + " s";
    };
    // Wine traces what reaches ReportEventW (run-wine.sh keeps the trace in
    // D:\wine-trace.txt): the event log's record is read back from there.
    SetEnvironmentVariableW(L"WINEDEBUG", kEventTrace);
    Program update = Program::Console(
        scenario.setting().program, scenario.setting().workFolder, scenario.Work("update.txt"),
        "--wait 3600 --eject --ini " + settingsName + "\\FirmWare.ini --log " + logName +
            "\\bench.csv --log eventlog");
    SetEnvironmentVariableW(L"WINEDEBUG", nullptr);
    WaitUntil([&] { return Contains(ReadFileBytes(scenario.Work("update.txt")), "Waiting for"); },
              60000, "orvane-cli says it waits for the camera");
    Log("the camera plugged in" + after());
    scenario.camera().Plug();

    const DWORD code = update.WaitForExit(60000);
    const std::string output = ReadFileBytes(scenario.Work("update.txt"));
    Log("status " + std::to_string(code) + after() + ": " + output);
    Expect(code == 0, "the update ends with status 0");
    Expect(Contains(output, "found; writing to G:\n"), "it names the drive as G:");
    Expect(Contains(output, "Update success\n"), "it says the update succeeded");
    Expect(!Contains(output, "\r"), "into a file the progress comes as lines, not one rewritten");
    // Whether Wine lets the device go or not, --eject is never silent.
    Expect(Contains(output, "ejected the camera (G:)") || Contains(output, "eject the camera (G:)"),
           "it says what became of --eject");
    scenario.ExpectNewFilesOnCamera();
    const std::string log = ReadFileBytes(Join(scenario.Work(logName), "bench.csv"));
    Log("the log: " + log);
    Expect(Contains(log, ",success,"), "the log under " + logName + " has the camera's line");
    Expect(ListFolder(scenario.setting().workFolder) ==
               std::vector<std::string>{"update.txt", logName, settingsName},
           "no file with a garbled name beside update.txt and the two folders");

    // The log line's last four cells: each file's SHA-256 and size as read
    // back. run-wine.sh holds the digests to sha256sum of the source files.
    std::string last = log.substr(log.rfind('\n', log.size() - 2) + 1);
    while (last.ends_with('\n') || last.ends_with('\r')) last.pop_back();
    std::vector<std::string> cells;
    std::istringstream row(last);
    for (std::string cell; std::getline(row, cell, ',');) cells.push_back(cell);
    Expect(cells.size() >= 13, "the log line has the update files' four cells: " + log);
    const std::vector<std::string> files(cells.end() - 4, cells.end());
    Expect(
        files[1] == std::to_string(kFirmware.size()) && files[3] == std::to_string(kCommand.size()),
        "the log gives the sizes read back: " + files[1] + ", " + files[3]);
    WriteFileBytes(scenario.Work("sha256.check"), files[0] + "  " + settingsName + "/fw/" +
                                                      kFirmwareName + "\n" + files[2] + "  " +
                                                      settingsName + "/fw/" + kCommandName + "\n");

    // --log eventlog: one event, the log line's outcome and files in its
    // insertion strings; the message table's sentences in the program.
    const std::vector<ReportedEvent> events =
        ReportedEvents(ReadFileBytes(scenario.Work("..\\wine-trace.txt")));
    Expect(events.size() == 1, "one event reported, not " + std::to_string(events.size()));
    const ReportedEvent& event = events[0];
    const bool ejected = cells[8].empty();
    Expect(event.type == (ejected ? EVENTLOG_INFORMATION_TYPE : EVENTLOG_WARNING_TYPE) &&
               event.id == (ejected ? 1u : 2u),
           "the event's type and number: " + std::to_string(event.type) + ", " +
               std::to_string(event.id));
    Expect(event.inserts.size() == 13, "13 insertion strings");
    const std::vector<std::string> expected = {"success", "0", cells[1], cells[2], "G:"};
    for (std::size_t i = 0; i < expected.size(); ++i)
        Expect(event.inserts[i] == expected[i], "insert " + std::to_string(i + 1) + " is \"" +
                                                    expected[i] + "\", not \"" + event.inserts[i] +
                                                    "\"");
    Expect(std::vector<std::string>(event.inserts.begin() + 7, event.inserts.begin() + 11) == files,
           "the event's inserts 8 to 11 are the log line's digests and sizes");
    ExpectMessageTableOf(scenario.setting().program);
}

// orvane-cli.exe run three times at once, each looking once (--wait 0):
// for a camera that is not there (status 4, which camera; with --all too),
// and for one whose update is too big for the 256 KiB the runner gives G:
// (status 6, the reason, the old files left as they were).
void CommandLineFailures(Scenario& scenario) {
    scenario.WriteSettings();
    MakeFolder(scenario.Work("fw"));
    WriteFileBytes(scenario.Source(kFirmwareName), FirmwareBytes(std::size_t{1} << 20, 9));
    WriteFileBytes(scenario.Source(kCommandName), kCommand);
    WriteFileBytes(scenario.Work("absent.ini"),
                   "[PID_VID]\r\nPID_VID=USB\\VID_04DA&PID_9999\r\n\r\n"
                   "[SrcPath]\r\nPath=\\fw\\\r\n\r\n[DestPath]\r\nPath=\\FIRMWARE\\\r\n");
    scenario.PutOldFilesOnCamera();
    scenario.camera().Plug();

    const std::string& exe = scenario.setting().program;
    const std::string& work = scenario.setting().workFolder;
    Program absent =
        Program::Console(exe, work, scenario.Work("absent.txt"), "--ini absent.ini --wait 0");
    Program full = Program::Console(exe, work, scenario.Work("full.txt"), "--wait 0");
    Program all = Program::Console(exe, work, scenario.Work("all.txt"),
                                   "--all --wait 0 --ini absent.ini --log all.csv");

    DWORD code = absent.WaitForExit(60000);
    std::string output = ReadFileBytes(scenario.Work("absent.txt"));
    Log("no camera: status " + std::to_string(code) + ": " + output);
    Expect(code == 4, "without its camera orvane-cli ends with status 4");
    Expect(Contains(output, texts::DescribeNoCamera("USB\\VID_04DA&PID_9999", 0)),
           "it says which camera it did not find");

    // --all without a camera of its kind: status 4, and the log says so.
    code = all.WaitForExit(60000);
    output = ReadFileBytes(scenario.Work("all.txt"));
    Log("--all: status " + std::to_string(code) + ": " + output);
    Expect(code == 4, "--all without its camera ends with status 4");
    Expect(Contains(ReadFileBytes(scenario.Work("all.csv")), "no-camera"),
           "the log has the run's line");

    code = full.WaitForExit(60000);
    output = ReadFileBytes(scenario.Work("full.txt"));
    Log("no room: status " + std::to_string(code) + ": " + output);
    Expect(code == 6, "without room on the camera orvane-cli ends with status 6");
    Expect(Contains(output, "not enough room on drive G:"), "it says the drive is full");
    scenario.ExpectOldFilesOnCamera();
}

// orvane-cli.exe --all, where Wine relates no drive to any device: one
// camera is updated as a run for one is (status 0); with a second camera of
// the same kind beside it, both are refused (status 10) before anything is
// written, since the run cannot tell which drive is whose.
void CommandLineAll(Scenario& scenario) {
    scenario.WriteSettings();
    scenario.WriteSources();
    scenario.PutOldFilesOnCamera();
    scenario.camera().Plug();
    const std::string& exe = scenario.setting().program;
    const std::string& work = scenario.setting().workFolder;

    Program one = Program::Console(exe, work, scenario.Work("one.txt"), "--all --wait 0");
    DWORD code = one.WaitForExit(60000);
    std::string output = ReadFileBytes(scenario.Work("one.txt"));
    Log("one camera: status " + std::to_string(code) + ": " + output);
    Expect(code == 0, "--all with one camera updates it: status 0");
    scenario.ExpectNewFilesOnCamera();

    scenario.PutOldFilesOnCamera();
    UsbDeviceKeys second = Camera("5&1234&0&2");
    second.Plug();
    Program two = Program::Console(exe, work, scenario.Work("two.txt"), "--all --wait 0");
    code = two.WaitForExit(60000);
    second.Unplug();
    output = ReadFileBytes(scenario.Work("two.txt"));
    Log("two cameras: status " + std::to_string(code) + ": " + output);
    Expect(code == 10, "--all with two cameras it cannot tell apart ends with status 10");
    Expect(Contains(output, "does not say which drive is whose"), "it says why");
    scenario.ExpectOldFilesOnCamera();
}

// A disk interface planted for Wine's disk `number`, as the disk class lists
// a real one: its device instance, and the path that opens the disk.
class PlantedDisk {
  public:
    explicit PlantedDisk(unsigned number) {
        const std::string drive = "PhysicalDrive" + std::to_string(number);
        instance_ = "STORAGE\\" + drive + "\\0";
        enum_ = "System\\CurrentControlSet\\Enum\\" + instance_;
        interface_ = std::string("System\\CurrentControlSet\\Control\\DeviceClasses\\") +
                     kDiskClass + "\\##?#" + drive;
        Set(enum_, "ClassGUID", "{4d36e967-e325-11ce-bfc1-08002be10318}");
        Set(interface_, "DeviceInstance", instance_);
        Set(interface_ + "\\#", "SymbolicLink", "\\\\?\\" + drive);
        HKEY control = nullptr;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, (interface_ + "\\#\\Control").c_str(), 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &control, nullptr);
        Expect(control != nullptr, "plant the disk interface");
        DWORD linked = 1;
        RegSetValueExA(control, "Linked", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&linked),
                       sizeof linked);
        RegCloseKey(control);
    }
    ~PlantedDisk() {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, interface_.c_str());
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, enum_.c_str());
    }
    PlantedDisk(const PlantedDisk&) = delete;
    PlantedDisk& operator=(const PlantedDisk&) = delete;

  private:
    static constexpr const char* kDiskClass = "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
    static void Set(const std::string& path, const char* name, const std::string& text) {
        HKEY key = nullptr;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr);
        Expect(key != nullptr, "create registry key " + path);
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1));
        RegCloseKey(key);
    }
    std::string instance_, enum_, interface_;
};

// orvane-cli.exe --devices with Wine's real answers: a disk interface planted
// for the disk behind the floppy-typed G:, which answers the same number.
// The report lists the camera, opens and numbers the disk and C:, lists G:
// with its target but leaves it unopened (a floppy's number counts apart from
// the disks'), and, with no parent chain under Wine, falls back to the last
// drive. It writes nothing.
void DeviceReport(Scenario& scenario) {
    scenario.WriteSettings();
    scenario.camera().Plug();
    HANDLE volume = CreateFileA("\\\\.\\G:", 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    Expect(volume != INVALID_HANDLE_VALUE, "open G: for its number");
    STORAGE_DEVICE_NUMBER number{};
    DWORD returned = 0;
    Expect(DeviceIoControl(volume, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number,
                           sizeof number, &returned, nullptr) != FALSE,
           "G: answers its device number");
    CloseHandle(volume);
    const std::string n = std::to_string(number.DeviceNumber);
    PlantedDisk disk(number.DeviceNumber);

    Program report = Program::Console(scenario.setting().program, scenario.setting().workFolder,
                                      scenario.Work("devices.txt"), "--devices");
    const DWORD code = report.WaitForExit(60000);
    const std::string output = ReadFileBytes(scenario.Work("devices.txt"));
    Log("status " + std::to_string(code) + ":\n" + output);
    Expect(code == 0, "the report ends with status 0");
    Expect(Contains(output, "\ncamera-id usb\\vid_04da&pid_2372&rev_0100\n"),
           "it names the camera FirmWare.ini asks for");
    Expect(
        Contains(output,
                 "\nusb USB\\VID_04DA&PID_2372\\5&1234&0&1 ids=USB\\VID_04DA&PID_2372&REV_0100,"),
        "it lists the camera with its hardware IDs");
    const std::size_t line = output.find("\ndisk \\\\?\\PhysicalDrive" + n + " node=");
    Expect(
        line != std::string::npos && output.substr(line, output.find('\n', line + 1) - line)
                                             .find(" number=7:" + n + ":0 ") != std::string::npos,
        "it opens the planted disk and reads its number");
    Expect(Contains(output, "\nletter C type=fixed target=\\Device\\HarddiskVolume") &&
               Contains(output, " number=7:0:"),
           "it opens C: and reads its number");
    Expect(Contains(output, "\nletter G type=removable target=\\Device\\Harddisk" + n + "\n"),
           "it lists G: with its DOS target and does not open it");
    Expect(Contains(output, "\nexpect drive G\n"),
           "without a parent chain the last drive stands in");
    Expect(ListFolder(scenario.setting().cameraDrive + "\\").empty(), "it writes nothing");
}

// Asks run-wine.sh (layout console-signal) for what a terminal's Ctrl-C
// gives orvane-cli.exe under Wine, SIGINT to its Unix process: now, or
// `when` it says ("mid-transfer"). Returns once it went out.
void PressCtrlC(Scenario& scenario, const std::string& when = "now") {
    const std::wstring request = Wide(scenario.Work("interrupt.request"));
    // Whole or not at all: the script must never read it half written.
    WriteFileBytes(scenario.Work("interrupt.part"), when);
    Expect(MoveFileExW(Wide(scenario.Work("interrupt.part")).c_str(), request.c_str(), 0) != FALSE,
           "the request for Ctrl-C is made");
    WaitUntil([&] { return GetFileAttributesW(request.c_str()) == INVALID_FILE_ATTRIBUTES; }, 60000,
              "run-wine.sh sends SIGINT to orvane-cli.exe " + when);
}

// Ctrl-C to orvane-cli.exe: while it waits for the camera, status 130 and
// nothing written; while it writes a large image, before the replacement,
// status 130, the old files as they were and no temporary file left.
void CommandLineCtrlC(Scenario& scenario) {
    scenario.WriteSettings();
    MakeFolder(scenario.Work("fw"));
    WriteLargeFile(scenario.Source(kFirmwareName), (std::size_t{320} << 20) + 4097, 12);
    WriteFileBytes(scenario.Source(kCommandName), kCommand);
    scenario.PutOldFilesOnCamera();
    const std::string& exe = scenario.setting().program;
    const std::string& work = scenario.setting().workFolder;
    {
        Program waiting = Program::Console(exe, work, scenario.Work("waiting.txt"), "--wait 3600");
        WaitUntil(
            [&] { return Contains(ReadFileBytes(scenario.Work("waiting.txt")), "Waiting for"); },
            60000, "orvane-cli says it waits for the camera");
        PressCtrlC(scenario);
        const DWORD code = waiting.WaitForExit(30000);
        const std::string output = ReadFileBytes(scenario.Work("waiting.txt"));
        Log("Ctrl-C while waiting: status " + std::to_string(code) + ": " + output);
        Expect(code == 130, "Ctrl-C while waiting ends with status 130");
        Expect(Contains(output, "Stopped while waiting for the camera. Nothing was written."),
               "it says nothing was written");
        scenario.ExpectOldFilesOnCamera();
    }
    scenario.camera().Plug();
    Program writing = Program::Console(exe, work, scenario.Work("writing.txt"), "--wait 60");
    PressCtrlC(scenario, "mid-transfer");
    const DWORD code = writing.WaitForExit(60000);
    const std::string output = ReadFileBytes(scenario.Work("writing.txt"));
    Log("Ctrl-C while writing: status " + std::to_string(code) + ": " + output);
    Expect(code == 130, "Ctrl-C mid-transfer ends with status 130");
    Expect(!Contains(output, "Update success"), "it does not say the update succeeded");
    scenario.ExpectOldFilesOnCamera();
}

}  // namespace

}  // namespace orvane::e2e

int main(int argc, char** argv) {
    using namespace orvane::e2e;
    const std::map<std::string, void (*)(Scenario&)> scenarios = {
        {"present_update", CameraPresentAtStart},
        {"plugged_later", CameraPluggedInLater},
        {"cancel_paths", CancelPaths},
        {"about_box", AboutBox},
        {"missing_source", MissingSourceFile},
        {"missing_settings", MissingSettingsRenamed},
        {"layout", Layout},
        {"system_drive_refused", SystemDriveRefused},
        {"fixed_last_refused", FixedDiskLastRefused},
        {"camera_full", CameraFull},
        {"empty_dest_path", EmptyDestinationPath},
        {"large_transfer", LargeTransfer},
        {"end_session", EndOfSession},
        {"camera_unplugged", CameraUnplugged},
        {"stale_temporaries", StaleTemporaries},
        {"saved_settings", SavedSettings},
        {"written_nowhere_else", WrittenNowhereElse},
        {"unicode_folders", UnicodeFolders},
        {"command_line", CommandLine},
        {"command_line_failures", CommandLineFailures},
        {"command_line_all", CommandLineAll},
        {"device_report", DeviceReport},
        {"command_line_ctrl_c", CommandLineCtrlC},
        // Benches on a paced card (tools/card-bench.sh), not run by CTest.
        {"card_update", [](Scenario& s) { CardBench(s.setting(), CardRun::Update); }},
        {"card_cancel", [](Scenario& s) { CardBench(s.setting(), CardRun::Cancel); }},
        {"card_escape", [](Scenario& s) { CardBench(s.setting(), CardRun::Escape); }},
    };
    if (argc != 5 || scenarios.count(argv[1]) == 0) {
        std::fprintf(stderr, "usage: orvane_e2e SCENARIO PROGRAM WORK-FOLDER CAMERA-DRIVE|-\n");
        for (const auto& entry : scenarios) std::fprintf(stderr, "  %s\n", entry.first.c_str());
        return 2;
    }
    Setting setting{argv[2], argv[3], std::string(argv[4]) == "-" ? "" : argv[4]};
    std::printf("scenario %s\n", argv[1]);
    std::fflush(stdout);  // the runner takes this line as proof the driver started
    try {
        Scenario scenario(setting);
        scenarios.at(argv[1])(scenario);
    } catch (const ScenarioFailure& failure) {
        std::printf("FAIL: %s\n", failure.what());
        return 1;
    }
    std::printf("PASS\n");
    return 0;
}
