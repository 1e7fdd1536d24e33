// Which drives hold the storage of one USB device.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace orvane {

// The drives of `layout`, in its order, that lie on a disk hanging (at any
// depth) below the device whose identity is `device`. An empty identity has
// no drives.
std::vector<std::string> DrivesBelowDevice(const StorageLayout& layout, std::string_view device);

}  // namespace orvane
