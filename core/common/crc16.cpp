// SPDX-License-Identifier: Apache-2.0
#include "core/common/crc16.h"

#include <array>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>

namespace veskar {
#define VESKAR_CRC16_CLMUL 1
#endif

namespace {

constexpr std::uint16_t kPolynomial = 0x1021;

// kTables[k][b]: the CRC of the byte b followed by k zero bytes, from 0. Sixteen bytes are
// then taken at once: the CRC so far is folded into the first two, and each byte's table
// entry for its distance from the end is xor-ed in, so the lookups do not wait on each other.
using Tables = std::array<std::array<std::uint16_t, 256>, 16>;

constexpr Tables MakeTables() {
    Tables tables{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        std::uint16_t crc = static_cast<std::uint16_t>(byte << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>(crc & 0x8000 ? (crc << 1) ^ kPolynomial : crc << 1);
        tables[0][byte] = crc;
    }
    for (std::size_t k = 1; k < tables.size(); ++k)
        for (unsigned byte = 0; byte < 256; ++byte) {
            const std::uint16_t before = tables[k - 1][byte];
            tables[k][byte] = static_cast<std::uint16_t>(before << 8 ^ tables[0][before >> 8]);
        }
    return tables;
}

constexpr Tables kTables = MakeTables();

}  // namespace

std::uint16_t Crc16ByTables(std::span<const std::uint8_t> bytes, std::uint16_t crc) {
    const std::uint8_t* at = bytes.data();
    std::size_t left = bytes.size();
    for (; left >= 16; left -= 16, at += 16) {
        std::uint32_t x = kTables[15][at[0] ^ (crc >> 8)] ^ kTables[14][at[1] ^ (crc & 0xFF)];
        for (std::size_t i = 2; i < 16; ++i)
            x ^= kTables[15 - i][at[i]];
        crc = static_cast<std::uint16_t>(x);
    }
    for (; left > 0; --left, ++at)
        crc = static_cast<std::uint16_t>(crc << 8 ^ kTables[0][(crc >> 8 ^ *at) & 0xFF]);
    return crc;
}

#ifdef VESKAR_CRC16_CLMUL
namespace {

// x^n mod P, P the polynomial with its x^16 term.
constexpr std::uint64_t PowerOfX(unsigned n) {
    std::uint32_t r = 1;
    for (unsigned i = 0; i < n; ++i) {
        r <<= 1;
        if (r & 0x10000u) r ^= 0x10000u | kPolynomial;
    }
    return r;
}

__attribute__((target("ssse3"))) inline __m128i Load(const std::uint8_t* block, __m128i reverse) {
    return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block)), reverse);
}

// x^n times a sum H x^64 + L of degree below 128, modulo P: H (x^(n+64) mod P) + L (x^n mod P),
// two carry-less products of under 80 bits.
struct Shift {
    std::uint64_t high;  // x^(n+64) mod P
    std::uint64_t low;   // x^n mod P
};
constexpr Shift kByOne{PowerOfX(128 + 64), PowerOfX(128)};
constexpr Shift kByFour{PowerOfX(512 + 64), PowerOfX(512)};

__attribute__((target("pclmul"))) inline __m128i Fold(__m128i sum, __m128i shift) {
    return _mm_xor_si128(_mm_clmulepi64_si128(sum, shift, 0x11),
                         _mm_clmulepi64_si128(sum, shift, 0x00));
}

__attribute__((target("sse2"))) inline __m128i Constants(Shift shift) {
    return _mm_set_epi64x(static_cast<long long>(shift.high), static_cast<long long>(shift.low));
}

// Sixteen bytes at a time as a polynomial of degree below 128, the first byte highest (as the
// CRC reads them): the sum so far is folded onto each next block, x^128 on. Four sums, each
// folded x^512 on over every fourth block, keep the multiplier busy; they are folded into one
// at the end. What is left is reduced by the tables, which give A x^16 mod P.
__attribute__((target("pclmul,ssse3"))) std::uint16_t Folded(const std::uint8_t* at,
                                                             std::size_t blocks,
                                                             std::uint16_t crc) {
    const __m128i reverse = _mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    const __m128i one = Constants(kByOne);
    // The CRC so far counts as if it were added to the first two bytes.
    __m128i sum = _mm_xor_si128(
        Load(at, reverse), _mm_set_epi64x(static_cast<long long>(std::uint64_t{crc} << 48), 0));
    std::size_t block = 1;
    if (blocks >= 8) {
        const __m128i four = Constants(kByFour);
        __m128i sums[4] = {sum, Load(at + 16, reverse), Load(at + 32, reverse),
                           Load(at + 48, reverse)};
        for (block = 4; blocks - block >= 4; block += 4)
            for (std::size_t i = 0; i < 4; ++i)
                sums[i] = _mm_xor_si128(Fold(sums[i], four), Load(at + 16 * (block + i), reverse));
        sum = sums[0];
        for (std::size_t i = 1; i < 4; ++i)
            sum = _mm_xor_si128(Fold(sum, one), sums[i]);
    }
    for (; block < blocks; ++block)
        sum = _mm_xor_si128(Fold(sum, one), Load(at + 16 * block, reverse));
    alignas(16) std::uint8_t rest[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(rest), _mm_shuffle_epi8(sum, reverse));
    return Crc16ByTables(rest);
}

// Below this, the tables are as quick.
constexpr std::size_t kFoldFrom = 64;

}  // namespace
#endif

std::optional<std::uint16_t> Crc16ByMultiplication(std::span<const std::uint8_t> bytes,
                                                   std::uint16_t crc) {
#ifdef VESKAR_CRC16_CLMUL
    static const bool multiplies =
        __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("ssse3");
    if (!multiplies || bytes.size() < 16) return std::nullopt;
    const std::size_t blocks = bytes.size() / 16;
    return Crc16ByTables(bytes.subspan(blocks * 16), Folded(bytes.data(), blocks, crc));
#else
    (void)bytes;
    (void)crc;
    return std::nullopt;
#endif
}

std::uint16_t Crc16(std::span<const std::uint8_t> bytes, std::uint16_t crc) {
#ifdef VESKAR_CRC16_CLMUL
    if (bytes.size() >= kFoldFrom)
        if (const auto multiplied = Crc16ByMultiplication(bytes, crc)) return *multiplied;
#endif
    return Crc16ByTables(bytes, crc);
}

}  // namespace veskar
