// Matching drives to the device they belong to, over plain data.
#include "device/device_storage.h"

#include <algorithm>
#include <set>

namespace orvane {

std::vector<std::string> DrivesBelowDevice(const StorageLayout& layout, std::string_view device) {
    std::vector<std::string> drives;
    if (device.empty()) return drives;
    std::set<std::string, std::less<>> disks;
    for (const StorageDisk& disk : layout.disks) {
        if (std::find(disk.ancestors.begin(), disk.ancestors.end(), device) != disk.ancestors.end())
            disks.insert(disk.id);
    }
    for (const DriveOnDisk& drive : layout.drives) {
        if (!drive.diskId.empty() && disks.count(drive.diskId) != 0) drives.push_back(drive.drive);
    }
    return drives;
}

}  // namespace orvane
