// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The device report of orvane-cli --devices.
#include "cli/cli_devices.h"

#include <algorithm>

#include "cli/cli_report.h"
#include "device/device_storage.h"
#include "device/hardware_id.h"
#include "settings/folder_values.h"
#include "settings/settings.h"
#include "texts/texts.h"

namespace orvane::cli {

namespace {

std::string FactsJson(const std::optional<StorageFacts>& facts) {
    if (!facts) return "null";
    if (!facts->answered) return "{\"answered\":false}";
    std::string json = "{\"answered\":true";
    if (facts->number)
        json += ",\"deviceType\":" + std::to_string(facts->number->type) +
                ",\"number\":" + std::to_string(facts->number->number) +
                ",\"partition\":" + std::to_string(facts->number->partition);
    if (facts->lun) json += ",\"lun\":" + std::to_string(*facts->lun);
    json += ",\"media\":" + JsonString(MediaName(facts->media));
    if (facts->bus) json += ",\"bus\":" + JsonString(BusName(*facts->bus));
    if (facts->removable)
        json += std::string(",\"removable\":") + (*facts->removable ? "true" : "false");
    return json + "}";
}

template <typename Item, typename Write>
std::string JsonArray(const std::vector<Item>& items, Write write) {
    std::string json = "[";
    for (const Item& item : items) json += (json.size() > 1 ? "," : "") + write(item);
    return json + "]";
}

}  // namespace

DeviceReport GatherDeviceReport(const Options& options, SystemPort& system,
                                DeviceTreeSource* tree) {
    DeviceReport report;
    report.system = system.System();
    std::string iniPath;
    if (options.iniFile) {
        iniPath = *options.iniFile;
    } else if (Result<std::string> folder = system.CurrentDirectory(); folder.ok()) {
        iniPath = SettingsPathIn(system, folder.value());
    }
    const UpdateSettings settings = ReadUpdateSettings(system, iniPath);
    if (settings.hardwareId != texts::kSettingMissing) report.cameraId = settings.hardwareId;
    report.usbDevices = system.PresentUsbDevices();

    StorageLayout layout;
    if (tree != nullptr) {
        RecordingSource recording(*tree, report);
        layout = WalkDeviceTree(recording);
    } else if (Result<StorageLayout> read = system.StorageLayoutOfDrives(); read.ok()) {
        report.layout = read.value();
        layout = read.value();
    }
    // Only the camera's own drives are looked into, for the folder that
    // decides between several of them.
    if (!report.cameraId.empty() && settings.destPath != texts::kSettingMissing) {
        const std::string folder = DestinationFolderFragment(settings.destPath);
        for (const UsbDevice& device : report.usbDevices) {
            if (!device.hardwareIds || device.hardwareIds->empty() ||
                !HardwareIdsEqual(device.hardwareIds->front(), report.cameraId))
                continue;
            for (const std::string& drive : DrivesBelowDevice(layout, device.instance)) {
                if (system.IsFolder(system.JoinPath(system.DriveRoot(drive), folder)))
                    report.destinationOn.push_back(drive);
            }
            break;
        }
    }
    report.expect = ChoiceOfReport(report);
    return report;
}

std::string DeviceReportJson(const DeviceReport& report) {
    std::string json = "{\"system\":";
    json += report.system == HostSystem::Windows ? "\"windows\"" : "\"linux\"";
    json += ",\"cameraId\":" + JsonString(report.cameraId);
    json += ",\"usb\":" + JsonArray(report.usbDevices, [](const UsbDevice& device) {
                return "{\"instance\":" + JsonString(device.instance) + ",\"hardwareIds\":" +
                       (device.hardwareIds ? JsonArray(*device.hardwareIds, JsonString) : "null") +
                       ",\"serial\":" + JsonString(device.serial) + "}";
            });
    json += ",\"nodes\":" + JsonArray(report.nodes, [](const DeviceReport::Node& node) {
                return "{\"id\":" + JsonString(node.id) +
                       ",\"parent\":" + (node.parent ? JsonString(*node.parent) : "null") +
                       ",\"gone\":" + (node.gone ? "true" : "false") + "}";
            });
    json += ",\"disks\":" + JsonArray(report.disks, [](const DeviceReport::Disk& disk) {
                return "{\"path\":" + JsonString(disk.path) + ",\"node\":" + JsonString(disk.node) +
                       ",\"facts\":" + FactsJson(disk.facts) + "}";
            });
    json += ",\"letters\":" + JsonArray(report.letters, [](const DeviceReport::Letter& letter) {
                return "{\"letter\":" + JsonString(letter.letter.letter) + ",\"type\":" +
                       (letter.described ? JsonString(LetterTypeName(letter.letter.type))
                                         : std::string("null")) +
                       ",\"dosTarget\":" + JsonString(letter.letter.dosTarget) +
                       ",\"facts\":" + FactsJson(letter.facts) + "}";
            });
    json += ",\"blockDevices\":" + JsonArray(report.layout.disks, [](const StorageDisk& disk) {
                return "{\"id\":" + JsonString(disk.id) + ",\"name\":" + JsonString(disk.name) +
                       ",\"above\":" +
                       JsonString(disk.ancestors.empty() ? "" : disk.ancestors.front()) +
                       ",\"unit\":" + std::to_string(disk.unit) +
                       ",\"partition\":" + std::to_string(disk.partition) +
                       ",\"medium\":" + (disk.hasMedium ? "true" : "false") + "}";
            });
    json += ",\"mounts\":" + JsonArray(report.layout.drives, [](const DriveOnDisk& drive) {
                return "{\"mountPoint\":" + JsonString(drive.drive) +
                       ",\"on\":" + JsonString(drive.diskId) + "}";
            });
    json += ",\"destinationOn\":" + JsonArray(report.destinationOn, [](const std::string& drive) {
                return JsonString(drive);
            });
    json += ",\"choice\":" + JsonString(report.expect.value_or(""));
    return json + "}\n";
}

int RunDeviceReport(const Options& options, SystemPort& system, DeviceTreeSource* tree,
                    const std::function<void(std::string_view)>& out) {
    const DeviceReport report = GatherDeviceReport(options, system, tree);
    if (options.json) {
        out(DeviceReportJson(report));
        return kSuccess;
    }
    out("# orvane-cli --devices: what this system shows about its USB devices and storage.\n"
        "# Nothing was written. Send this whole text with a bug report; the \"expect\"\n"
        "# line is the choice this Orvane made.\n");
    out(WriteDeviceReport(report));
    return kSuccess;
}

}  // namespace orvane::cli
