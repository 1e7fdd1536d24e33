// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Telling the devices that come close to the camera apart from the rest.
#include "device/near_miss.h"

#include <algorithm>

#include "device/hardware_id.h"
#include "port/ascii.h"

namespace orvane {

namespace {

// Reads "<tag><4 hex digits>" at the start of `text`, moving past it.
std::optional<std::string> TakeField(std::string_view& text, std::string_view tag) {
    if (text.size() < tag.size() + 4 || !EqualIgnoringAsciiCase(text.substr(0, tag.size()), tag))
        return std::nullopt;
    std::string digits(text.substr(tag.size(), 4));
    for (char& c : digits) {
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!hex) return std::nullopt;
        if (c >= 'a') c = static_cast<char>(c - 'a' + 'A');
    }
    text.remove_prefix(tag.size() + 4);
    return digits;
}

bool SameIdentity(const UsbIdentity& a, const UsbIdentity& b) {
    return a.vendor == b.vendor && a.product == b.product && a.revision == b.revision;
}

}  // namespace

std::optional<UsbIdentity> ParseUsbHardwareId(std::string_view id) {
    UsbIdentity identity;
    std::optional<std::string> vendor = TakeField(id, "USB\\VID_");
    std::optional<std::string> product = vendor ? TakeField(id, "&PID_") : std::nullopt;
    if (!product) return std::nullopt;
    identity.vendor = std::move(*vendor);
    identity.product = std::move(*product);
    if (id.empty()) return identity;
    std::optional<std::string> revision = TakeField(id, "&REV_");
    if (!revision || !id.empty()) return std::nullopt;
    identity.revision = std::move(*revision);
    return identity;
}

std::vector<NearMiss> FindNearMisses(std::string_view wanted,
                                     const std::vector<UsbDevice>& devices) {
    std::vector<NearMiss> misses;
    const std::optional<UsbIdentity> camera = ParseUsbHardwareId(wanted);
    if (!camera) return misses;
    for (const UsbDevice& device : devices) {
        if (!device.hardwareIds || device.hardwareIds->empty()) continue;
        const std::string& first = device.hardwareIds->front();
        if (HardwareIdsEqual(first, wanted)) continue;  // the camera itself
        std::optional<UsbIdentity> found = ParseUsbHardwareId(first);
        if (!found || found->vendor != camera->vendor) continue;
        const bool sameProduct = found->product == camera->product;
        NearMiss miss{sameProduct ? NearMiss::Kind::OtherRevision : NearMiss::Kind::OtherProduct,
                      std::move(*found)};
        const bool seen = std::any_of(misses.begin(), misses.end(), [&](const NearMiss& earlier) {
            return SameIdentity(earlier.found, miss.found);
        });
        if (!seen) misses.push_back(std::move(miss));
    }
    std::stable_partition(misses.begin(), misses.end(), [](const NearMiss& miss) {
        return miss.kind == NearMiss::Kind::OtherRevision;
    });
    return misses;
}

}  // namespace orvane
