#include "binhex/binhex_decode.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

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

}  // namespace

std::size_t TextDecoder::Decode(std::span<const std::uint8_t> text, std::uint8_t* packed,
                                std::size_t& used) {
    const std::uint8_t* at = text.data();
    const std::uint8_t* const end = at + text.size();
    std::uint8_t* out = packed;
    while (!ended_) {
        if (gathered_ == 0) {
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
