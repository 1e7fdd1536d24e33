// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The SHA-256 of a 64 MiB image alone, with the processor's SHA
// instructions and with the portable code: what the hash of the read-back
// asks of the processor, beside the transfer's own time.
#include <benchmark/benchmark.h>

#include <vector>

#include "transfer/sha256.h"

namespace orvane::bench {
namespace {

constexpr std::size_t kImageSize = std::size_t{64} << 20;
// The transfer's piece: hashed over and over, it keeps the benchmark
// process as small as the transfer's, whose peak memory is reported.
constexpr std::size_t kPieceSize = std::size_t{1} << 20;

void Sha256Image(benchmark::State& state) {
    std::vector<std::byte> piece(kPieceSize);
    for (std::size_t i = 0; i < piece.size(); ++i)
        piece[i] = static_cast<std::byte>((i * 2654435761u) >> 13);
    const bool processor = state.range(0) != 0;
    std::uint32_t words[8] = {};
    if (processor && !sha256_detail::CompressWithProcessor(words, piece.data(), 1)) {
        state.SkipWithError("this processor has no SHA instructions");
        return;
    }
    for (auto _ : state) {
        for (std::size_t done = 0; done < kImageSize; done += kPieceSize) {
            if (processor)
                sha256_detail::CompressWithProcessor(words, piece.data(), kPieceSize / 64);
            else
                sha256_detail::CompressPortable(words, piece.data(), kPieceSize / 64);
        }
        benchmark::DoNotOptimize(words);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kImageSize));
}
BENCHMARK(Sha256Image)
    ->ArgName("processor")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace
}  // namespace orvane::bench
