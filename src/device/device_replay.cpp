// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The device report replayed as a source, recorded from one, and decided.
#include <algorithm>

#include "device/device_report.h"
#include "device/hardware_id.h"
#include "port/ascii.h"

namespace orvane {

namespace {

// Instance IDs and device paths name one device whatever their case: a
// report may hold both spellings, from two of the system's APIs.
bool SameName(std::string_view a, std::string_view b) {
    return EqualIgnoringAsciiCase(a, b);
}

}  // namespace

// ---- Replaying ---------------------------------------------------------------

ReportSource::ReportSource(const DeviceReport& report) : report_(report) {}

DeviceNode ReportSource::NodeOf(const std::string& id) {
    auto it = std::find_if(names_.begin(), names_.end(),
                           [&id](const std::string& name) { return SameName(name, id); });
    if (it != names_.end()) return static_cast<DeviceNode>(it - names_.begin());
    names_.push_back(id);
    return static_cast<DeviceNode>(names_.size() - 1);
}

std::vector<DiskInterface> ReportSource::DiskInterfaces() {
    std::vector<DiskInterface> disks;
    for (const DeviceReport::Disk& disk : report_.disks)
        disks.push_back(DiskInterface{disk.path, NodeOf(disk.node)});
    return disks;
}

std::optional<DeviceNode> ReportSource::Parent(DeviceNode node) {
    // A walk that does not stop is given nothing more, so that it ends
    // and can be told by the count.
    if (++parentsAsked_ > 1000 || node >= names_.size()) return std::nullopt;
    for (const DeviceReport::Node& entry : report_.nodes) {
        if (!SameName(entry.id, names_[node])) continue;
        if (entry.gone || !entry.parent) return std::nullopt;
        return NodeOf(*entry.parent);
    }
    return std::nullopt;
}

std::optional<std::string> ReportSource::InstanceId(DeviceNode node) {
    if (node >= names_.size()) return std::nullopt;
    for (const DeviceReport::Node& entry : report_.nodes) {
        if (SameName(entry.id, names_[node]) && entry.gone) return std::nullopt;
    }
    return names_[node];
}

StorageFacts ReportSource::QueryStorage(const std::string& path) {
    for (const DeviceReport::Disk& disk : report_.disks) {
        if (SameName(disk.path, path) && disk.facts) return *disk.facts;
    }
    for (const DeviceReport::Letter& letter : report_.letters) {
        if (VolumePathOfLetter(letter.letter.letter) == path && letter.facts) return *letter.facts;
    }
    return StorageFacts{};
}

std::vector<std::string> ReportSource::Letters() {
    std::vector<std::string> letters;
    for (const DeviceReport::Letter& letter : report_.letters)
        letters.push_back(letter.letter.letter);
    return letters;
}

DriveLetter ReportSource::DescribeLetter(const std::string& name) {
    for (const DeviceReport::Letter& letter : report_.letters) {
        if (letter.letter.letter == name) return letter.letter;
    }
    return DriveLetter{name, LetterType::NoRoot, {}};
}

// ---- Recording ---------------------------------------------------------------

std::string RecordingSource::NameOf(DeviceNode node) {
    for (const auto& [known, name] : names_) {
        if (known == node) return name;
    }
    // A node whose ID cannot be read has no name of its own.
    std::optional<std::string> id = source_.InstanceId(node);
    std::string name = id && !id->empty() ? *id : "gone-" + std::to_string(node);
    names_.emplace_back(node, name);
    if (!id || id->empty()) Recorded(name).gone = true;
    return name;
}

DeviceReport::Node& RecordingSource::Recorded(const std::string& id) {
    for (DeviceReport::Node& node : report_.nodes) {
        if (SameName(node.id, id)) return node;
    }
    report_.nodes.push_back(DeviceReport::Node{id, std::nullopt, false});
    return report_.nodes.back();
}

std::vector<DiskInterface> RecordingSource::DiskInterfaces() {
    std::vector<DiskInterface> disks = source_.DiskInterfaces();
    for (const DiskInterface& disk : disks) {
        // A disk the walk leaves out unasked shows no facts.
        report_.disks.push_back(DeviceReport::Disk{disk.path, NameOf(disk.node), std::nullopt});
    }
    return disks;
}

std::optional<DeviceNode> RecordingSource::Parent(DeviceNode node) {
    const std::string name = NameOf(node);
    std::optional<DeviceNode> parent = source_.Parent(node);
    if (parent) Recorded(name).parent = NameOf(*parent);
    return parent;
}

std::optional<std::string> RecordingSource::InstanceId(DeviceNode node) {
    const std::string name = NameOf(node);
    for (const DeviceReport::Node& entry : report_.nodes) {
        if (SameName(entry.id, name) && entry.gone) return std::nullopt;
    }
    return name;
}

StorageFacts RecordingSource::QueryStorage(const std::string& path) {
    StorageFacts facts = source_.QueryStorage(path);
    for (DeviceReport::Disk& disk : report_.disks) {
        if (SameName(disk.path, path)) disk.facts = facts;
    }
    for (DeviceReport::Letter& letter : report_.letters) {
        if (VolumePathOfLetter(letter.letter.letter) == path) letter.facts = facts;
    }
    return facts;
}

std::vector<std::string> RecordingSource::Letters() {
    std::vector<std::string> letters = source_.Letters();
    for (const std::string& letter : letters)
        report_.letters.push_back(
            DeviceReport::Letter{{letter, LetterType::Unknown, {}}, false, {}});
    return letters;
}

DriveLetter RecordingSource::DescribeLetter(const std::string& name) {
    DriveLetter letter = source_.DescribeLetter(name);
    for (DeviceReport::Letter& entry : report_.letters) {
        if (entry.letter.letter != name) continue;
        entry.letter = letter;
        entry.described = true;
    }
    return letter;
}

// ---- The choice --------------------------------------------------------------

StorageLayout LayoutOfReport(const DeviceReport& report) {
    if (report.system == HostSystem::Linux) return report.layout;
    ReportSource source(report);
    return WalkDeviceTree(source);
}

std::string ChoiceOfReport(const DeviceReport& report) {
    if (report.cameraId.empty()) return "none no-camera-id";
    const auto camera = std::find_if(
        report.usbDevices.begin(), report.usbDevices.end(), [&](const UsbDevice& device) {
            return device.hardwareIds && !device.hardwareIds->empty() &&
                   HardwareIdsEqual(device.hardwareIds->front(), report.cameraId);
        });
    if (camera == report.usbDevices.end()) return "none no-camera";
    const StorageLayout layout = LayoutOfReport(report);
    std::vector<std::string> drives;
    for (const DriveOnDisk& drive : layout.drives) drives.push_back(drive.drive);
    const DeviceStorage storage =
        ChooseCameraStorage(layout, drives, camera->instance, [&](const std::string& drive) {
            return std::find(report.destinationOn.begin(), report.destinationOn.end(), drive) !=
                   report.destinationOn.end();
        });
    using State = DeviceStorage::State;
    switch (storage.state) {
        case State::Drive:
            break;
        case State::NotMounted:
            return "none not-mounted " + storage.diskName;
        case State::NoMedium:
            return "none no-medium";
        case State::NoStorage:
            return "none no-storage";
        case State::NotAnswering:
            return "none not-answering";
    }
    if (storage.drive.empty()) return "none no-drive";
    if (report.system == HostSystem::Windows) {
        // The bus check a fixed drive meets before it is written to.
        for (const DeviceReport::Letter& letter : report.letters) {
            if (letter.letter.letter != storage.drive || letter.letter.type != LetterType::Fixed)
                continue;
            if (!FixedDriveOnUsb(letter.facts.value_or(StorageFacts{}), layout, storage.drive))
                return "none refused not-removable";
        }
    }
    return "drive " + storage.drive;
}

}  // namespace orvane
