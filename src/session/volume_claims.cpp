// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The claims on the cameras' volumes in one run.
#include "session/volume_claims.h"

#include <algorithm>

#include "port/ascii.h"

namespace orvane {

bool VolumeClaims::SameCamera(const UsbDevice& a, const UsbDevice& b) {
    // Windows compares device instance IDs without regard to case.
    return !a.instance.empty() && EqualIgnoringAsciiCase(a.instance, b.instance) &&
           a.arrival == b.arrival;
}

VolumeClaims::Seen& VolumeClaims::Find(const UsbDevice& camera) {
    for (Seen& seen : seen_) {
        if (SameCamera(seen.camera, camera)) return seen;
    }
    return seen_.emplace_back(Seen{camera, {}, true});
}

void VolumeClaims::Present(const std::vector<UsbDevice>& cameras) {
    for (Seen& seen : seen_) {
        seen.present = std::any_of(cameras.begin(), cameras.end(), [&](const UsbDevice& camera) {
            return SameCamera(seen.camera, camera);
        });
    }
    for (const UsbDevice& camera : cameras) Find(camera);
}

VolumeClaims::Answer VolumeClaims::Claim(const UsbDevice& camera, const std::string& volume,
                                         bool proven) {
    Seen& mine = Find(camera);
    mine.present = true;
    const auto other = [&](const Seen& seen) { return &seen != &mine; };
    // The last drive stands in for a camera's own only where no other camera
    // could be the one it belongs to, now or earlier in the run: a camera
    // that finished keeps its volume, and one that joins later would be
    // given it.
    if (!proven && std::any_of(seen_.begin(), seen_.end(), other)) return Answer::Untold;
    if (std::any_of(seen_.begin(), seen_.end(), [&](const Seen& seen) {
            return other(seen) && seen.present && seen.volume == volume;
        }))
        return Answer::Taken;
    mine.volume = volume;
    return Answer::Granted;
}

}  // namespace orvane
