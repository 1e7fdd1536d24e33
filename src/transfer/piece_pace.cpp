// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Piece sizes that follow the device's pace.
#include "transfer/piece_pace.h"

#include <algorithm>

namespace orvane {

void PiecePace::Measured(std::uint64_t bytes, std::chrono::steady_clock::duration took) {
    if (bytes == 0) return;
    // No time at all is a device faster than any piece needs.
    const double seconds = std::chrono::duration<double>(took).count();
    const double fits = seconds <= 0 ? static_cast<double>(kLargestPiece)
                                     : static_cast<double>(bytes) / seconds *
                                           std::chrono::duration<double>(kPieceTime).count();
    const double ceiling = static_cast<double>(std::min(kLargestPiece, 2 * piece_));
    const auto units = static_cast<std::size_t>(std::min(fits, ceiling)) / kPieceUnit;
    piece_ = std::max(units * kPieceUnit, kSmallestPiece);
}

}  // namespace orvane
