// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// SHA-256 against the standard's test vectors, fed in every way the transfer
// may feed it, and the processor's instructions against the portable code.
#include "transfer/sha256.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace orvane {
namespace {

std::span<const std::byte> Bytes(const std::string& text) {
    return std::as_bytes(std::span(text.data(), text.size()));
}

std::string HashOf(const std::string& text) {
    Sha256 hash;
    hash.Update(Bytes(text));
    return HexDigest(hash.Finish());
}

TEST(Sha256, GivesTheStandardsDigests) {
    const struct {
        std::string message;
        const char* digest;
    } kVectors[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrl"
         "mnopqrsmnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& vector : kVectors) {
        EXPECT_EQ(HashOf(vector.message), vector.digest) << vector.message.size() << " bytes";
    }
}

// Pieces of any size, cut anywhere around the block and padding boundaries,
// give the digest of the whole; and a finished hash starts over.
TEST(Sha256, PiecesCutAnywhereGiveTheWholesDigest) {
    std::mt19937 random(7);
    for (const std::size_t length : {1u, 55u, 56u, 63u, 64u, 65u, 119u, 120u, 128u, 200u}) {
        std::string message(length, '\0');
        for (char& c : message) c = static_cast<char>(random());
        const std::string whole = HashOf(message);
        Sha256 hash;
        for (std::size_t cut = 0; cut <= length; ++cut) {
            const std::span<const std::byte> bytes = Bytes(message);
            hash.Update(bytes.first(cut));
            hash.Update(bytes.subspan(cut, (length - cut) / 2));
            hash.Update(bytes.subspan(cut + (length - cut) / 2));
            ASSERT_EQ(HexDigest(hash.Finish()), whole) << length << " cut at " << cut;
        }
    }
}

TEST(Sha256, ProcessorInstructionsAgreeWithThePortableCode) {
    std::mt19937 random(11);
    std::vector<std::byte> blocks(64 * 200);
    for (std::byte& b : blocks) b = static_cast<std::byte>(random());
    std::uint32_t portable[8], processor[8];
    for (int i = 0; i < 8; ++i) portable[i] = processor[i] = static_cast<std::uint32_t>(random());
    if (!sha256_detail::CompressWithProcessor(processor, blocks.data(), 200))
        GTEST_SKIP() << "this processor has no SHA instructions";
    sha256_detail::CompressPortable(portable, blocks.data(), 200);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(processor[i], portable[i]) << "word " << i;
}

}  // namespace
}  // namespace orvane
