// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The Windows device walk over plain answers.
#include "device/device_walk.h"

#include <algorithm>

#include "port/ascii.h"

namespace orvane {

namespace {

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           EqualIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

bool AllDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Disks and the letters on them share one key: the disk class's number.
std::string DiskKey(unsigned number) {
    return "disk " + std::to_string(number);
}

// The chain of instance IDs above `node`, nearest first; nothing when a node
// on the way went away, since the disk is then being removed with it.
std::optional<std::vector<std::string>> ChainAbove(DeviceTreeSource& source, DeviceNode node) {
    std::vector<std::string> chain;
    DeviceNode at = node;
    for (unsigned depth = 0; depth < kMaxTreeDepth; ++depth) {
        const std::optional<DeviceNode> parent = source.Parent(at);
        // A node that is its own parent would hold the climb for ever.
        if (!parent || *parent == at) break;
        std::optional<std::string> id = source.InstanceId(*parent);
        if (!id || id->empty()) return std::nullopt;
        chain.push_back(std::move(*id));
        at = *parent;
    }
    return chain;
}

bool HasMedium(const StorageFacts& facts) {
    // Any other failure leaves the medium to the writes to answer for.
    return facts.media != MediaState::NotReady && facts.media != MediaState::NoMedia;
}

}  // namespace

std::string VolumePathOfLetter(std::string_view letter) {
    return "\\\\.\\" + std::string(letter.substr(0, 1)) + ":";
}

bool IsHardDiskTarget(std::string_view target) {
    constexpr std::string_view kVolume = "\\Device\\HarddiskVolume";
    constexpr std::string_view kDisk = "\\Device\\Harddisk";
    if (StartsWithIgnoringCase(target, kVolume)) return AllDigits(target.substr(kVolume.size()));
    if (!StartsWithIgnoringCase(target, kDisk)) return false;
    const std::string_view rest = target.substr(kDisk.size());
    const std::size_t separator = rest.find('\\');
    return separator != std::string_view::npos && AllDigits(rest.substr(0, separator)) &&
           StartsWithIgnoringCase(rest.substr(separator + 1), "DP(");
}

std::optional<unsigned> LunFromInstanceId(std::string_view instanceId) {
    if (!StartsWithIgnoringCase(instanceId, "USBSTOR\\")) return std::nullopt;
    const std::size_t amp = instanceId.rfind('&');
    if (amp == std::string_view::npos || instanceId.find('\\', amp) != std::string_view::npos)
        return std::nullopt;
    const std::string_view digits = instanceId.substr(amp + 1);
    // A unit number is small; anything long is part of a made-up serial.
    if (!AllDigits(digits) || digits.size() > 3) return std::nullopt;
    return static_cast<unsigned>(std::stoul(std::string(digits)));
}

bool LetterMayLieOnDisk(const DriveLetter& letter) {
    if (letter.type != LetterType::Removable && letter.type != LetterType::Fixed &&
        letter.type != LetterType::Unknown)
        return false;
    return IsHardDiskTarget(letter.dosTarget);
}

StorageLayout WalkDeviceTree(DeviceTreeSource& source) {
    StorageLayout layout;
    for (const DiskInterface& disk : source.DiskInterfaces()) {
        const std::optional<std::string> ownId = source.InstanceId(disk.node);
        if (!ownId) continue;
        std::optional<std::vector<std::string>> chain = ChainAbove(source, disk.node);
        if (!chain) continue;
        const StorageFacts facts = source.QueryStorage(disk.path);
        StorageDisk entry;
        entry.ancestors = std::move(*chain);
        if (!facts.answered) {
            // Its number is unknown, so no letter can be matched to it.
            entry.id = disk.path;
            entry.name = *ownId;
            entry.answering = false;
            entry.hasMedium = false;
            layout.disks.push_back(std::move(entry));
            continue;
        }
        // The disk interface class lists disks only, but a driver may answer
        // for another class; its number would collide with a disk's.
        if (!facts.number || facts.number->type != kFileDeviceDisk) continue;
        entry.id = DiskKey(facts.number->number);
        entry.name = "disk " + std::to_string(facts.number->number);
        // The request may not reach the USB driver through the disk driver;
        // the instance ID carries the unit too.
        entry.unit = facts.lun.value_or(LunFromInstanceId(*ownId).value_or(0));
        entry.hasMedium = HasMedium(facts);
        layout.disks.push_back(std::move(entry));
    }

    for (std::string& name : source.Letters()) {
        DriveOnDisk drive;
        drive.drive = std::move(name);
        // Without a disk in the tree no letter can be matched to one.
        if (layout.disks.empty()) {
            layout.drives.push_back(std::move(drive));
            continue;
        }
        const DriveLetter letter = source.DescribeLetter(drive.drive);
        if (!LetterMayLieOnDisk(letter)) {
            layout.drives.push_back(std::move(drive));
            continue;
        }
        const StorageFacts facts = source.QueryStorage(VolumePathOfLetter(letter.letter));
        drive.answering = facts.answered;
        drive.hasMedium = HasMedium(facts);
        // A partition of -1 is no partition of a disk: such a volume is a
        // driver's own and must not be taken for the disk's last.
        if (facts.answered && facts.number && facts.number->type == kFileDeviceDisk &&
            facts.number->partition >= 0) {
            drive.diskId = DiskKey(facts.number->number);
            drive.partition = static_cast<unsigned>(facts.number->partition);
        }
        layout.drives.push_back(std::move(drive));
    }
    return layout;
}

bool FixedDriveOnUsb(const StorageFacts& letterFacts, const StorageLayout& layout,
                     std::string_view letter) {
    if (letterFacts.bus == kBusUsb) return true;
    for (const DriveOnDisk& drive : layout.drives) {
        if (drive.drive != letter || drive.diskId.empty()) continue;
        for (const StorageDisk& disk : layout.disks) {
            if (disk.id != drive.diskId) continue;
            if (std::any_of(
                    disk.ancestors.begin(), disk.ancestors.end(),
                    [](const std::string& id) { return StartsWithIgnoringCase(id, "USB\\"); }))
                return true;
        }
    }
    return false;
}

}  // namespace orvane
