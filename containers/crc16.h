// The CRC-16 that BinHex 4.0 and MacBinary II/III carry: polynomial 0x1021, start value 0,
// most significant bit first, no final inversion (the XMODEM form).
#pragma once

#include <cstdint>
#include <span>

// Continues `crc` over `bytes`; start with 0.
std::uint16_t Crc16(std::span<const std::uint8_t> bytes, std::uint16_t crc = 0);
