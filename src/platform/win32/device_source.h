// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The device walk's questions answered by SetupAPI, the configuration
// manager and storage requests, each device request under a ceiling.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "device/device_walk.h"
#include "platform/win32/win32_api.h"

namespace orvane::win32 {

// How long one device's open and requests may take before it counts as not
// answering. A hung request is cancelled, or left behind on its own thread.
inline constexpr DWORD kStorageQueryCeilingMs = 2000;

class Win32DeviceSource : public DeviceTreeSource {
  public:
    Win32DeviceSource() = default;
    ~Win32DeviceSource() override;
    Win32DeviceSource(const Win32DeviceSource&) = delete;
    Win32DeviceSource& operator=(const Win32DeviceSource&) = delete;

    std::vector<DiskInterface> DiskInterfaces() override;
    std::optional<DeviceNode> Parent(DeviceNode node) override;
    std::optional<std::string> InstanceId(DeviceNode node) override;
    StorageFacts QueryStorage(const std::string& path) override;
    std::vector<std::string> Letters() override;
    DriveLetter DescribeLetter(const std::string& letter) override;

    // Whether the disks could be listed at all, after DiskInterfaces.
    bool listed() const { return listed_; }

  private:
    // Kept open for the walk: under Wine a node handle means something only
    // while the set it came from exists.
    HDEVINFO set_ = INVALID_HANDLE_VALUE;
    bool listed_ = false;
};

// What `path` answers, on the calling thread and without a ceiling.
StorageFacts QueryStorageNow(const std::string& path);

}  // namespace orvane::win32
