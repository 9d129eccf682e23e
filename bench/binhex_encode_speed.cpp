// SPDX-License-Identifier: Apache-2.0
// BinHex encoding in memory on one core, in MB/s of text made (10^6 bytes a second): the
// layout's encoder (run packing, 6-bit encoding, lines) over a fork of random bytes with runs
// mixed in, as the decoding bench's, the fork's CRC-16 computed as it goes by. The median of
// the runs. A plain program, so that it runs wherever the build is.
//   binhex_encode_speed [FORK_MIB] [RUNS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/common/crc16.h"
#include "core/write/binhex_encoder.h"

using namespace veskar;

namespace {

// Random bytes with a run every KiB on average, 3 to 600 bytes long, one in four of 0x90.
std::vector<std::uint8_t> Fork(std::uint64_t bytes) {
    std::vector<std::uint8_t> fork(bytes);
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    for (std::size_t i = 0; i + 8 <= fork.size(); i += 8) {
        const std::uint64_t v = next();
        std::memcpy(&fork[i], &v, 8);
    }
    for (std::size_t at = next() % 1024; at < fork.size(); at += 512 + next() % 1024) {
        const std::size_t length = std::min<std::size_t>(3 + next() % 598, fork.size() - at);
        const std::uint8_t byte = next() % 4 == 0 ? 0x90 : static_cast<std::uint8_t>(next());
        std::fill_n(fork.begin() + static_cast<std::ptrdiff_t>(at), length, byte);
    }
    return fork;
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint64_t forkMib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 64;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 9;
    if (forkMib == 0 || runs <= 0) {
        std::fprintf(stderr, "usage: binhex_encode_speed [FORK_MIB] [RUNS]\n");
        return 2;
    }
    const std::vector<std::uint8_t> fork = Fork(forkMib << 20);
    constexpr std::size_t kPiece = 128 * 1024;  // as the layout hands it the fork
    std::vector<double> times;
    std::uint64_t text = 0;
    for (int run = 0; run < runs; ++run) {
        text = 0;
        const auto start = std::chrono::steady_clock::now();
        BinHexEncoder encoder([&text](std::string_view piece) {
            text += piece.size();
            return true;
        });
        std::uint16_t crc = 0;
        for (std::size_t at = 0; at < fork.size(); at += kPiece) {
            const std::span<const std::uint8_t> piece(fork.data() + at,
                                                      std::min(kPiece, fork.size() - at));
            crc = Crc16(piece, crc);
            encoder.Put(piece);
        }
        const std::uint8_t check[2] = {static_cast<std::uint8_t>(crc >> 8),
                                       static_cast<std::uint8_t>(crc)};
        encoder.Put(check);
        encoder.Finish();
        times.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    std::printf("fork: %llu MiB, text: %llu bytes, median of %d runs\n",
                static_cast<unsigned long long>(forkMib), static_cast<unsigned long long>(text),
                runs);
    std::printf("encoding with the CRC-16: %.0f MB/s of text (%.3f s)\n",
                static_cast<double>(text) / median / 1e6, median);
    return 0;
}
