// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// What a system said about its USB devices and storage, kept as text: the
// device report a user sends, and the modelled trees the tests load, are one
// format. One fact a line, "#" starts a comment line:
//
//   system windows | linux
//   camera-id USB\VID_04DA&PID_2372&REV_0100        the PID_VID FirmWare.ini names
//   usb <instance> ids=<id>,<id> [serial=<s>]        a USB device, hardware IDs most specific first
//   node <instance> parent=<instance> | gone         Windows: a node and the one above it
//   disk <path> node=<instance> <facts>              Windows: a disk interface and its answers
//   letter <L> [type=<type> target=<dos target>] [<facts>]
//   block <major:minor> name=<dev> above=<folder> unit=<n> partition=<n> [no-medium]
//   mount <mount point> on=<major:minor>             Linux: block devices and mounted volumes
//   destination-on <drive>                           the destination folder exists there
//   expect drive <drive> | expect none <reason>      the choice
//
// <facts> are number=<type>:<number>:<partition> lun=<n> media=<present|not-ready|no-media|
// unknown> bus=<usb|scsi|sata|sd|mmc|nvme|virtual|n> removable=<yes|no>, each left out when
// its request failed, or not-answering when the device did not answer at all. A value's
// blanks, commas and percent signs are written %20, %2C and %25.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "device/device_storage.h"
#include "device/device_walk.h"
#include "port/system_port.h"

namespace orvane {

struct DeviceReport {
    HostSystem system = HostSystem::Windows;
    std::string cameraId;
    std::vector<UsbDevice> usbDevices;

    struct Node {
        std::string id;
        std::optional<std::string> parent;
        bool gone = false;  // the node went away: neither its ID nor its parent answer
    };
    struct Disk {
        std::string path;
        std::string node;
        std::optional<StorageFacts> facts;  // nothing: the disk was not opened
    };
    struct Letter {
        DriveLetter letter;
        bool described = true;              // false: its type and target were not asked
        std::optional<StorageFacts> facts;  // nothing: the letter was not opened
    };
    std::vector<Node> nodes;
    std::vector<Disk> disks;
    std::vector<Letter> letters;

    // Linux: the layout as the back end reads it.
    StorageLayout layout;

    std::vector<std::string> destinationOn;
    std::optional<std::string> expect;  // "drive G", "none no-storage", ...
};

// The report as text, and the text read back; a line that cannot be read
// gives the reason, with its number.
std::string WriteDeviceReport(const DeviceReport& report);
std::variant<DeviceReport, std::string> ReadDeviceReport(std::string_view text);

// The names the report uses, shared with its JSON form.
std::string_view MediaName(MediaState media);
std::string BusName(int bus);
std::string_view LetterTypeName(LetterType type);

// Answers the walk's questions from a report's Windows facts. Counts the
// parents asked for, so that a walk that does not end can be told.
class ReportSource : public DeviceTreeSource {
  public:
    explicit ReportSource(const DeviceReport& report);
    std::vector<DiskInterface> DiskInterfaces() override;
    std::optional<DeviceNode> Parent(DeviceNode node) override;
    std::optional<std::string> InstanceId(DeviceNode node) override;
    StorageFacts QueryStorage(const std::string& path) override;
    std::vector<std::string> Letters() override;
    DriveLetter DescribeLetter(const std::string& letter) override;
    unsigned parentsAsked() const { return parentsAsked_; }

  private:
    DeviceNode NodeOf(const std::string& id);
    const DeviceReport& report_;
    std::vector<std::string> names_;
    unsigned parentsAsked_ = 0;
};

// Passes the walk's questions on to `source` and writes down its answers in
// `report`, so that what the walk saw can be shown and replayed.
class RecordingSource : public DeviceTreeSource {
  public:
    RecordingSource(DeviceTreeSource& source, DeviceReport& report)
        : source_(source), report_(report) {}
    std::vector<DiskInterface> DiskInterfaces() override;
    std::optional<DeviceNode> Parent(DeviceNode node) override;
    std::optional<std::string> InstanceId(DeviceNode node) override;
    StorageFacts QueryStorage(const std::string& path) override;
    std::vector<std::string> Letters() override;
    DriveLetter DescribeLetter(const std::string& letter) override;

  private:
    std::string NameOf(DeviceNode node);
    DeviceReport::Node& Recorded(const std::string& id);
    DeviceTreeSource& source_;
    DeviceReport& report_;
    std::vector<std::pair<DeviceNode, std::string>> names_;
    std::vector<std::pair<std::string, DeviceNode>> interfaces_;
};

// The layout the report's facts give: the Windows walk over them, or the
// Linux layout as it stands.
StorageLayout LayoutOfReport(const DeviceReport& report);

// What Orvane would choose from the report: "drive G", or "none" and the
// reason ("no-camera-id", "no-camera", "no-storage", "no-medium",
// "not-answering", "not-mounted <disk>", "refused not-removable").
std::string ChoiceOfReport(const DeviceReport& report);

}  // namespace orvane
