#include "containers/crc16.h"

#include <array>

namespace {

constexpr std::uint16_t kPolynomial = 0x1021;

constexpr std::array<std::uint16_t, 256> MakeTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        std::uint16_t crc = static_cast<std::uint16_t>(byte << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>(crc & 0x8000 ? (crc << 1) ^ kPolynomial : crc << 1);
        table[byte] = crc;
    }
    return table;
}

constexpr auto kTable = MakeTable();

}  // namespace

std::uint16_t Crc16(std::span<const std::uint8_t> bytes, std::uint16_t crc) {
    for (const std::uint8_t byte : bytes)
        crc = static_cast<std::uint16_t>(crc << 8 ^ kTable[(crc >> 8 ^ byte) & 0xFF]);
    return crc;
}
