// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// SHA-256 of the update files as they were read back from the camera, so
// that a record names the firmware that went onto it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace orvane {

using Sha256Digest = std::array<std::uint8_t, 32>;

class Sha256 {
  public:
    Sha256();
    void Update(std::span<const std::byte> data);
    // The digest of everything given so far; the object then starts over.
    Sha256Digest Finish();

  private:
    void Compress(const std::byte* blocks, std::size_t count);

    std::array<std::uint32_t, 8> state_;
    std::array<std::byte, 64> pending_{};
    std::size_t pendingBytes_ = 0;
    std::uint64_t length_ = 0;
};

// The digest in lower-case hexadecimal, as sha256sum prints it.
std::string HexDigest(const Sha256Digest& digest);

namespace sha256_detail {
// The two ways of running the compression function over whole 64-byte
// blocks, so that tests can hold one against the other.
void CompressPortable(std::uint32_t* state, const std::byte* blocks, std::size_t count);
// With the processor's SHA instructions; false, touching nothing, where the
// processor or the build has none.
bool CompressWithProcessor(std::uint32_t* state, const std::byte* blocks, std::size_t count);
}  // namespace sha256_detail

}  // namespace orvane
