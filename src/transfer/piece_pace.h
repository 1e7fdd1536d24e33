// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// How much the transfer hands the device at a time: pieces sized by the pace
// the device has shown so far, so that a slow card never holds more than
// about a quarter of a second of work, and a fast disk still gets pieces
// large enough that their number does not count.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace orvane {

// The device time one piece may take. A writer keeps one piece on its way
// while it waits for the one before (system_port.h), so two of them are the
// most the device holds at once: a stop waits for them, and the thread comes
// back between them with a sign of life.
inline constexpr std::chrono::milliseconds kPieceTime{125};
// The first piece, before any pace is known, and the smallest: a card of
// 0.25 MB/s takes it within kPieceTime, and the calls for it cost nothing
// beside the device's time, however fast the device.
inline constexpr std::size_t kSmallestPiece = std::size_t{32} << 10;
// Pieces are whole pages, which every device's blocks divide.
inline constexpr std::size_t kPieceUnit = std::size_t{4} << 10;
// The largest: what a fast disk gets. Its buffers are what the transfer
// holds in memory, whatever the file's size.
inline constexpr std::size_t kLargestPiece = std::size_t{1} << 20;

class PiecePace {
  public:
    // The size of the next piece.
    std::size_t Next() const { return piece_; }
    // `bytes` reached the device (or came from it) within `took`: the next
    // piece is what the device does in kPieceTime at that pace. It grows at
    // most twofold at a time, so that one quick answer does not hand a slow
    // device a long piece; it shrinks at once.
    void Measured(std::uint64_t bytes, std::chrono::steady_clock::duration took);

  private:
    std::size_t piece_ = kSmallestPiece;
};

}  // namespace orvane
