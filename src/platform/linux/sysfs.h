// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Reading USB devices and block devices from sysfs.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "port/system_port.h"

namespace orvane::linux_port {

// A hexadecimal attribute as sysfs writes it ("04da\n"): one trailing newline
// is dropped; anything but hex digits, or a value above `maxValue`, gives
// nothing.
std::optional<unsigned> ParseHexAttribute(std::string_view text, unsigned maxValue);

// The hardware-ID list a USB device reports on Windows, most specific first:
// USB\VID_vvvv&PID_pppp&REV_rrrr, then USB\VID_vvvv&PID_pppp, in upper case.
std::vector<std::string> UsbHardwareIds(unsigned vendor, unsigned product, unsigned revision);

// Orders sysfs entry names so that numbers compare by value: bus 2 before
// bus 10, port path 1-2 before 1-10 and before 1-2.1.
bool NaturalLess(std::string_view a, std::string_view b);

// The USB devices under a sysfs folder laid out like /sys/bus/usb/devices, in
// natural order of their names. Interfaces (no idVendor) and root hubs
// ("usbN") are left out; a device whose attributes vanish while it is read
// has been unplugged and is left out too; one whose attributes cannot be
// understood is listed without hardware IDs, so it never matches.
std::vector<UsbDevice> ListUsbDevices(const std::filesystem::path& sysfsUsbDevices);

// The folders above `folder`, nearest first, up to the root: for a block
// device's resolved sysfs folder, the devices it hangs from. Whole path
// components only, so /sys/devices/.../1-1 is no ancestor of .../1-10/sdb.
std::vector<std::string> FoldersAbove(const std::filesystem::path& folder);

// The logical unit of a SCSI device (a USB disk is one) from its resolved
// sysfs folder: the last number of the nearest "host:channel:target:lun"
// folder above it; 0 when there is none.
unsigned ScsiUnitOf(const std::filesystem::path& folder);

// The block devices, whole disks and partitions alike, of a folder laid out
// like /sys/dev/block, each with the folders above it, its name under /dev,
// its logical unit, its partition number and whether it holds a medium (a
// card reader's empty slot has a size of 0). Entries that vanish while they
// are read are left out.
std::vector<StorageDisk> ListBlockDevices(const std::filesystem::path& sysfsDevBlock);

// Whether one kernel uevent datagram ("ACTION@DEVPATH", then NUL-separated
// KEY=VALUE lines) tells of a USB or block device added or removed, or of a
// disk whose medium changed: the events after which a scan may find more.
bool UeventCallsForScan(std::string_view datagram);

// What sysfs says of the block device `major`:`minor`, given a folder laid
// out like /sys/dev/block (one entry "major:minor" per device, usually a link
// into /sys/devices).
enum class BlockDeviceKind {
    Gone,       // no such device any more
    Usb,        // on a USB bus (a camera, a card reader, a stick)
    Removable,  // the kernel marks its medium removable
    Fixed,      // neither
};
BlockDeviceKind ClassifyBlockDevice(const std::filesystem::path& sysfsDevBlock, unsigned major,
                                    unsigned minor);

}  // namespace orvane::linux_port
