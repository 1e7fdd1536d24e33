// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The sysfs readers on device trees laid out in temporary folders.
#include "platform/linux/sysfs.h"

#include <gtest/gtest.h>

#include "temp_tree.h"

namespace orvane::linux_port {
namespace {

using testing::TempTree;

TEST(HexAttribute, AcceptsWhatSysfsWritesAndNothingElse) {
    EXPECT_EQ(ParseHexAttribute("04da\n", 0xFFFF), 0x04DAu);
    EXPECT_EQ(ParseHexAttribute("FFFF", 0xFFFF), 0xFFFFu);
    EXPECT_EQ(ParseHexAttribute("0", 0xFFFF), 0u);
    EXPECT_EQ(ParseHexAttribute("10000\n", 0xFFFF), std::nullopt);  // out of range
    EXPECT_EQ(ParseHexAttribute("ffffffffffffffffffff", 0xFFFF), std::nullopt);
    EXPECT_EQ(ParseHexAttribute("", 0xFFFF), std::nullopt);
    EXPECT_EQ(ParseHexAttribute("\n", 0xFFFF), std::nullopt);
    EXPECT_EQ(ParseHexAttribute("04da\n\n", 0xFFFF), std::nullopt);
    EXPECT_EQ(ParseHexAttribute(" 4da", 0xFFFF), std::nullopt);
    EXPECT_EQ(ParseHexAttribute("0x4da", 0xFFFF), std::nullopt);
    EXPECT_EQ(ParseHexAttribute("4dg", 0xFFFF), std::nullopt);
}

TEST(HardwareIds, AreUpperCaseWithAndWithoutRevision) {
    EXPECT_EQ(
        UsbHardwareIds(0x1d6c, 0xab, 0x100),
        (std::vector<std::string>{"USB\\VID_1D6C&PID_00AB&REV_0100", "USB\\VID_1D6C&PID_00AB"}));
}

TEST(NaturalOrder, ComparesNumbersByValue) {
    std::vector<std::string> names = {"1-10", "2-1", "10-1", "1-2.1", "1-2", "1-1.10", "1-1.9"};
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return NaturalLess(a, b); });
    EXPECT_EQ(names,
              (std::vector<std::string>{"1-1.9", "1-1.10", "1-2", "1-2.1", "1-10", "2-1", "10-1"}));
    EXPECT_FALSE(NaturalLess("1-2", "1-2"));
}

std::vector<std::string> FirstIds(const std::vector<UsbDevice>& devices) {
    std::vector<std::string> ids;
    for (const UsbDevice& device : devices)
        ids.push_back(device.hardwareIds ? device.hardwareIds->front() : "(unreadable)");
    return ids;
}

TEST(UsbDevices, ListsDevicesInBusAndPortOrderWithoutHubsOrInterfaces) {
    TempTree tree;
    tree.AddUsbDevice("usb1", "1d6b", "0002", "0601");  // root hub
    tree.AddUsbDevice("1-10", "0000", "0010", "0001");
    tree.AddUsbDevice("1-2", "0000", "0002", "0001");
    tree.AddUsbDevice("2-1", "0000", "0021", "0001");
    tree.AddUsbDevice("1-2.1", "1d6c", "00ab", "0100");
    tree.Write("usb/1-2:1.0/bInterfaceClass", "08\n");  // an interface
    std::vector<UsbDevice> devices = ListUsbDevices(tree / "usb");
    EXPECT_EQ(FirstIds(devices),
              (std::vector<std::string>{
                  "USB\\VID_0000&PID_0002&REV_0001", "USB\\VID_1D6C&PID_00AB&REV_0100",
                  "USB\\VID_0000&PID_0010&REV_0001", "USB\\VID_0000&PID_0021&REV_0001"}));
    EXPECT_EQ(devices[1].hardwareIds->at(1), "USB\\VID_1D6C&PID_00AB");
}

TEST(UsbDevices, TheSerialNumberKeepsOnlyPrintableCharacters) {
    TempTree tree;
    tree.AddUsbDevice("1-1", "1d6c", "00ab", "0100");
    tree.Write("usb/1-1/serial", "CAM\x1b[2J,0042\r\n");
    tree.AddUsbDevice("1-2", "1d6c", "00ab", "0100");
    const std::vector<UsbDevice> devices = ListUsbDevices(tree / "usb");
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].serial, "CAM[2J,0042");
    EXPECT_EQ(devices[1].serial, "");
}

TEST(UsbDevices, ADeviceUnpluggedMidScanIsLeftOut) {
    TempTree tree;
    tree.AddUsbDevice("1-1", "0000", "0001", "0001");
    tree.AddUsbDevice("1-3", "1d6c", "00ab", "0100");
    // 1-2 had its idVendor read when it went: its other attributes are gone.
    tree.Write("usb/1-2/idVendor", "0bda\n");
    EXPECT_EQ(FirstIds(ListUsbDevices(tree / "usb")),
              (std::vector<std::string>{"USB\\VID_0000&PID_0001&REV_0001",
                                        "USB\\VID_1D6C&PID_00AB&REV_0100"}));
}

TEST(UsbDevices, UnreadableAttributesGiveADeviceWithoutIds) {
    TempTree tree;
    tree.AddUsbDevice("1-1", "zzzz", "0001", "0001");
    tree.AddUsbDevice("1-2", "0001", "10000", "0001");
    EXPECT_EQ(FirstIds(ListUsbDevices(tree / "usb")),
              (std::vector<std::string>{"(unreadable)", "(unreadable)"}));
}

TEST(UsbDevices, NoFolderMeansNoDevices) {
    TempTree tree;
    EXPECT_TRUE(ListUsbDevices(tree / "missing").empty());
}

// A tree like /sys/devices with /sys/dev/block links into it.
class BlockDevices : public ::testing::Test {
  protected:
    void Link(const std::string& number, const std::string& target) {
        tree.MakeFolder(target);
        std::filesystem::create_directories(tree / "dev/block");
        std::filesystem::create_directory_symlink(tree / target, tree / ("dev/block/" + number));
    }
    BlockDeviceKind Classify(unsigned major, unsigned minor) {
        return ClassifyBlockDevice(tree / "dev/block", major, minor);
    }
    TempTree tree;
};

TEST_F(BlockDevices, AUsbDiskPartitionIsUsb) {
    const std::string disk =
        "devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb";
    tree.Write(disk + "/removable", "0\n");
    Link("8:17", disk + "/sdb1");
    EXPECT_EQ(Classify(8, 17), BlockDeviceKind::Usb);
}

TEST_F(BlockDevices, ARemovableMediumIsRemovableThroughItsDisk) {
    const std::string disk = "devices/pci0000:00/0000:00:1c.0/mmc_host/mmc0/mmc0:0001/block/sdc";
    tree.Write(disk + "/removable", "1\n");
    Link("8:33", disk + "/sdc1");
    Link("8:32", disk);
    EXPECT_EQ(Classify(8, 33), BlockDeviceKind::Removable);
    EXPECT_EQ(Classify(8, 32), BlockDeviceKind::Removable);
}

TEST_F(BlockDevices, AnInternalDiskIsFixedAndAMissingOneGone) {
    const std::string disk = "devices/pci0000:00/0000:00:1d.0/nvme/nvme0/nvme0n1";
    tree.Write(disk + "/removable", "0\n");
    Link("259:2", disk + "/nvme0n1p2");
    Link("253:0", "devices/virtual/block/dm-0");  // no removable attribute at all
    EXPECT_EQ(Classify(259, 2), BlockDeviceKind::Fixed);
    EXPECT_EQ(Classify(253, 0), BlockDeviceKind::Fixed);
    EXPECT_EQ(Classify(8, 49), BlockDeviceKind::Gone);
}

TEST_F(BlockDevices, ListedWithTheirUnitPartitionNameAndMedium) {
    // A camera with internal memory (unit 0, one partition) and an empty
    // card slot (unit 1), beside an internal disk.
    const std::string camera = "devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0";
    tree.Write(camera + "/6:0:0:0/block/sdb/size", "7634944\n");
    tree.Write(camera + "/6:0:0:0/block/sdb/sdb1/partition", "1\n");
    tree.Write(camera + "/6:0:0:0/block/sdb/sdb1/size", "7632896\n");
    tree.Write(camera + "/6:0:0:1/block/sdc/size", "0\n");
    Link("8:16", camera + "/6:0:0:0/block/sdb");
    Link("8:17", camera + "/6:0:0:0/block/sdb/sdb1");
    Link("8:32", camera + "/6:0:0:1/block/sdc");
    Link("259:0", "devices/pci0000:00/0000:00:1d.0/nvme/nvme0/nvme0n1");

    std::vector<StorageDisk> disks = ListBlockDevices(tree / "dev/block");
    ASSERT_EQ(disks.size(), 4u);
    EXPECT_EQ(disks[0].id, "8:16");
    EXPECT_EQ(disks[1].name, "/dev/sdb1");
    EXPECT_EQ(disks[1].unit, 0u);
    EXPECT_EQ(disks[1].partition, 1u);
    EXPECT_TRUE(disks[1].hasMedium);
    EXPECT_EQ(disks[2].name, "/dev/sdc");
    EXPECT_EQ(disks[2].unit, 1u);
    EXPECT_FALSE(disks[2].hasMedium);
    // Each hangs below the camera's USB device; the whole disk is above its
    // partition.
    const std::string device = (tree / "devices/pci0000:00/0000:00:14.0/usb2/2-1");
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_NE(std::find(disks[i].ancestors.begin(), disks[i].ancestors.end(), device),
                  disks[i].ancestors.end());
    EXPECT_EQ(disks[1].ancestors.front(), tree / (camera + "/6:0:0:0/block/sdb"));
    EXPECT_EQ(disks[3].id, "259:0");
    EXPECT_EQ(disks[3].unit, 0u);  // no SCSI address above it
}

TEST(Uevents, ScanOnUsbOrBlockArrivalRemovalAndMediumChangeOnly) {
    using namespace std::string_literals;
    const auto event = [](const std::string& action, const std::string& subsystem,
                          const std::string& extra = {}) {
        return action + "@/devices/x\0ACTION="s + action + "\0DEVPATH=/devices/x\0SUBSYSTEM="s +
               subsystem + "\0SEQNUM=1\0"s + extra;
    };
    EXPECT_TRUE(UeventCallsForScan(event("add", "usb")));
    EXPECT_TRUE(UeventCallsForScan(event("remove", "block")));
    EXPECT_TRUE(UeventCallsForScan(event("change", "block", "DISK_MEDIA_CHANGE=1\0"s)));
    EXPECT_FALSE(UeventCallsForScan(event("change", "block")));
    EXPECT_FALSE(UeventCallsForScan(event("add", "input")));
    EXPECT_FALSE(UeventCallsForScan(event("bind", "usb")));
    // udev's own messages start with a header, not "ACTION@DEVPATH".
    EXPECT_FALSE(UeventCallsForScan("libudev\0ACTION=add\0SUBSYSTEM=usb\0"s));
    EXPECT_FALSE(UeventCallsForScan(""));
}

}  // namespace
}  // namespace orvane::linux_port
