// SPDX-License-Identifier: Apache-2.0
// Reading big-endian fields off the front of a span of bytes. A read gives a value only when
// all its bytes are there, and moves on only then: a table cut short ends the walk instead
// of reading past it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "core/common/byte_order.h"

namespace veskar {

class ByteReader {
  public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::size_t Remaining() const { return bytes_.size() - at_; }

    std::optional<std::span<const std::uint8_t>> Take(std::size_t count) {
        if (count > Remaining()) return std::nullopt;
        const auto taken = bytes_.subspan(at_, count);
        at_ += count;
        return taken;
    }
    std::optional<std::uint16_t> Big16() {
        const auto field = Take(2);
        return field ? std::optional(BigEndian16(field->data())) : std::nullopt;
    }
    std::optional<std::uint32_t> Big32() {
        const auto field = Take(4);
        return field ? std::optional(BigEndian32(field->data())) : std::nullopt;
    }
    // In the byte order a file states.
    std::optional<std::uint32_t> Field32(bool littleEndian) {
        const auto field = Take(4);
        return field ? std::optional(veskar::Field32(field->data(), littleEndian)) : std::nullopt;
    }
    std::optional<std::uint16_t> Field16(bool littleEndian) {
        const auto field = Take(2);
        return field ? std::optional(veskar::Field16(field->data(), littleEndian)) : std::nullopt;
    }
    std::optional<std::uint8_t> Byte() {
        const auto field = Take(1);
        return field ? std::optional((*field)[0]) : std::nullopt;
    }

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t at_ = 0;
};

}  // namespace veskar
