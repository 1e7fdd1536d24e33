// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// SHA-256 as FIPS 180-4 defines it, with the x86 SHA instructions where the
// processor has them: the hash runs over every byte read back, and without
// them it would cost the transfer a good part of its time on a fast card.
#include "transfer/sha256.h"

#include <cstring>

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define ORVANE_SHA256_X86 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace orvane {

namespace {

constexpr std::uint32_t kRoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::array<std::uint32_t, 8> kInitialState = {
    0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

constexpr std::uint32_t RotateRight(std::uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

std::uint32_t BigEndianWord(const std::byte* bytes) {
    return std::uint32_t(bytes[0]) << 24 | std::uint32_t(bytes[1]) << 16 |
           std::uint32_t(bytes[2]) << 8 | std::uint32_t(bytes[3]);
}

#ifdef ORVANE_SHA256_X86

bool ProcessorHasSha() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid(1, &a, &b, &c, &d) == 0) return false;
    const bool ssse3 = (c & bit_SSSE3) != 0, sse41 = (c & bit_SSE4_1) != 0;
    if (__get_cpuid_count(7, 0, &a, &b, &c, &d) == 0) return false;
    return ssse3 && sse41 && (b & (1u << 29)) != 0;  // CPUID.7.0:EBX.SHA
}

// 32-bit Windows keeps the stack aligned to 4 bytes only (a thread that
// CreateThread starts, above all), where the registers' spills need 16.
#ifdef __i386__
#define ORVANE_ALIGN_STACK __attribute__((force_align_arg_pointer))
#else
#define ORVANE_ALIGN_STACK
#endif

// The state travels in two registers as the instructions want it: A, B, E,
// F in one and C, D, G, H in the other.
__attribute__((target("sha,sse4.1,ssse3"))) ORVANE_ALIGN_STACK void CompressSha(
    std::uint32_t* state, const std::byte* blocks, std::size_t count) {
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
    __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
    const __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
    const __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
    __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);

    for (; count > 0; --count, blocks += 64) {
        const __m128i abefBefore = abef, cdghBefore = cdgh;
        __m128i words[4];
#pragma GCC unroll 16
        for (int group = 0; group < 16; ++group) {
            __m128i& current = words[group % 4];
            if (group < 4) {
                current = _mm_shuffle_epi8(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16 * group)),
                    byteSwap);
            } else {
                // W[t] from W[t-16], W[t-15], W[t-7] and W[t-2], four at a time.
                __m128i next = _mm_sha256msg1_epu32(words[group % 4], words[(group + 1) % 4]);
                next = _mm_add_epi32(
                    next, _mm_alignr_epi8(words[(group + 3) % 4], words[(group + 2) % 4], 4));
                current = _mm_sha256msg2_epu32(next, words[(group + 3) % 4]);
            }
            const __m128i message = _mm_add_epi32(
                current,
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(kRoundConstants + 4 * group)));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, message);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(message, 0x0E));
        }
        abef = _mm_add_epi32(abef, abefBefore);
        cdgh = _mm_add_epi32(cdgh, cdghBefore);
    }

    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    dcba = _mm_blend_epi16(feba, dchg, 0xF0);
    hgfe = _mm_alignr_epi8(dchg, feba, 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), dcba);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), hgfe);
}

#endif

}  // namespace

namespace sha256_detail {

void CompressPortable(std::uint32_t* state, const std::byte* blocks, std::size_t count) {
    for (; count > 0; --count, blocks += 64) {
        std::uint32_t w[64];
        for (int t = 0; t < 16; ++t) w[t] = BigEndianWord(blocks + 4 * t);
        for (int t = 16; t < 64; ++t) {
            const std::uint32_t s0 =
                RotateRight(w[t - 15], 7) ^ RotateRight(w[t - 15], 18) ^ (w[t - 15] >> 3);
            const std::uint32_t s1 =
                RotateRight(w[t - 2], 17) ^ RotateRight(w[t - 2], 19) ^ (w[t - 2] >> 10);
            w[t] = w[t - 16] + s0 + w[t - 7] + s1;
        }
        std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
        for (int t = 0; t < 64; ++t) {
            const std::uint32_t sum1 = RotateRight(e, 6) ^ RotateRight(e, 11) ^ RotateRight(e, 25);
            const std::uint32_t choice = (e & f) ^ (~e & g);
            const std::uint32_t first = h + sum1 + choice + kRoundConstants[t] + w[t];
            const std::uint32_t sum0 = RotateRight(a, 2) ^ RotateRight(a, 13) ^ RotateRight(a, 22);
            const std::uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
            const std::uint32_t second = sum0 + majority;
            h = g;
            g = f;
            f = e;
            e = d + first;
            d = c;
            c = b;
            b = a;
            a = first + second;
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
    }
}

bool CompressWithProcessor(std::uint32_t* state, const std::byte* blocks, std::size_t count) {
#ifdef ORVANE_SHA256_X86
    static const bool available = ProcessorHasSha();
    if (!available) return false;
    CompressSha(state, blocks, count);
    return true;
#else
    static_cast<void>(state);
    static_cast<void>(blocks);
    static_cast<void>(count);
    return false;
#endif
}

}  // namespace sha256_detail

Sha256::Sha256() : state_(kInitialState) {}

void Sha256::Compress(const std::byte* blocks, std::size_t count) {
    if (!sha256_detail::CompressWithProcessor(state_.data(), blocks, count))
        sha256_detail::CompressPortable(state_.data(), blocks, count);
}

void Sha256::Update(std::span<const std::byte> data) {
    length_ += data.size();
    if (pendingBytes_ > 0) {
        const std::size_t taken = std::min(data.size(), pending_.size() - pendingBytes_);
        std::memcpy(pending_.data() + pendingBytes_, data.data(), taken);
        pendingBytes_ += taken;
        data = data.subspan(taken);
        if (pendingBytes_ < pending_.size()) return;
        Compress(pending_.data(), 1);
        pendingBytes_ = 0;
    }
    const std::size_t blocks = data.size() / 64;
    if (blocks > 0) Compress(data.data(), blocks);
    data = data.subspan(blocks * 64);
    std::memcpy(pending_.data(), data.data(), data.size());
    pendingBytes_ = data.size();
}

Sha256Digest Sha256::Finish() {
    const std::uint64_t bits = length_ * 8;
    // A one bit, zeros up to 8 bytes short of a block's end, then the length.
    std::array<std::byte, 72> padding{};
    padding[0] = std::byte{0x80};
    const std::size_t zeros = (pendingBytes_ < 56 ? 56 : 120) - pendingBytes_;
    for (std::size_t i = 0; i < 8; ++i) padding[zeros + i] = std::byte(bits >> (56 - 8 * i));
    Update(std::span(padding.data(), zeros + 8));

    Sha256Digest digest;
    for (std::size_t i = 0; i < 8; ++i) {
        for (std::size_t j = 0; j < 4; ++j)
            digest[4 * i + j] = static_cast<std::uint8_t>(state_[i] >> (24 - 8 * j));
    }
    *this = Sha256();
    return digest;
}

std::string HexDigest(const Sha256Digest& digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t byte : digest) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xF];
    }
    return text;
}

}  // namespace orvane
