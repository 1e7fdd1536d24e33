// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Reading the kernel's per-process mount table (/proc/self/mountinfo).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvane::linux_port {

struct MountEntry {
    std::string mountPoint;  // decoded: "\040" is a space again
    std::string fsType;
    std::string source;  // the mount source, e.g. "/dev/sdb1"; decoded
    unsigned major = 0, minor = 0;
    std::string root;  // the folder of the filesystem mounted here; "/" for a whole volume
};

// The entries of a mountinfo text, in the order the kernel lists them (the
// order of mounting). Lines that do not have the mountinfo shape are skipped.
std::vector<MountEntry> ParseMountInfo(std::string_view text);

// Decodes the octal escapes (\040, \011, \012, \134) the kernel writes for
// blanks, newlines and backslashes in paths; other text stays as it is.
std::string DecodeMountField(std::string_view field);

// Whether the entry is a whole volume on a block device, the kind of mount a
// camera's storage gets: a source under /dev and the volume's own root rather
// than a bind mount of some folder or file in it. Read-only image filesystems
// (squashfs, erofs) are never such a volume.
bool IsBlockDeviceVolume(const MountEntry& entry);

}  // namespace orvane::linux_port
