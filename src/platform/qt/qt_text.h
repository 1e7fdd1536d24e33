// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Turning the core's texts into Qt strings.
#pragma once

#include <QString>

#include <string_view>

namespace orvane::qt {

// The core's texts are UTF-8 (ASCII in practice).
inline QString FromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace orvane::qt
