// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The walk from the disks a Windows system lists up to the USB devices they
// hang from, and from its drive letters to those disks, decided over what a
// small source answers: the system itself, a modelled tree, or a user's report.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "port/system_port.h"

namespace orvane {

// A node of the device tree as the source names it for the length of a walk.
using DeviceNode = std::uint32_t;

// Device types of a storage device number, as Windows numbers them.
inline constexpr unsigned kFileDeviceDisk = 7;
// The bus a storage device descriptor names (STORAGE_BUS_TYPE): only USB
// matters to the walk, the others are kept for the report.
inline constexpr int kBusUsb = 7;

// What a unit-ready test answered.
enum class MediaState { Present, NotReady, NoMedia, Unknown };

// Storage device number: numbers count apart per class (disk, floppy, CD).
struct DeviceNumber {
    unsigned type = 0;
    unsigned number = 0;
    // Signed: a RAM-disk driver answers -1.
    long partition = 0;
};

// What one disk or volume answered when opened for its properties. Every
// request may fail on its own; nothing at all answers when the open did.
struct StorageFacts {
    // False when the open or a request did not return within the ceiling:
    // the device is hung, and nothing else is known of it.
    bool answered = true;
    std::optional<DeviceNumber> number;
    std::optional<unsigned> lun;
    MediaState media = MediaState::Unknown;
    std::optional<int> bus;
    std::optional<bool> removable;
};

// A drive letter's type, as GetDriveType answers it.
enum class LetterType { Unknown, NoRoot, Removable, Fixed, Remote, CdRom, RamDisk };

struct DriveLetter {
    std::string letter;  // "G"
    LetterType type = LetterType::Unknown;
    std::string dosTarget;  // "\Device\HarddiskVolume5"; empty when the system did not say
};

struct DiskInterface {
    std::string path;  // opens the disk for its properties
    DeviceNode node = 0;
};

// The questions the walk asks. Each answer is taken as it comes: a device may
// go away between two of them.
class DeviceTreeSource {
  public:
    virtual ~DeviceTreeSource() = default;
    // The present disks of the disk interface class.
    virtual std::vector<DiskInterface> DiskInterfaces() = 0;
    // The node above `node`; nothing at the top of the tree or when `node`
    // is gone.
    virtual std::optional<DeviceNode> Parent(DeviceNode node) = 0;
    // The node's device instance ID; nothing when it is gone.
    virtual std::optional<std::string> InstanceId(DeviceNode node) = 0;
    // What the disk or volume at `path` says of itself, within a ceiling.
    virtual StorageFacts QueryStorage(const std::string& path) = 0;
    // The letters in use, in letter order ("C", "G").
    virtual std::vector<std::string> Letters() = 0;
    // A letter's type and DOS target: asked only where a disk could be
    // matched to it, since under Wine even a type is a request to a driver.
    virtual DriveLetter DescribeLetter(const std::string& letter) = 0;
};

// Deeper than any real USB tree (hubs nest at most five deep): a source
// whose parents form a loop is left there.
inline constexpr unsigned kMaxTreeDepth = 32;

// The path that opens a letter's volume: "\\.\G:".
std::string VolumePathOfLetter(std::string_view letter);

// Whether a letter's DOS target is a volume on a hard disk
// ("\Device\HarddiskVolumeN", or "\Device\HarddiskN\DP(...)" before Vista):
// a floppy, a CD, a network or a virtual drive's number counts in another
// class and says nothing about the disks.
bool IsHardDiskTarget(std::string_view dosTarget);

// The logical unit a USB mass-storage disk's instance ID ends in
// ("USBSTOR\Disk&Ven_...\SERIAL&1" is unit 1); nothing for any other form.
std::optional<unsigned> LunFromInstanceId(std::string_view instanceId);

// Whether `letter` needs to be opened at all: only a letter whose volume may
// lie on one of the disks. Floppies, CDs and network drives are never
// opened, so a hung one cannot hold the walk.
bool LetterMayLieOnDisk(const DriveLetter& letter);

// The disks with their chains of parents and the letters on them, as the
// port's StorageLayoutOfDrives gives them. A disk that did not answer is kept
// with its chain and without a number, so that a hung camera can be told from
// a missing one; a disk whose chain met a node that went away is left out.
StorageLayout WalkDeviceTree(DeviceTreeSource& source);

// Whether a fixed drive can still be the camera's: its disk says it is on
// USB, or the tree shows a USB device above the disk it lies on (a UASP
// disk's own descriptor may name SCSI).
bool FixedDriveOnUsb(const StorageFacts& letterFacts, const StorageLayout& layout,
                     std::string_view letter);

}  // namespace orvane
