// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Opening paths below a folder handle without ever leaving it.
#pragma once

#include <string_view>

namespace orvane::linux_port {

// How OpenBeneath resolves a path.
enum class Resolution {
    Kernel,  // openat2, falling back to Walk where the kernel lacks it
    Walk,    // one component at a time, checking each
};

// Opens `relative` below the folder `root` with open(2) `flags` and `mode`.
// Every component is resolved inside `root`'s filesystem: ".." never climbs
// above `root`, a symbolic link anywhere on the path fails with ELOOP and a
// step onto another mount with EXDEV. An empty path is `root` itself.
// Returns the new descriptor, or -1 with errno set.
int OpenBeneath(int root, std::string_view relative, int flags, unsigned mode = 0,
                Resolution resolution = Resolution::Kernel);

}  // namespace orvane::linux_port
