// SPDX-License-Identifier: Apache-2.0
#include "core/read/binhex/binhex_decode.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>

namespace veskar {
#define VESKAR_BINHEX_AVX2 1
#endif

namespace binhex {

namespace {

// A group is decoded by or-ing four table entries: each holds its character's value already
// shifted to its place in the 24 bits, and CR, LF and colon carry a flag bit instead, so
// that one test tells whether a group of four holds only code characters.
constexpr std::uint32_t kNotCode = 1u << 31;

using ShiftedTable = std::array<std::uint32_t, 256>;

constexpr ShiftedTable MakeShifted(unsigned shift) {
    ShiftedTable table{};
    for (std::size_t c = 0; c < table.size(); ++c) {
        const std::size_t at = kAlphabet.find(static_cast<char>(c));
        table[c] = at == std::string_view::npos ? 0 : static_cast<std::uint32_t>(at) << shift;
    }
    table['\r'] = table['\n'] = table[':'] = kNotCode;
    return table;
}

constexpr ShiftedTable kFirst = MakeShifted(18);
constexpr ShiftedTable kSecond = MakeShifted(12);
constexpr ShiftedTable kThird = MakeShifted(6);
constexpr ShiftedTable kFourth = MakeShifted(0);

inline std::uint32_t GroupBits(const std::uint8_t* c) {
    return kFirst[c[0]] | kSecond[c[1]] | kThird[c[2]] | kFourth[c[3]];
}

// Stores the group's three bytes, most significant first, with one four-byte store: the
// fourth byte is overwritten by the next group or lies in the room's spare byte.
inline void StoreGroup(std::uint8_t* out, std::uint32_t bits) {
    std::uint32_t word = bits << 8;
    if constexpr (std::endian::native == std::endian::little)
        word = (word >> 24) | ((word >> 8) & 0xFF00u) | ((word << 8) & 0xFF0000u) | (word << 24);
    std::memcpy(out, &word, sizeof word);
}

#ifdef VESKAR_BINHEX_AVX2
// The value of each character of the rows 0x20 to 0x7F, by its low four bits: a row's table
// is looked up with one byte shuffle, and the row chosen by the high four bits.
using RowTable = std::array<std::uint8_t, 16>;
constexpr std::array<RowTable, 6> kRows = [] {
    std::array<RowTable, 6> rows{};
    for (std::size_t row = 0; row < rows.size(); ++row)
        for (std::size_t low = 0; low < 16; ++low)
            rows[row][low] = static_cast<std::uint8_t>(kFourth[(row + 2) * 16 + low] & 0x3F);
    return rows;
}();

// Decodes code characters with no line break or colon among them 32 at a time: 24 packed
// bytes each, with two stores of 16 bytes that reach 4 bytes past them. Returns the
// characters used (a multiple of 32).
__attribute__((target("avx2"))) std::size_t DecodeVectors(const std::uint8_t* code,
                                                          std::size_t count, std::uint8_t* out) {
    __m256i rows[kRows.size()];
    for (std::size_t row = 0; row < kRows.size(); ++row)
        rows[row] = _mm256_broadcastsi128_si256(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(kRows[row].data())));
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    // Values a, b, c, d into a << 18 | b << 12 | c << 6 | d, then its bytes highest first.
    const __m256i pairs = _mm256_set1_epi32(0x01400140);
    const __m256i quads = _mm256_set1_epi32(0x00011000);
    const __m256i order = _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1,
                                           2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    std::size_t used = 0;
    for (; count - used >= 32; used += 32, out += 24) {
        const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(code + used));
        const __m256i low = _mm256_and_si256(c, nibble);
        const __m256i high = _mm256_and_si256(_mm256_srli_epi16(c, 4), nibble);
        __m256i values = _mm256_setzero_si256();
        for (std::size_t row = 0; row < kRows.size(); ++row)
            values = _mm256_or_si256(
                values, _mm256_and_si256(
                            _mm256_cmpeq_epi8(high, _mm256_set1_epi8(static_cast<char>(row + 2))),
                            _mm256_shuffle_epi8(rows[row], low)));
        const __m256i bits = _mm256_madd_epi16(_mm256_maddubs_epi16(values, pairs), quads);
        const __m256i bytes = _mm256_shuffle_epi8(bits, order);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(bytes));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 12), _mm256_extracti128_si256(bytes, 1));
    }
    return used;
}

// Copies the code characters of `text` to `code`, leaving out CR and LF, and colons unless
// `colonEnds`, in which case the first colon ends the copy (and is used). 32 characters are
// tested at a time. Returns the characters copied; `used` tells how much of `text` was.
__attribute__((target("avx2"))) std::size_t CopyCode(const std::uint8_t* text, std::size_t count,
                                                     std::uint8_t* code, bool colonEnds,
                                                     std::size_t& used, bool& ended) {
    std::uint8_t* out = code;
    std::size_t at = 0;
    for (; count - at >= 32; at += 32) {
        const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + at));
        const auto lineBreaks = static_cast<std::uint32_t>(
            _mm256_movemask_epi8(_mm256_or_si256(_mm256_cmpeq_epi8(c, _mm256_set1_epi8('\r')),
                                                 _mm256_cmpeq_epi8(c, _mm256_set1_epi8('\n')))));
        const auto colons = static_cast<std::uint32_t>(
            _mm256_movemask_epi8(_mm256_cmpeq_epi8(c, _mm256_set1_epi8(':'))));
        if (colons != 0 && colonEnds) break;
        std::uint32_t dropped = lineBreaks | colons;
        if (dropped == 0) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), c);
            out += 32;
            continue;
        }
        std::uint32_t from = 0;
        for (; dropped != 0; dropped &= dropped - 1) {
            const auto to = static_cast<std::uint32_t>(__builtin_ctz(dropped));
            std::memcpy(out, text + at + from, to - from);
            out += to - from;
            from = to + 1;
        }
        std::memcpy(out, text + at + from, 32 - from);
        out += 32 - from;
    }
    for (; at < count; ++at) {
        const std::uint8_t c = text[at];
        if (c == '\r' || c == '\n') continue;
        if (c == ':') {
            if (!colonEnds) continue;
            ended = true;
            ++at;
            break;
        }
        *out++ = c;
    }
    used = at;
    return static_cast<std::size_t>(out - code);
}

// How much text CopyCode takes at a time.
constexpr std::size_t kCodeBlock = 4096;
#endif

}  // namespace

std::uint8_t CodeValue(std::uint8_t c) {
    return static_cast<std::uint8_t>(kFourth[c] & 0x3F);
}

TextDecoder::TextDecoder(Colon colon, bool vectors)
    : colon_(colon), vectors_(vectors && VectorsAvailable()) {}

bool TextDecoder::VectorsAvailable() {
#ifdef VESKAR_BINHEX_AVX2
    static const bool available = __builtin_cpu_supports("avx2");
    return available;
#else
    return false;
#endif
}

std::size_t TextDecoder::Decode(std::span<const std::uint8_t> text, std::uint8_t* packed,
                                std::size_t& used) {
#ifdef VESKAR_BINHEX_AVX2
    if (vectors_) return DecodeWithVectors(text, packed, used);
#endif
    return DecodeScalar(text, packed, used);
}

#ifdef VESKAR_BINHEX_AVX2
// The code characters are first copied out of the text without its line breaks, after the
// characters of a group begun earlier, and then decoded 32 at a time.
std::size_t TextDecoder::DecodeWithVectors(std::span<const std::uint8_t> text, std::uint8_t* packed,
                                           std::size_t& used) {
    alignas(32) std::uint8_t code[kCodeBlock + 4];
    std::uint8_t* out = packed;
    used = 0;
    while (used < text.size() && !ended_) {
        std::copy_n(group_, gathered_, code);
        std::size_t taken = 0;
        const std::size_t count =
            gathered_ + CopyCode(text.data() + used, std::min(kCodeBlock, text.size() - used),
                                 code + gathered_, colon_ == Colon::EndsData, taken, ended_);
        used += taken;
        const std::size_t whole = count / 4 * 4;
        std::size_t at = DecodeVectors(code, whole, out);
        out += at / 4 * 3;
        for (; at < whole; at += 4, out += 3)
            StoreGroup(out, GroupBits(code + at));
        gathered_ = count - whole;
        std::copy_n(code + whole, gathered_, group_);
    }
    return static_cast<std::size_t>(out - packed);
}
#endif

std::size_t TextDecoder::DecodeScalar(std::span<const std::uint8_t> text, std::uint8_t* packed,
                                      std::size_t& used) {
    const std::uint8_t* at = text.data();
    const std::uint8_t* const end = at + text.size();
    std::uint8_t* out = packed;
    while (!ended_) {
        if (gathered_ == 0) {
#ifdef VESKAR_BINHEX_AVX2
            if (vectors_) {
                const std::size_t vectored =
                    DecodeVectors(at, static_cast<std::size_t>(end - at), out);
                at += vectored;
                out += vectored / 4 * 3;
            }
#endif
            // Most groups lie whole between line breaks: four of them are tested at once.
            while (end - at >= 16) {
                const std::uint32_t a = GroupBits(at);
                const std::uint32_t b = GroupBits(at + 4);
                const std::uint32_t c = GroupBits(at + 8);
                const std::uint32_t d = GroupBits(at + 12);
                if ((a | b | c | d) & kNotCode) break;
                StoreGroup(out, a);
                StoreGroup(out + 3, b);
                StoreGroup(out + 6, c);
                StoreGroup(out + 9, d);
                out += 12;
                at += 16;
            }
            while (end - at >= 4) {
                const std::uint32_t a = GroupBits(at);
                if (a & kNotCode) break;
                StoreGroup(out, a);
                out += 3;
                at += 4;
            }
        }
        // A line break, a colon, a group across one of them or across the block's end: one
        // character at a time until the group is whole.
        if (at == end) break;
        const std::uint8_t c = *at++;
        if (c == '\r' || c == '\n') continue;
        if (c == ':') {
            ended_ = colon_ == Colon::EndsData;
            continue;
        }
        group_[gathered_++] = c;
        if (gathered_ == 4) {
            StoreGroup(out, GroupBits(group_));
            out += 3;
            gathered_ = 0;
        }
    }
    used = static_cast<std::size_t>(at - text.data());
    return static_cast<std::size_t>(out - packed);
}

std::size_t TextDecoder::Finish(std::uint8_t* packed) {
    if (colon_ == Colon::Dropped || gathered_ < 2) return 0;
    const std::size_t bytes = gathered_ - 1;
    std::fill(group_ + gathered_, group_ + 4, static_cast<std::uint8_t>(kAlphabet[0]));
    StoreGroup(packed, GroupBits(group_));
    gathered_ = 0;
    return bytes;
}

std::size_t RunExpander::Expand(std::span<const std::uint8_t>& packed, std::uint8_t* out,
                                std::size_t room) {
    const std::uint8_t* at = packed.data();
    const std::uint8_t* const end = at + packed.size();
    std::size_t written = 0;
    for (;;) {
        if (runLeft_ > 0) {
            const std::size_t take = std::min(runLeft_, room - written);
            std::memset(out + written, previous_, take);
            written += take;
            runLeft_ -= take;
            if (runLeft_ > 0) break;
        }
        if (at == end) break;
        if (marker_) {
            marker_ = false;
            const std::uint8_t count = *at++;
            if (count == 0) {
                previous_ = kRunMarker;
                runLeft_ = 1;
            } else {
                runLeft_ = count - 1u;
            }
            continue;
        }
        if (written == room) break;
        const std::size_t span = std::min<std::size_t>(end - at, room - written);
        const auto* marker = static_cast<const std::uint8_t*>(std::memchr(at, kRunMarker, span));
        const std::size_t literal = marker ? static_cast<std::size_t>(marker - at) : span;
        if (literal > 0) {
            std::memcpy(out + written, at, literal);
            previous_ = at[literal - 1];
            written += literal;
            at += literal;
        }
        if (marker) {
            ++at;
            marker_ = true;
        }
    }
    packed = {at, end};
    return written;
}

}  // namespace binhex

}  // namespace veskar
