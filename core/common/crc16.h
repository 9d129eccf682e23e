// SPDX-License-Identifier: Apache-2.0
// The CRC-16 that BinHex 4.0 and MacBinary II/III carry: polynomial 0x1021, start value 0,
// most significant bit first, no final inversion (the XMODEM form).
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace veskar {

// Continues `crc` over `bytes`; start with 0. Long spans go through the processor's
// carry-less multiplication where it has one.
std::uint16_t Crc16(std::span<const std::uint8_t> bytes, std::uint16_t crc = 0);

// The two ways Crc16 computes, for tests that hold them to each other: by tables, sixteen
// bytes at a time, on every processor; and by carry-less multiplication, nullopt where the
// processor (or the build's target) has none.
std::uint16_t Crc16ByTables(std::span<const std::uint8_t> bytes, std::uint16_t crc = 0);
std::optional<std::uint16_t> Crc16ByMultiplication(std::span<const std::uint8_t> bytes,
                                                   std::uint16_t crc = 0);

}  // namespace veskar
