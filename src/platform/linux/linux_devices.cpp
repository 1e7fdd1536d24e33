// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The Linux back end's devices and drives: kernel uevents, sysfs and the
// mount table, read as data.
#include <dirent.h>
#include <fcntl.h>
#include <linux/netlink.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "platform/linux/beneath.h"
#include "platform/linux/linux_common.h"
#include "platform/linux/linux_platform.h"
#include "platform/linux/mountinfo.h"
#include "platform/linux/profile_reader.h"
#include "platform/linux/sysfs.h"
#include "port/ascii.h"

namespace orvane::linux_port {

using detail::LastError;
using detail::ReadWholeFile;
using detail::WithoutTrailingSlashes;

Status LinuxSystem::OpenDeviceEvents() {
    if (ueventSocket_ >= 0) return Ok();
    int fd =
        ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_KOBJECT_UEVENT);
    if (fd < 0) return LastError();
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = 1;  // the kernel's own broadcast, before udev has seen it
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        SystemError error = LastError();
        ::close(fd);
        return error;
    }
    // Plugging a camera in sends a few dozen events at once; an overflow
    // only costs a scan (see ReadDeviceEvents).
    int bufferSize = 256 * 1024;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize);
    ueventSocket_ = fd;
    return Ok();
}

bool LinuxSystem::ReadDeviceEvents() {
    if (ueventSocket_ < 0) return false;
    bool scan = false;
    char buffer[8192];
    for (;;) {
        ssize_t length = ::recv(ueventSocket_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (length < 0 && errno == EINTR) continue;
        // Events were dropped: any of them may have been the camera's.
        if (length < 0 && errno == ENOBUFS) {
            scan = true;
            continue;
        }
        if (length <= 0) break;
        if (UeventCallsForScan(std::string_view(buffer, static_cast<std::size_t>(length))))
            scan = true;
    }
    return scan;
}

std::vector<UsbDevice> LinuxSystem::PresentUsbDevices() {
    return ListUsbDevices(roots_.usbDevices);
}

std::vector<std::string> LinuxSystem::LogicalDrives() {
    Result<std::string> text = ReadWholeFile(roots_.mountInfo);
    if (!text.ok()) return {};
    std::vector<std::string> drives;
    for (MountEntry& entry : ParseMountInfo(text.value())) {
        if (IsBlockDeviceVolume(entry)) drives.push_back(std::move(entry.mountPoint));
    }
    return drives;
}

Result<StorageLayout> LinuxSystem::StorageLayoutOfDrives() {
    Result<std::string> text = ReadWholeFile(roots_.mountInfo);
    if (!text.ok()) return text.error();
    StorageLayout layout;
    for (MountEntry& entry : ParseMountInfo(text.value())) {
        if (!IsBlockDeviceVolume(entry)) continue;
        std::string id = std::to_string(entry.major) + ":" + std::to_string(entry.minor);
        layout.drives.push_back(DriveOnDisk{std::move(entry.mountPoint), std::move(id), 0, true});
    }
    // /sys/dev/block/MAJ:MIN links to each block device's folder in the
    // tree; every folder above it is a device it hangs from. Devices without
    // a mounted volume count too: they tell that the camera has storage.
    layout.disks = ListBlockDevices(roots_.blockDevices);
    return layout;
}

bool LinuxSystem::IsFolder(std::string_view path) {
    struct stat status {};
    return ::stat(std::string(path).c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

DriveRefusal LinuxSystem::CheckDrive(std::string_view drive) {
    checked_.reset();
    const std::string mountPoint = WithoutTrailingSlashes(drive);
    Result<std::string> text = ReadWholeFile(roots_.mountInfo);
    if (!text.ok()) return DriveRefusal::Gone;
    // A later mount on the same point hides the earlier ones: when that is
    // not a volume (a tmpfs, say), the camera's storage is out of reach.
    std::optional<MountEntry> volume;
    for (MountEntry& entry : ParseMountInfo(text.value())) {
        if (entry.mountPoint == mountPoint) volume = std::move(entry);
    }
    if (!volume || !IsBlockDeviceVolume(*volume)) return DriveRefusal::Gone;
    checked_ = CheckedVolume{mountPoint, makedev(volume->major, volume->minor)};
    if (mountPoint == "/") return DriveRefusal::SystemDrive;
    switch (ClassifyBlockDevice(roots_.blockDevices, volume->major, volume->minor)) {
        case BlockDeviceKind::Gone:
            return DriveRefusal::Gone;
        case BlockDeviceKind::Usb:
        case BlockDeviceKind::Removable:
            return DriveRefusal::None;
        case BlockDeviceKind::Fixed:
            break;
    }
    return DriveRefusal::NotRemovable;
}

}  // namespace orvane::linux_port
