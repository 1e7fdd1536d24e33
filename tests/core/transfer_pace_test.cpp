// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The transfer on cards of many paces, in modelled time: however slow the
// card, the transfer comes back from it at least every quarter of a second,
// hands it no more than a quarter of a second of work at once, and ends
// soon after a stop; on a fast one it still writes in large pieces.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <optional>
#include <vector>

#include "platform/fake/fake_platform.h"
#include "transfer/piece_pace.h"
#include "transfer/safe_transfer.h"

namespace orvane::testing {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const std::string kImage = "G:\\FIRMWARE\\vorm.bin";
const std::string kCommands = "G:\\FIRMWARE\\dsccmd.ini";
constexpr std::size_t kImageBytes = (std::size_t{6} << 20) + 12345;

struct Card {
    const char* name;
    double writeMBps, readMBps;
};

// From a card slower than any camera's to a disk faster than any card.
constexpr Card kCards[] = {
    {"a card of 0.5 MB/s", 0.5, 2}, {"a card of 1 MB/s", 1, 4},    {"a card of 5 MB/s", 5, 20},
    {"a card of 20 MB/s", 20, 40},  {"a card of 90 MB/s", 90, 95}, {"a fast disk", 2000, 3000},
};

// Every call of the transfer's on its observer, stamped with the modelled
// clock: each is the worker back from the card.
class Stamps : public TransferObserver {
  public:
    Stamps(fake::FakePlatform& platform, std::optional<Clock::time_point> stopAt)
        : platform_(platform), stopAt_(stopAt) {}

    void OnProgress(const TransferProgress&) override { Stamp(); }
    bool StopRequested() override {
        Stamp();
        return stopAt_ && platform_.Now() >= *stopAt_;
    }
    void SignOfLife() override { Stamp(); }

    milliseconds LongestGap() const {
        Clock::duration longest{0};
        for (std::size_t i = 1; i < stamps_.size(); ++i)
            longest = std::max(longest, stamps_[i] - stamps_[i - 1]);
        return std::chrono::duration_cast<milliseconds>(longest);
    }

  private:
    void Stamp() { stamps_.push_back(platform_.Now()); }

    fake::FakePlatform& platform_;
    std::optional<Clock::time_point> stopAt_;
    std::vector<Clock::time_point> stamps_;
};

struct Outcome {
    std::optional<TransferFailure> failure;
    milliseconds took{0}, longestGap{0}, longestQueue{0};
    int imageWrites = 0;
    bool oldFilesKept = false, temporaryLeft = false;
};

Outcome Transfer(const Card& card, std::optional<milliseconds> stopAfter = std::nullopt) {
    fake::FakePlatform platform;
    platform.Drive("G");
    platform.folders = {"C:\\fw", "G:\\FIRMWARE"};
    platform.files["C:\\fw\\vorm.bin"] = std::string(kImageBytes, 'n');
    platform.files["C:\\fw\\dsccmd.ini"] = "[CMD]\r\nUPDATE=1\r\n";
    platform.files[kImage] = "old image";
    platform.files[kCommands] = "old commands";
    platform.pacedDevice = fake::PacedDevice(
        {card.writeMBps * 1e6, card.readMBps * 1e6, std::chrono::microseconds(10000)});
    const Clock::time_point start = platform.Now();
    std::optional<Clock::time_point> stopAt;
    if (stopAfter) stopAt = start + *stopAfter;

    TransferRequest request{"G", "C:\\fw\\", "G:\\FIRMWARE\\", {"vorm.bin", "dsccmd.ini"}, true};
    Stamps stamps(platform, stopAt);
    Outcome run;
    run.failure = TransferFirmware(platform, request, &stamps);
    run.took =
        std::chrono::duration_cast<milliseconds>(platform.Now() - (stopAt ? *stopAt : start));
    run.longestGap = stamps.LongestGap();
    run.longestQueue =
        std::chrono::duration_cast<milliseconds>(platform.pacedDevice.longestQueue());
    run.imageWrites = static_cast<int>(std::count(platform.calls.begin(), platform.calls.end(),
                                                  "Write " + kImage + kTemporarySuffix));
    run.oldFilesKept =
        platform.files[kImage] == "old image" && platform.files[kCommands] == "old commands";
    run.temporaryLeft = platform.files.count(kImage + kTemporarySuffix) != 0;
    return run;
}

// Twice the piece time: one piece on its way while the next is handed over.
constexpr milliseconds kMostQueued = 2 * kPieceTime;

TEST(TransferPace, EveryCardHearsFromTheTransferWithinAQuarterSecondAndHoldsNoMore) {
    for (const Card& card : kCards) {
        SCOPED_TRACE(card.name);
        const Outcome run = Transfer(card);
        ASSERT_FALSE(run.failure);
        EXPECT_LE(run.longestGap, kMostQueued);
        EXPECT_LE(run.longestQueue, kMostQueued);
        // The card is kept busy: no more time than its own over the bytes,
        // and a few flushes and renames.
        const double ideal = static_cast<double>(kImageBytes) / (card.writeMBps * 1e3) +
                             static_cast<double>(kImageBytes) / (card.readMBps * 1e3);
        EXPECT_LE(static_cast<double>(run.took.count()), ideal * 1.02 + 100) << run.took.count();
    }
}

TEST(TransferPace, AFastDiskGetsLargePiecesAfterTheFirstFew) {
    const Outcome run = Transfer(kCards[std::size(kCards) - 1]);
    ASSERT_FALSE(run.failure);
    // The smallest piece twice, doubling up to the largest, which the pieces
    // before it add up to; then the largest each time; then the call that
    // waits for the last one.
    const int ramp = 1 + std::countr_zero(kLargestPiece / kSmallestPiece);
    const auto rest = (kImageBytes - kLargestPiece + kLargestPiece - 1) / kLargestPiece;
    EXPECT_LE(run.imageWrites, ramp + static_cast<int>(rest) + 1);
}

TEST(TransferPace, AStopWhileWritingOrCheckingEndsWithinHalfASecondOnEveryCard) {
    for (const Card& card : kCards) {
        const double writeMs = static_cast<double>(kImageBytes) / (card.writeMBps * 1e3);
        const double readMs = static_cast<double>(kImageBytes) / (card.readMBps * 1e3);
        for (const double at : {writeMs * 0.4, writeMs + readMs * 0.5}) {
            SCOPED_TRACE(std::string(card.name) + ", stopped " + std::to_string(at) + " ms in");
            const Outcome run = Transfer(card, milliseconds(static_cast<long>(at)));
            ASSERT_TRUE(run.failure);
            EXPECT_EQ(run.failure->step, TransferStep::Stopped);
            EXPECT_LE(run.took, milliseconds(500));
            EXPECT_TRUE(run.oldFilesKept);
            EXPECT_FALSE(run.temporaryLeft);
        }
    }
}

}  // namespace
}  // namespace orvane::testing
