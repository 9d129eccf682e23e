// SPDX-License-Identifier: Apache-2.0
// The benchmarks' BinHex text: a file "Bench" (BINA/bnch) whose data fork is `forkBytes`
// random bytes with runs mixed in (a run every 1 KiB on average, 3 to 600 bytes long, one in
// four of 0x90, so some need the literal marker and some are longer than one marker can
// say), with its check values right. Made with the tests' own encoder, piece by piece.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>

#include "core/common/crc16.h"
#include "tests/binhex_encoder.h"
#include "tests/mac_fixtures.h"

namespace veskar {

// With `runs` false, the fork is random bytes alone, as a compressed archive is.
inline void WriteBenchText(std::uint64_t forkBytes, BinHexWriter::Sink sink, bool runs = true) {
    BinHexWriter writer(std::move(sink), BinHexStyle{});
    MacFile header;
    header.name = "Bench";
    header.type = "BINA";
    header.creator = "bnch";
    Bytes head = ExpandedStreamOf(header);
    head.resize(head.size() - 6);  // up to the header check: no forks, no fork checks
    PutBigEndian32(head, head.size() - 8, static_cast<std::uint32_t>(forkBytes));  // D
    const std::uint16_t headerCheck = Crc16(head);
    head.push_back(static_cast<std::uint8_t>(headerCheck >> 8));
    head.push_back(static_cast<std::uint8_t>(headerCheck));
    writer.Put(head.data(), head.size());

    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    std::uint16_t dataCheck = 0;
    Bytes block(1 << 16);
    for (std::uint64_t left = forkBytes; left > 0;) {
        for (std::size_t i = 0; i < block.size(); i += 8) {
            const std::uint64_t v = next();
            std::memcpy(&block[i], &v, 8);
        }
        for (std::size_t at = next() % 1024; runs && at < block.size(); at += 512 + next() % 1024) {
            const std::size_t length = 3 + next() % 598;
            const std::uint8_t byte = next() % 4 == 0 ? 0x90 : static_cast<std::uint8_t>(next());
            std::memset(&block[at], byte, std::min(length, block.size() - at));
        }
        const std::size_t take =
            static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
        writer.Put(block.data(), take);
        dataCheck = Crc16(std::span(block.data(), take), dataCheck);
        left -= take;
    }
    // The data fork's check value, then the empty resource fork's.
    const std::uint8_t checks[4] = {static_cast<std::uint8_t>(dataCheck >> 8),
                                    static_cast<std::uint8_t>(dataCheck), 0, 0};
    writer.Put(checks, sizeof checks);
    writer.Finish();
}

}  // namespace veskar
