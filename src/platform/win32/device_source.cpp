// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The device walk's source on the Win32 API: one or two calls per question.
#include "platform/win32/device_source.h"

#include <cstring>
#include <memory>

#include "platform/win32/ceiling.h"
#include "platform/win32/wide_text.h"

namespace orvane::win32 {

namespace {

LetterType TypeOfLetter(UINT type) {
    switch (type) {
        case DRIVE_NO_ROOT_DIR:
            return LetterType::NoRoot;
        case DRIVE_REMOVABLE:
            return LetterType::Removable;
        case DRIVE_FIXED:
            return LetterType::Fixed;
        case DRIVE_REMOTE:
            return LetterType::Remote;
        case DRIVE_CDROM:
            return LetterType::CdRom;
        case DRIVE_RAMDISK:
            return LetterType::RamDisk;
        default:
            return LetterType::Unknown;
    }
}

}  // namespace

StorageFacts QueryStorageNow(const std::string& path) {
    StorageFacts facts;
    // Access 0: the storage requests need none, and nothing is read or written.
    HANDLE device = CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) return facts;
    DWORD returned = 0;
    STORAGE_DEVICE_NUMBER number;
    std::memset(&number, 0, sizeof number);
    if (DeviceIoControl(device, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof number,
                        &returned, nullptr) &&
        returned >= sizeof number)
        facts.number = DeviceNumber{static_cast<unsigned>(number.DeviceType),
                                    static_cast<unsigned>(number.DeviceNumber),
                                    static_cast<long>(static_cast<LONG>(number.PartitionNumber))};
    SCSI_ADDRESS address;
    std::memset(&address, 0, sizeof address);
    if (DeviceIoControl(device, IOCTL_SCSI_GET_ADDRESS, nullptr, 0, &address, sizeof address,
                        &returned, nullptr))
        facts.lun = address.Lun;
    if (DeviceIoControl(device, IOCTL_STORAGE_CHECK_VERIFY2, nullptr, 0, nullptr, 0, &returned,
                        nullptr)) {
        facts.media = MediaState::Present;
    } else {
        const DWORD error = GetLastError();
        facts.media = error == ERROR_NOT_READY           ? MediaState::NotReady
                      : error == ERROR_NO_MEDIA_IN_DRIVE ? MediaState::NoMedia
                                                         : MediaState::Unknown;
    }
    STORAGE_PROPERTY_QUERY query;
    std::memset(&query, 0, sizeof query);
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    // The descriptor's fixed part is all that is read; its strings follow.
    std::uint64_t storage[64] = {};
    const auto* descriptor = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(storage);
    if (DeviceIoControl(device, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, storage,
                        sizeof storage, &returned, nullptr) &&
        returned >= offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) + sizeof(STORAGE_BUS_TYPE)) {
        facts.bus = static_cast<int>(descriptor->BusType);
        facts.removable = descriptor->RemovableMedia != FALSE;
    }
    CloseHandle(device);
    return facts;
}

Win32DeviceSource::~Win32DeviceSource() {
    if (set_ != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(set_);
}

std::vector<DiskInterface> Win32DeviceSource::DiskInterfaces() {
    std::vector<DiskInterface> disks;
    if (set_ != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(set_);
    set_ = SetupDiGetClassDevsW(&kDiskInterfaceClass, nullptr, nullptr,
                                DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    listed_ = set_ != INVALID_HANDLE_VALUE;
    if (!listed_) return disks;
    HDEVINFO set = set_;
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
        if (SetupDiGetDeviceInterfaceDetailW(set, &disk, detail, required, nullptr, &info))
            disks.push_back(DiskInterface{Utf8(detail->DevicePath), info.DevInst});
    }
    return disks;
}

std::optional<DeviceNode> Win32DeviceSource::Parent(DeviceNode node) {
    DEVINST parent = 0;
    if (CM_Get_Parent(&parent, node, 0) != CR_SUCCESS) return std::nullopt;
    return parent;
}

std::optional<std::string> Win32DeviceSource::InstanceId(DeviceNode node) {
    wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
    if (CM_Get_Device_IDW(node, id, MAX_DEVICE_ID_LEN + 1, 0) != CR_SUCCESS) return std::nullopt;
    return Utf8(id);
}

StorageFacts Win32DeviceSource::QueryStorage(const std::string& path) {
    auto facts = std::make_shared<StorageFacts>();
    const bool answered = AskWithinCeiling(
        path, [facts, path] { *facts = QueryStorageNow(path); }, kStorageQueryCeilingMs);
    // Whatever the request answers after the ceiling comes too late to be
    // trusted as a whole: the device counts as not answering.
    if (answered) return *facts;
    StorageFacts hung;
    hung.answered = false;
    return hung;
}

std::vector<std::string> Win32DeviceSource::Letters() {
    std::vector<std::string> letters;
    const DWORD mask = GetLogicalDrives();
    for (unsigned bit = 0; bit < 26; ++bit) {
        if ((mask & (1u << bit)) != 0) letters.emplace_back(1, static_cast<char>('A' + bit));
    }
    return letters;
}

DriveLetter Win32DeviceSource::DescribeLetter(const std::string& name) {
    DriveLetter letter{name, LetterType::Unknown, {}};
    if (name.empty()) return letter;
    const std::wstring root = Wide(name.substr(0, 1) + ":\\");
    // The type is asked of the volume's driver, which a hung device holds:
    // under the ceiling of the volume's own storage queries, which then
    // find the volume not answering (its question is still out) and say so.
    auto type = std::make_shared<UINT>(DRIVE_UNKNOWN);
    if (AskWithinCeiling(
            VolumePathOfLetter(name), [type, root] { *type = GetDriveTypeW(root.c_str()); },
            kStorageQueryCeilingMs))
        letter.type = TypeOfLetter(*type);
    wchar_t target[MAX_PATH + 1] = {};
    if (QueryDosDeviceW(root.substr(0, 2).c_str(), target, MAX_PATH) != 0)
        letter.dosTarget = Utf8(target);
    return letter;
}

}  // namespace orvane::win32
