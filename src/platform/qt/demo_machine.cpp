// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The simulated machine behind orvane-demo.
#include "platform/qt/demo_machine.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <fstream>
#include <system_error>

namespace orvane::qt {

namespace {

void WriteText(const std::filesystem::path& file, const std::string& text) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

std::string Hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x\n", value & 0xFFFFu);
    return text;
}

// "major:minor" of the filesystem holding `path`: the folder that stands in
// for the camera's volume carries it, and the updater checks it.
std::string DeviceNumberOf(const std::filesystem::path& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        throw std::system_error(errno, std::generic_category(), "stat");
    return std::to_string(major(status.st_dev)) + ":" + std::to_string(minor(status.st_dev));
}

constexpr const char* kHostController = "devices/pci0000:00/0000:00:14.0";

std::string EscapeForMountTable(const std::string& path) {
    std::string out;
    for (char c : path) out += c == ' ' ? std::string("\\040") : std::string(1, c);
    return out;
}

}  // namespace

DemoMachine::DemoMachine(std::string hardwareId, std::filesystem::path cameraDrive)
    : cameraDrive_(std::move(cameraDrive)), hardwareId_(std::move(hardwareId)) {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvane-demo-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::system_error(errno, std::generic_category(), "mkdtemp");
    root_ = pattern;
    const bool ownDrive = cameraDrive_.empty();
    if (ownDrive) cameraDrive_ = root_ / "media" / "DEMO CAMERA";

    // What is there before the camera: a root hub, a keyboard and an
    // internal disk holding the root filesystem.
    cameraNumber_ = DeviceNumberOf(ownDrive ? root_ : cameraDrive_);
    const std::string internal = cameraNumber_ == "259:2" ? "259:3" : "259:2";
    AddUsbDevice("usb1", 0x1d6b, 0x0002, 0x0601);
    AddUsbDevice("1-1", 0x0001, 0x0101, 0x0100);
    AddDisk(internal, "devices/pci0000:00/0000:00:1d.0/nvme/nvme0/nvme0n1/nvme0n1p2", "0");
    AddDisk(cameraNumber_, std::string(kHostController) + "/usb1/1-4/1-4:1.0/host7/block/sdc/sdc1",
            "0");
    mountTable_ = "21 1 " + internal + " / / rw,relatime - ext4 /dev/nvme0n1p2 rw\n";
    WriteMountTable();
}

DemoMachine::~DemoMachine() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

linux_port::SystemRoots DemoMachine::roots() const {
    return {root_ / "sys/bus/usb/devices", root_ / "mountinfo", root_ / "sys/dev/block"};
}

void DemoMachine::PlugCamera() {
    if (plugged_) return;
    plugged_ = true;
    std::string id = hardwareId_;
    for (char& c : id) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    unsigned vendor = 0, product = 0, revision = 0;
    if (std::sscanf(id.c_str(), "USB\\VID_%4X&PID_%4X&REV_%4X", &vendor, &product, &revision) !=
        3) {
        vendor = 0xffff;
        product = 0xffff;
    }
    AddUsbDevice("1-4", vendor, product, revision);
    std::filesystem::create_directories(cameraDrive_);
    mountTable_ += "98 21 " + cameraNumber_ + " / " + EscapeForMountTable(cameraDrive_.string()) +
                   " rw,nosuid,nodev - vfat /dev/sdc1 rw\n";
    WriteMountTable();
}

void DemoMachine::AddUsbDevice(const std::string& name, unsigned vendor, unsigned product,
                               unsigned revision) {
    // As the kernel lays it out: the device in the tree, below its hub, and
    // a link to it in the bus's list.
    const std::string hub = name.find('-') == std::string::npos ? "" : "usb1/";
    const std::filesystem::path device = root_ / "sys" / kHostController / (hub + name);
    WriteText(device / "idVendor", Hex4(vendor));
    WriteText(device / "idProduct", Hex4(product));
    WriteText(device / "bcdDevice", Hex4(revision));
    std::filesystem::create_directories(root_ / "sys/bus/usb/devices");
    std::filesystem::create_directory_symlink(device, root_ / "sys/bus/usb/devices" / name);
}

void DemoMachine::AddDisk(const std::string& number, const std::string& devicePath,
                          const char* removable) {
    const std::filesystem::path device = root_ / "sys" / devicePath;
    std::filesystem::create_directories(device);
    WriteText(device.parent_path() / "removable", std::string(removable) + "\n");
    std::filesystem::create_directories(root_ / "sys/dev/block");
    std::filesystem::create_directory_symlink(device, root_ / "sys/dev/block" / number);
}

void DemoMachine::WriteMountTable() {
    // Written whole and renamed, so a scan never reads half a table.
    const std::filesystem::path next = root_ / "mountinfo.next";
    WriteText(next, mountTable_);
    std::filesystem::rename(next, root_ / "mountinfo");
}

std::filesystem::path ExampleFolder() {
    return ORVANE_EXAMPLES_DIR;
}

}  // namespace orvane::qt
