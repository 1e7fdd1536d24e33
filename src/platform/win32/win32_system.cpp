// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Settings, device, drive and file operations of the port on the Win32 API.
#include "platform/win32/win32_system.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <utility>

#include "device/device_walk.h"
#include "device/drive_list.h"
#include "platform/win32/ceiling.h"
#include "platform/win32/device_source.h"
#include "platform/win32/instance_id.h"
#include "platform/win32/system_error.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_files.h"

namespace orvane::win32 {

namespace {

// GetLogicalDriveStringsW needs 105 characters for all 26 letters.
constexpr DWORD kDriveListBufferSize = 255;

// "G:\" for "G", the form the volume functions want.
std::string VolumeRoot(std::string_view drive) {
    std::string root(drive);
    if (root.size() == 1) root += ':';
    if (!root.empty() && root.back() != '\\') root += '\\';
    return root;
}

// Whether the drive is gone: its letter no longer stands for a volume, or
// the letter stays (a removable drive's can) but its root cannot be found.
bool DriveGone(const std::string& root) {
    const std::wstring wideRoot = Wide(root);
    if (GetDriveTypeW(wideRoot.c_str()) == DRIVE_NO_ROOT_DIR) return true;
    if (GetFileAttributesW(wideRoot.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    const DWORD error = GetLastError();
    return error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND ||
           error == ERROR_INVALID_DRIVE;
}

// Once a drive is gone, every path on it answers "path not found": for the
// camera's drive that is the camera unplugged, not a missing file.
SystemError OnDrive(SystemError error, const std::string& path) {
    if (error.kind == ErrorKind::NotFound && path.size() >= 2 && path[1] == ':' &&
        DriveGone(VolumeRoot(path.substr(0, 1))))
        error.kind = ErrorKind::DeviceGone;
    return error;
}

// Flushes the file `path`: on FAT that writes its folder entry and the
// allocation table, not just its data.
Status FlushFile(const std::string& path) {
    HANDLE handle = CreateFileW(Wide(path).c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return OnDrive(LastSystemError(), path);
    const bool flushed = FlushFileBuffers(handle) != 0;
    SystemError error = flushed ? SystemError{} : OnDrive(LastSystemError(), path);
    CloseHandle(handle);
    if (flushed) return Ok();
    return error;
}

// Asks for the folder `path` to be flushed. Whether anything was written
// cannot be told: FAT and exFAT write only the top folder this way, and
// answer alike either way.
void FlushFolder(const std::string& path) {
    HANDLE handle = CreateFileW(Wide(path).c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return;
    FlushFileBuffers(handle);
    CloseHandle(handle);
}

std::string FolderOf(const std::string& path) {
    std::size_t separator = path.find_last_of("\\/");
    if (separator == std::string::npos) return ".";
    // "G:\file" lives in the root "G:\", not in the drive-relative "G:".
    if (separator == 2 && path[1] == ':') return path.substr(0, 3);
    return path.substr(0, separator);
}

// A device registry property read whole: its size asked for first. Empty
// when it cannot be read.
std::vector<BYTE> ReadDeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& info, DWORD property) {
    std::vector<BYTE> buffer;
    DWORD required = 0;
    // The list may grow between the two calls (a driver update): ask again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (SetupDiGetDeviceRegistryPropertyW(set, &info, property, nullptr, buffer.data(),
                                              static_cast<DWORD>(buffer.size()), &required)) {
            buffer.resize(std::min<std::size_t>(buffer.size(), required));
            return buffer;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || required <= buffer.size()) break;
        buffer.assign(required, 0);
    }
    return {};
}

// The device instance ID of `device`, the name every walk of the tree uses.
std::string DeviceInstanceId(DEVINST device) {
    wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
    if (CM_Get_Device_IDW(device, id, MAX_DEVICE_ID_LEN + 1, 0) != CR_SUCCESS) return {};
    return Utf8(id);
}

DWORD WINAPI RunWork(LPVOID parameter) {
    std::unique_ptr<std::function<void()>> work(static_cast<std::function<void()>*>(parameter));
    (*work)();
    return 0;
}

}  // namespace

void HoldSystemAwake(bool hold) {
    // A per-thread request, which Windows also drops when the thread ends.
    SetThreadExecutionState(hold ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS);
}

WorkerThread::~WorkerThread() {
    Join();
}

void WorkerThread::Start(std::function<void()> work) {
    Join();
    auto* owned = new std::function<void()>(std::move(work));
    thread_ = CreateThread(nullptr, 0, RunWork, owned, 0, nullptr);
    if (thread_ == nullptr) RunWork(owned);
}

void WorkerThread::Join() {
    if (thread_ == nullptr) return;
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
}

namespace {

class SideThread : public SideWork {
  public:
    explicit SideThread(std::function<void()> work) { worker_.Start(std::move(work)); }
    void Wait() override { worker_.Join(); }

  private:
    WorkerThread worker_;  // waits for the thread when it goes
};

}  // namespace

std::unique_ptr<SideWork> Win32System::RunBeside(std::function<void()> work) {
    return std::make_unique<SideThread>(std::move(work));
}

Win32System::Win32System() {
    // An empty card slot is looked at when the camera's drives are compared;
    // the system must answer "not ready" rather than ask the user for a disk.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

void Win32System::WriteStdout(std::string_view text) {
    // A windowed program has no console; the handle is there only when the
    // caller redirected standard output, and then it takes the line as is.
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// ---- Settings and paths -------------------------------------------------------

Result<std::string> Win32System::CurrentDirectory() {
    // Asked for its length first, so that a directory too long for the
    // updater's buffers is reported as such rather than cut.
    DWORD needed = GetCurrentDirectoryW(0, nullptr);
    if (needed == 0) return LastSystemError();
    std::wstring directory(needed, L'\0');
    DWORD length = GetCurrentDirectoryW(needed, directory.data());
    if (length == 0 || length >= needed) return LastSystemError();
    directory.resize(length);
    return Utf8(directory);
}

std::string Win32System::ReadProfileString(std::string_view section, std::string_view key,
                                           std::string_view fallback, std::size_t size,
                                           std::string_view path) {
    if (size == 0) return {};
    // The W function reads a file saved as "Unicode" as such, and one saved
    // as ANSI through the system's code page: the same characters the A
    // function gave, now as UTF-8.
    const std::wstring sectionW = Wide(section), keyW = Wide(key), fallbackW = Wide(fallback),
                       pathW = Wide(path);
    std::wstring value(size, L'\0');
    DWORD length = GetPrivateProfileStringW(sectionW.c_str(), keyW.c_str(), fallbackW.c_str(),
                                            value.data(), static_cast<DWORD>(size), pathW.c_str());
    value.resize(std::min<std::size_t>(length, size));
    return Utf8(value);
}

std::string Win32System::JoinPath(std::string_view base, std::string_view fragment) {
    // Plain concatenation: the settings carry their own separators.
    std::string path(base);
    path += fragment;
    return path;
}

std::string Win32System::DriveRoot(std::string_view drive) {
    std::string root(drive);
    root += ':';
    return root;
}

// ---- Devices and drives -------------------------------------------------------

std::vector<UsbDevice> Win32System::PresentUsbDevices() {
    std::vector<UsbDevice> devices;
    HDEVINFO set = SetupDiGetClassDevsW(&kUsbDeviceInterfaceClass, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return devices;

    SP_DEVINFO_DATA info;
    std::memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &info); ++index) {
        UsbDevice device;
        const std::vector<BYTE> buffer = ReadDeviceProperty(set, info, SPDRP_HARDWAREID);
        if (!buffer.empty()) {
            // A list of NUL-terminated strings ending with an empty one; the
            // bound guards against a list the system did not terminate.
            std::vector<std::string> ids;
            std::wstring text(buffer.size() / sizeof(wchar_t), L'\0');
            std::memcpy(text.data(), buffer.data(), text.size() * sizeof(wchar_t));
            std::size_t at = 0;
            while (at < text.size() && text[at] != L'\0') {
                std::size_t end = text.find(L'\0', at);
                if (end == std::wstring::npos) end = text.size();
                ids.push_back(Utf8(std::wstring_view(text).substr(at, end - at)));
                at = end + 1;
            }
            device.hardwareIds = std::move(ids);
        }
        device.instance = DeviceInstanceId(info.DevInst);
        device.serial = UsbSerialFromInstanceId(device.instance);
        devices.push_back(std::move(device));
    }
    SetupDiDestroyDeviceInfoList(set);
    return devices;
}

Result<StorageLayout> Win32System::StorageLayoutOfDrives() {
    Win32DeviceSource source;
    StorageLayout layout = WalkDeviceTree(source);
    if (!source.listed()) return LastSystemError();
    return layout;
}

bool Win32System::IsFolder(std::string_view path) {
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsFolderWithinCeiling(std::string_view path) {
    // Every question about one volume waits on the same driver: they share
    // its name, so a hung volume is asked once.
    const std::string device = path.size() >= 2 && path[1] == ':'
                                   ? VolumePathOfLetter(path.substr(0, 1))
                                   : std::string(path);
    auto attributes = std::make_shared<DWORD>(INVALID_FILE_ATTRIBUTES);
    const std::wstring wide = Wide(path);
    if (!AskWithinCeiling(
            device, [attributes, wide] { *attributes = GetFileAttributesW(wide.c_str()); },
            kStorageQueryCeilingMs))
        return false;
    return *attributes != INVALID_FILE_ATTRIBUTES && (*attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::vector<std::string> Win32System::LogicalDrives() {
    wchar_t buffer[kDriveListBufferSize] = {};
    DWORD length = GetLogicalDriveStringsW(kDriveListBufferSize, buffer);
    if (length > kDriveListBufferSize) return {};
    // Drive roots are "G:\" and the like: plain ASCII, one byte per character.
    const std::string drives = Utf8(std::wstring_view(buffer, kDriveListBufferSize));
    return ParseLogicalDriveStrings(drives, length);
}

DriveRefusal Win32System::CheckDrive(std::string_view drive) {
    const std::string root = VolumeRoot(drive);
    const UINT type = GetDriveTypeW(Wide(root).c_str());
    switch (type) {
        case DRIVE_NO_ROOT_DIR:
            return DriveRefusal::Gone;
        case DRIVE_REMOTE:
            return DriveRefusal::Network;
        case DRIVE_CDROM:
            return DriveRefusal::Optical;
        default:
            break;
    }
    wchar_t windows[MAX_PATH + 1] = {};
    UINT length = GetSystemWindowsDirectoryW(windows, MAX_PATH);
    if (length > 0 && length <= MAX_PATH && windows[0] < 0x80 &&
        std::toupper(static_cast<unsigned char>(windows[0])) ==
            std::toupper(static_cast<unsigned char>(root[0])) &&
        windows[1] == L':')
        return DriveRefusal::SystemDrive;
    if (type == DRIVE_REMOVABLE) return DriveGone(root) ? DriveRefusal::Gone : DriveRefusal::None;
    // A fixed disk can be the camera only on USB: some cameras, card readers
    // and USB disks report themselves as fixed. A data partition, a second
    // internal disk or a RAM disk cannot. A UASP disk may name SCSI as its
    // bus; the tree above it still shows the USB device.
    const StorageFacts facts = Win32DeviceSource().QueryStorage(VolumePathOfLetter(drive));
    if (facts.bus == kBusUsb) return DriveRefusal::None;
    const Result<StorageLayout> layout = StorageLayoutOfDrives();
    return layout.ok() && FixedDriveOnUsb(facts, layout.value(), drive)
               ? DriveRefusal::None
               : DriveRefusal::NotRemovable;
}

Result<VolumeSpace> Win32System::FreeSpace(std::string_view path) {
    // Win32VolumeSpace turns a bare "G:" into the root "G:\" itself.
    const std::string folder(path);
    Result<VolumeSpace> space = Win32VolumeSpace(folder);
    if (!space.ok()) return OnDrive(space.error(), folder);
    return space;
}

// ---- Files ------------------------------------------------------------------

Status Win32System::HoldVolume(std::string_view /*drive*/) {
    // A path that starts with the drive letter cannot leave its drive, and
    // the destination reaches here with its ".." already resolved.
    return Ok();
}

void Win32System::ReleaseVolume() {}

Status Win32System::MakeDirectory(std::string_view path) {
    const std::string folder(path);
    const std::wstring wideFolder = Wide(folder);
    if (CreateDirectoryW(wideFolder.c_str(), nullptr)) return Ok();
    SystemError error = OnDrive(LastSystemError(), folder);
    // A drive root ("G:" from an empty DestPath, or "G:\") exists but answers
    // with access denied rather than "already exists".
    const DWORD attributes = GetFileAttributesW(wideFolder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        error.kind = ErrorKind::AlreadyExists;
    return error;
}

Result<std::unique_ptr<ReadableFile>> Win32System::OpenForRead(std::string_view path,
                                                               ReadCaching caching) {
    const std::string file(path);
    auto opened = OpenWin32File(file, caching);
    if (!opened.ok()) return OnDrive(opened.error(), file);
    return opened;
}

Result<std::unique_ptr<WritableFile>> Win32System::CreateForWrite(std::string_view path) {
    const std::string file(path);
    auto created = CreateWin32File(file);
    if (!created.ok()) return OnDrive(created.error(), file);
    return created;
}

Status Win32System::ReplaceWith(std::string_view from, std::string_view to,
                                const DeviceAnswered& answered) {
    const std::string source(from), target(to);
    // MOVEFILE_WRITE_THROUGH covers a move done as a copy and a delete, not a
    // rename within one folder: the renamed file is flushed as well.
    if (!MoveFileExW(Wide(source).c_str(), Wide(target).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return OnDrive(LastSystemError(), source);
    if (answered) answered();
    Status flushed = FlushFile(target);
    if (answered) answered();
    return flushed;
}

Status Win32System::RemoveFile(std::string_view path) {
    const std::string file(path);
    if (!DeleteFileW(Wide(file).c_str())) return OnDrive(LastSystemError(), file);
    // A folder handle's flush writes nothing on FAT and exFAT except for the
    // top folder, and says nothing of whether it did: it is asked for where
    // it helps, and its answer makes no promise either way.
    FlushFolder(FolderOf(file));
    return Ok();
}
}  // namespace orvane::win32
