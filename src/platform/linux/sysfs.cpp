// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Reading USB devices and block devices from sysfs, defensively: devices come
// and go while we read.
#include "platform/linux/sysfs.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace orvane::linux_port {

namespace {

enum class AttributeState { Read, Gone, Unreadable };

struct Attribute {
    AttributeState state = AttributeState::Unreadable;
    std::string text;
};

// sysfs answers ENOENT or ENODEV once the device behind a file has left.
bool MeansGone(int error) {
    return error == ENOENT || error == ENODEV || error == ENXIO;
}

Attribute ReadAttribute(const std::filesystem::path& file) {
    Attribute attribute;
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        attribute.state = MeansGone(errno) ? AttributeState::Gone : AttributeState::Unreadable;
        return attribute;
    }
    // Attributes are one short line; a page is all sysfs ever gives.
    char buffer[4096];
    ssize_t length;
    do {
        length = ::read(fd, buffer, sizeof buffer);
    } while (length < 0 && errno == EINTR);
    int readError = errno;
    ::close(fd);
    if (length < 0) {
        attribute.state = MeansGone(readError) ? AttributeState::Gone : AttributeState::Unreadable;
        return attribute;
    }
    attribute.state = AttributeState::Read;
    attribute.text.assign(buffer, static_cast<std::size_t>(length));
    return attribute;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsRootHubName(std::string_view name) {
    return name.size() > 3 && name.starts_with("usb") &&
           std::all_of(name.begin() + 3, name.end(), IsDigit);
}

// A decimal attribute ("1\n"); nothing when it is not one.
std::optional<unsigned long long> ParseDecimal(std::string_view text) {
    if (text.ends_with('\n')) text.remove_suffix(1);
    if (text.empty() || text.size() > 19) return std::nullopt;
    unsigned long long value = 0;
    for (char c : text) {
        if (!IsDigit(c)) return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value;
}

bool IsScsiAddress(std::string_view name) {
    int numbers = 0;
    for (std::size_t at = 0; at <= name.size(); ++numbers) {
        std::size_t colon = std::min(name.find(':', at), name.size());
        if (colon == at || !std::all_of(name.begin() + static_cast<std::ptrdiff_t>(at),
                                        name.begin() + static_cast<std::ptrdiff_t>(colon), IsDigit))
            return false;
        at = colon + 1;
    }
    return numbers == 4;
}

}  // namespace

std::optional<unsigned> ParseHexAttribute(std::string_view text, unsigned maxValue) {
    if (text.ends_with('\n')) text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    unsigned long long value = 0;
    for (char c : text) {
        int digit = HexDigit(c);
        if (digit < 0) return std::nullopt;
        value = value * 16 + static_cast<unsigned>(digit);
        if (value > maxValue) return std::nullopt;
    }
    return static_cast<unsigned>(value);
}

std::vector<std::string> UsbHardwareIds(unsigned vendor, unsigned product, unsigned revision) {
    char full[64];
    char plain[64];
    std::snprintf(full, sizeof full, "USB\\VID_%04X&PID_%04X&REV_%04X", vendor, product, revision);
    std::snprintf(plain, sizeof plain, "USB\\VID_%04X&PID_%04X", vendor, product);
    return {full, plain};
}

bool NaturalLess(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            std::size_t endA = i, endB = j;
            while (endA < a.size() && IsDigit(a[endA])) ++endA;
            while (endB < b.size() && IsDigit(b[endB])) ++endB;
            std::string_view numberA = a.substr(i, endA - i), numberB = b.substr(j, endB - j);
            // Leading zeros do not change a number's value.
            while (numberA.size() > 1 && numberA.front() == '0') numberA.remove_prefix(1);
            while (numberB.size() > 1 && numberB.front() == '0') numberB.remove_prefix(1);
            if (numberA.size() != numberB.size()) return numberA.size() < numberB.size();
            if (numberA != numberB) return numberA < numberB;
            i = endA;
            j = endB;
            continue;
        }
        if (a[i] != b[j]) return a[i] < b[j];
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j) return a.size() - i < b.size() - j;
    return a < b;  // equal by value ("01" and "1"): any fixed order will do
}

std::vector<UsbDevice> ListUsbDevices(const std::filesystem::path& sysfsUsbDevices) {
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it(sysfsUsbDevices, error), end; !error && it != end;
         it.increment(error)) {
        std::string name = it->path().filename().string();
        if (!IsRootHubName(name)) names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return NaturalLess(a, b); });

    std::vector<UsbDevice> devices;
    for (const std::string& name : names) {
        const std::filesystem::path folder = sysfsUsbDevices / name;
        Attribute vendor = ReadAttribute(folder / "idVendor");
        // Interfaces have no idVendor; a device that has left has none either.
        if (vendor.state == AttributeState::Gone) continue;
        Attribute product = ReadAttribute(folder / "idProduct");
        Attribute revision = ReadAttribute(folder / "bcdDevice");
        if (product.state == AttributeState::Gone || revision.state == AttributeState::Gone)
            continue;

        UsbDevice device;
        // The entry is a link into /sys/devices, where the device's disks sit below it.
        std::error_code resolveError;
        std::filesystem::path resolved = std::filesystem::canonical(folder, resolveError);
        if (!resolveError) device.instance = resolved.string();
        if (Attribute number = ReadAttribute(folder / "devnum");
            number.state == AttributeState::Read) {
            for (const char c : number.text) {
                if (IsDigit(c)) device.arrival += c;
            }
        }
        // The serial is whatever the device sent; it ends up in logs, so only
        // printable ASCII is kept.
        if (Attribute serial = ReadAttribute(folder / "serial");
            serial.state == AttributeState::Read) {
            for (const char c : serial.text) {
                if (c > ' ' && c < 0x7f) device.serial += c;
            }
        }
        std::optional<unsigned> vendorId = ParseHexAttribute(vendor.text, 0xFFFF);
        std::optional<unsigned> productId = ParseHexAttribute(product.text, 0xFFFF);
        std::optional<unsigned> revisionId = ParseHexAttribute(revision.text, 0xFFFF);
        if (vendor.state == AttributeState::Read && product.state == AttributeState::Read &&
            revision.state == AttributeState::Read && vendorId && productId && revisionId)
            device.hardwareIds = UsbHardwareIds(*vendorId, *productId, *revisionId);
        devices.push_back(std::move(device));
    }
    return devices;
}

std::vector<std::string> FoldersAbove(const std::filesystem::path& folder) {
    std::vector<std::string> folders;
    for (std::filesystem::path at = folder.lexically_normal(); at.has_relative_path();) {
        at = at.parent_path();
        folders.push_back(at.string());
    }
    return folders;
}

unsigned ScsiUnitOf(const std::filesystem::path& folder) {
    unsigned unit = 0;
    for (const std::filesystem::path& part : folder) {
        const std::string name = part.string();
        if (!IsScsiAddress(name)) continue;
        std::optional<unsigned long long> lun = ParseDecimal(name.substr(name.rfind(':') + 1));
        unit = lun && *lun <= 0xFFFFu ? static_cast<unsigned>(*lun) : 0;
    }
    return unit;
}

std::vector<StorageDisk> ListBlockDevices(const std::filesystem::path& sysfsDevBlock) {
    std::vector<std::string> numbers;
    std::error_code error;
    for (std::filesystem::directory_iterator it(sysfsDevBlock, error), end; !error && it != end;
         it.increment(error))
        numbers.push_back(it->path().filename().string());
    std::sort(numbers.begin(), numbers.end(),
              [](const std::string& a, const std::string& b) { return NaturalLess(a, b); });

    std::vector<StorageDisk> disks;
    for (std::string& number : numbers) {
        std::error_code resolveError;
        const std::filesystem::path folder =
            std::filesystem::canonical(sysfsDevBlock / number, resolveError);
        if (resolveError) continue;
        StorageDisk disk;
        disk.id = std::move(number);
        disk.ancestors = FoldersAbove(folder);
        disk.name = "/dev/" + folder.filename().string();
        disk.unit = ScsiUnitOf(folder);
        Attribute partition = ReadAttribute(folder / "partition");
        if (partition.state == AttributeState::Read) {
            std::optional<unsigned long long> value = ParseDecimal(partition.text);
            if (value && *value <= 0xFFFFu) disk.partition = static_cast<unsigned>(*value);
        }
        // Only a size read as 0 says the slot is empty; anything else leaves
        // the medium to the writes to answer for.
        Attribute size = ReadAttribute(folder / "size");
        disk.hasMedium = !(size.state == AttributeState::Read && ParseDecimal(size.text) == 0u);
        disks.push_back(std::move(disk));
    }
    return disks;
}

bool UeventCallsForScan(std::string_view datagram) {
    std::string_view action, subsystem;
    bool mediumChanged = false;
    // The first line is "ACTION@DEVPATH"; the fields that follow say the same
    // and more. Messages of udev's own (a "libudev" header) have no '@' there.
    if (datagram.substr(0, datagram.find('\0')).find('@') == std::string_view::npos) return false;
    for (std::size_t at = 0; at < datagram.size();) {
        std::size_t end = std::min(datagram.find('\0', at), datagram.size());
        std::string_view field = datagram.substr(at, end - at);
        if (field.starts_with("ACTION=")) action = field.substr(7);
        if (field.starts_with("SUBSYSTEM=")) subsystem = field.substr(10);
        if (field == "DISK_MEDIA_CHANGE=1") mediumChanged = true;
        at = end + 1;
    }
    if (subsystem != "usb" && subsystem != "block") return false;
    if (action == "add" || action == "remove") return true;
    return subsystem == "block" && action == "change" && mediumChanged;
}

BlockDeviceKind ClassifyBlockDevice(const std::filesystem::path& sysfsDevBlock, unsigned major,
                                    unsigned minor) {
    std::error_code error;
    const std::filesystem::path device = std::filesystem::canonical(
        sysfsDevBlock / (std::to_string(major) + ":" + std::to_string(minor)), error);
    if (error) return BlockDeviceKind::Gone;

    // Devices on a USB bus sit below a host controller's root hub, "usbN".
    for (const std::filesystem::path& part : device) {
        if (IsRootHubName(part.string())) return BlockDeviceKind::Usb;
    }
    // A partition has no "removable" of its own; its disk, one folder up, has.
    for (const std::filesystem::path& folder : {device, device.parent_path()}) {
        Attribute removable = ReadAttribute(folder / "removable");
        if (removable.state != AttributeState::Read) continue;
        return ParseHexAttribute(removable.text, 1) == 1u ? BlockDeviceKind::Removable
                                                          : BlockDeviceKind::Fixed;
    }
    return BlockDeviceKind::Fixed;
}

}  // namespace orvane::linux_port
