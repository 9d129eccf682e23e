// SPDX-License-Identifier: Apache-2.0
// Every multi-byte field of a Macintosh container is big-endian; fields are read raw and
// turned around with these.
#pragma once

#include <cstdint>
#include <cstring>

namespace veskar {

constexpr std::uint16_t Swap16(std::uint16_t v) {
    return static_cast<std::uint16_t>((v >> 8) | (v << 8));
}

constexpr std::uint32_t Swap32(std::uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0x0000FF00u) | ((v << 8) & 0x00FF0000u) | (v << 24);
}

// A field as it stands in the file, in host order (the hosts are little-endian).
inline std::uint32_t RawField32(const std::uint8_t* at) {
    std::uint32_t v;
    std::memcpy(&v, at, sizeof v);
    return v;
}

inline std::uint16_t RawField16(const std::uint8_t* at) {
    std::uint16_t v;
    std::memcpy(&v, at, sizeof v);
    return v;
}

inline std::uint32_t BigEndian32(const std::uint8_t* at) {
    return Swap32(RawField32(at));
}
inline std::uint16_t BigEndian16(const std::uint8_t* at) {
    return Swap16(RawField16(at));
}
inline std::uint32_t LittleEndian32(const std::uint8_t* at) {
    return RawField32(at);
}
inline std::uint16_t LittleEndian16(const std::uint8_t* at) {
    return RawField16(at);
}
// A field in the byte order a file states.
inline std::uint32_t Field32(const std::uint8_t* at, bool littleEndian) {
    return littleEndian ? LittleEndian32(at) : BigEndian32(at);
}
inline std::uint16_t Field16(const std::uint8_t* at, bool littleEndian) {
    return littleEndian ? LittleEndian16(at) : BigEndian16(at);
}

}  // namespace veskar
