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

#include "device/drive_list.h"
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

// What the system says of a disk or a volume, read through a handle opened
// without read or write access: only its properties are read.
struct StorageFacts {
    // The storage device number as "type:number" (CD-ROM drives count apart
    // from disks); empty when the system does not say.
    std::string number;
    unsigned partition = 0;
    unsigned unit = 0;  // the SCSI logical unit; 0 when the system does not say
    bool hasMedium = true;
};

// A disk or volume opened without read or write access, for its properties.
HANDLE OpenForProperties(const std::string& path) {
    return CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

// The device path of a drive letter's volume: "\\.\G:".
std::string VolumeDevicePath(std::string_view drive) {
    return "\\\\.\\" + std::string(drive.substr(0, 1)) + ":";
}

StorageFacts QueryStorage(const std::string& path) {
    StorageFacts facts;
    HANDLE device = OpenForProperties(path);
    if (device == INVALID_HANDLE_VALUE) return facts;
    STORAGE_DEVICE_NUMBER number;
    std::memset(&number, 0, sizeof number);
    DWORD returned = 0;
    if (DeviceIoControl(device, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof number,
                        &returned, nullptr) &&
        returned >= sizeof number) {
        facts.number =
            std::to_string(number.DeviceType) + ":" + std::to_string(number.DeviceNumber);
        facts.partition = static_cast<unsigned>(number.PartitionNumber);
    }
    SCSI_ADDRESS address;
    std::memset(&address, 0, sizeof address);
    if (DeviceIoControl(device, IOCTL_SCSI_GET_ADDRESS, nullptr, 0, &address, sizeof address,
                        &returned, nullptr))
        facts.unit = address.Lun;
    // An empty card slot answers "not ready" or "no media"; any other
    // failure leaves the medium to the writes to answer for.
    if (!DeviceIoControl(device, IOCTL_STORAGE_CHECK_VERIFY2, nullptr, 0, nullptr, 0, &returned,
                         nullptr)) {
        const DWORD error = GetLastError();
        facts.hasMedium = error != ERROR_NOT_READY && error != ERROR_NO_MEDIA_IN_DRIVE;
    }
    CloseHandle(device);
    return facts;
}

// A mapped network drive, or a letter whose volume has gone: no camera.
bool IsRemoteOrGone(std::string_view drive) {
    const UINT type = GetDriveTypeW(Wide(VolumeRoot(drive)).c_str());
    return type == DRIVE_REMOTE || type == DRIVE_NO_ROOT_DIR;
}

// Whether the disk under a drive sits on a USB bus, as a camera's does.
bool IsOnUsbBus(std::string_view drive) {
    HANDLE device = OpenForProperties(VolumeDevicePath(drive));
    if (device == INVALID_HANDLE_VALUE) return false;
    STORAGE_PROPERTY_QUERY query;
    std::memset(&query, 0, sizeof query);
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    // The descriptor's fixed part is all that is read; its strings follow.
    std::uint64_t storage[64] = {};
    auto* descriptor = reinterpret_cast<STORAGE_DEVICE_DESCRIPTOR*>(storage);
    DWORD returned = 0;
    const BOOL ok = DeviceIoControl(device, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query,
                                    storage, sizeof storage, &returned, nullptr);
    CloseHandle(device);
    return ok &&
           returned >= offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) + sizeof(STORAGE_BUS_TYPE) &&
           descriptor->BusType == BusTypeUsb;
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
    HDEVINFO set = SetupDiGetClassDevsW(&kDiskInterfaceClass, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return LastSystemError();

    StorageLayout layout;
    SP_DEVICE_INTERFACE_DATA disk;
    std::memset(&disk, 0, sizeof disk);
    disk.cbSize = sizeof disk;
    for (DWORD index = 0;
         SetupDiEnumDeviceInterfaces(set, nullptr, &kDiskInterfaceClass, index, &disk); ++index) {
        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailW(set, &disk, nullptr, 0, &required, nullptr);
        if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) continue;
        std::vector<std::uint64_t> storage(required / sizeof(std::uint64_t) + 1);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        SP_DEVINFO_DATA info;
        std::memset(&info, 0, sizeof info);
        info.cbSize = sizeof info;
        if (!SetupDiGetDeviceInterfaceDetailW(set, &disk, detail, required, nullptr, &info))
            continue;

        const StorageFacts facts = QueryStorage(Utf8(detail->DevicePath));
        if (facts.number.empty()) continue;
        StorageDisk entry;
        entry.id = facts.number;
        entry.name = "disk " + facts.number.substr(facts.number.find(':') + 1);
        entry.unit = facts.unit;
        entry.hasMedium = facts.hasMedium;
        // Up to the root: a composite device puts an interface node between
        // the USB device and its disk.
        for (DEVINST at = info.DevInst, parent = 0; CM_Get_Parent(&parent, at, 0) == CR_SUCCESS;
             at = parent)
            entry.ancestors.push_back(DeviceInstanceId(parent));
        layout.disks.push_back(std::move(entry));
    }
    SetupDiDestroyDeviceInfoList(set);

    for (std::string& drive : LogicalDrives()) {
        // Each letter is looked at on the user-interface thread only where
        // something can come of it: without a disk in the tree no drive can
        // be matched to one (and under Wine even a drive's type is a request
        // to the volume driver), and a mapped network drive whose server is
        // gone would hold the thread for the network's time-out, when its
        // type alone says it is no camera.
        if (layout.disks.empty() || IsRemoteOrGone(drive)) {
            layout.drives.push_back(DriveOnDisk{std::move(drive), {}, 0, true});
            continue;
        }
        StorageFacts facts = QueryStorage(VolumeDevicePath(drive));
        layout.drives.push_back(DriveOnDisk{std::move(drive), std::move(facts.number),
                                            facts.partition, facts.hasMedium});
    }
    return layout;
}

bool Win32System::IsFolder(std::string_view path) {
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
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
    // internal disk or a RAM disk cannot.
    return IsOnUsbBus(drive) ? DriveRefusal::None : DriveRefusal::NotRemovable;
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

Status Win32System::ReplaceWith(std::string_view from, std::string_view to) {
    const std::string source(from), target(to);
    // MOVEFILE_WRITE_THROUGH covers a move done as a copy and a delete, not a
    // rename within one folder: the renamed file is flushed as well.
    if (!MoveFileExW(Wide(source).c_str(), Wide(target).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return OnDrive(LastSystemError(), source);
    return FlushFile(target);
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
