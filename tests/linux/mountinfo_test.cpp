// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The mount-table reader on a captured desktop table and on broken lines.
#include "platform/linux/mountinfo.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace orvane::linux_port {
namespace {

std::string ReadFixture(const std::string& name) {
    std::ifstream file(std::string(ORVANE_LINUX_FIXTURES) + "/" + name, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST(MountInfo, ReadsEveryWellFormedLineInOrder) {
    std::vector<MountEntry> entries = ParseMountInfo(ReadFixture("mountinfo-desktop.txt"));
    std::vector<std::string> points;
    for (const MountEntry& entry : entries) points.push_back(entry.mountPoint);
    EXPECT_EQ(points, (std::vector<std::string>{
                          "/sys", "/proc", "/dev", "/", "/boot/efi", "/home", "/run/user/1000",
                          "/snap/core22/1380", "/srv/shared", "/run/user/1000/gvfs",
                          "/media/alice/USB STICK", "/media/alice/EOS_DIGITAL\ttab\\back"}));

    const MountEntry& stick = entries[10];
    EXPECT_EQ(stick.fsType, "vfat");
    EXPECT_EQ(stick.source, "/dev/sdb1");
    EXPECT_EQ(stick.major, 8u);
    EXPECT_EQ(stick.minor, 17u);
    EXPECT_EQ(stick.root, "/");
    // Optional fields ("master:12") between the options and "-" are skipped.
    EXPECT_EQ(entries[11].fsType, "exfat");
    EXPECT_EQ(entries[11].source, "/dev/sdc1");
}

TEST(MountInfo, BlockDeviceVolumesAreWholeVolumesUnderDev) {
    std::vector<std::string> volumes;
    for (const MountEntry& entry : ParseMountInfo(ReadFixture("mountinfo-desktop.txt")))
        if (IsBlockDeviceVolume(entry)) volumes.push_back(entry.mountPoint);
    // The bind mount of /alice/shared, the virtual filesystems and the
    // package image (squashfs on a loop device) are not drives.
    EXPECT_EQ(volumes,
              (std::vector<std::string>{"/", "/boot/efi", "/home", "/media/alice/USB STICK",
                                        "/media/alice/EOS_DIGITAL\ttab\\back"}));
}

TEST(MountInfo, MalformedLinesAreSkipped) {
    const char* text =
        "\n"
        "1 2 8:1 / /a rw - ext4 /dev/sda1 rw\n"         // well formed
        "x 2 8:1 / /b rw - ext4 /dev/sda1 rw\n"         // mount id not a number
        "3 2 81 / /c rw - ext4 /dev/sda1 rw\n"          // no colon in the device number
        "4 2 8:x / /d rw - ext4 /dev/sda1 rw\n"         // minor not a number
        "5 2 8:1 / /e rw shared:1 ext4 /dev/sda1 rw\n"  // no separator
        "6 2 8:1 / /f rw - ext4\n"                      // no source
        "7 2 8:1 / /g\n"                                // cut short
        "8 2 8:1 / /h rw - vfat /dev/sdb1 rw";          // last line without line end
    std::vector<MountEntry> entries = ParseMountInfo(text);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].mountPoint, "/a");
    EXPECT_EQ(entries[1].mountPoint, "/h");
}

TEST(MountInfo, DecodesOnlyCompleteOctalEscapes) {
    EXPECT_EQ(DecodeMountField("a\\040b\\012c"), "a b\nc");
    EXPECT_EQ(DecodeMountField("\\134040"), "\\040");  // an escaped backslash stays one
    EXPECT_EQ(DecodeMountField("end\\04"), "end\\04");
    EXPECT_EQ(DecodeMountField("\\400\\x41"), "\\400\\x41");
}

}  // namespace
}  // namespace orvane::linux_port
