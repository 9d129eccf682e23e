// SPDX-License-Identifier: Apache-2.0
// BinHex decoding in memory on one core, in MB/s of text (10^6 bytes a second): the command
// line's one pass (6-bit decoding, run expansion and all three check values, computed and
// compared) over the bench's text, and each of its steps alone. The median of the runs. A
// plain program, so that the Windows build can be measured too (under Wine).
//   binhex_decode_speed [FORK_MIB] [RUNS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "bench/binhex_bench_text.h"
#include "core/read/binhex/binhex_check.h"
#include "core/read/binhex/binhex_stream.h"

using namespace veskar;

namespace {

double Seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The median of `runs` timings of `work`, as MB/s of `bytes`.
double Speed(int runs, std::uint64_t bytes, const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i)
        times.push_back(Seconds(work));
    std::sort(times.begin(), times.end());
    return static_cast<double>(bytes) / times[times.size() / 2] / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint64_t forkMib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 64;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 9;
    if (forkMib == 0 || runs <= 0) {
        std::fprintf(stderr, "usage: binhex_decode_speed [FORK_MIB] [RUNS]\n");
        return 2;
    }
    std::vector<std::uint8_t> whole;
    WriteBenchText(forkMib << 20, [&whole](std::string_view piece) {
        whole.insert(whole.end(), piece.begin(), piece.end());
    });
    // The reading starts after the opening colon, as the import hands it the text.
    const auto colon = std::find(whole.begin(), whole.end(), ':');
    const std::vector<std::uint8_t> text(colon + 1, whole.end());
    std::printf("text: %zu bytes for %llu MiB of fork data, median of %d runs\n", text.size(),
                static_cast<unsigned long long>(forkMib), runs);

    bool checked = true;
    const double onePass = Speed(runs, text.size(), [&] {
        binhex::Contents contents;
        std::size_t at = 0;
        binhex::ExpandedReading reading(
            [&](std::uint8_t* into, std::size_t room) {
                const std::size_t take = std::min(room, text.size() - at);
                std::memcpy(into, text.data() + at, take);
                at += take;
                return static_cast<std::int64_t>(take);
            },
            contents);
        checked = reading.ReadToEnd() && binhex::CheckProblem(contents).empty() &&
                  contents.dataPresent == forkMib << 20 && checked;
    });

    std::vector<std::uint8_t> packed(binhex::TextDecoder::PackedRoom(text.size()));
    std::size_t packedBytes = 0;
    const double decode = Speed(runs, text.size(), [&] {
        binhex::TextDecoder decoder(binhex::Colon::EndsData);
        std::size_t used = 0;
        packedBytes = decoder.Decode(text, packed.data(), used);
        packedBytes += decoder.Finish(packed.data() + packedBytes);
    });

    std::vector<std::uint8_t> expanded(1 << 16);
    std::uint64_t expandedBytes = 0;
    const double expand = Speed(runs, text.size(), [&] {
        binhex::RunExpander expander;
        std::span<const std::uint8_t> left(packed.data(), packedBytes);
        expandedBytes = 0;
        std::size_t written;
        do {
            written = expander.Expand(left, expanded.data(), expanded.size());
            expandedBytes += written;
        } while (written == expanded.size() || !left.empty());
    });

    std::vector<std::uint8_t> fork(forkMib << 20, 0x5A);
    std::uint16_t crc = 0;
    const double check = Speed(runs, text.size(), [&] { crc = Crc16(fork, crc); });

    std::printf("  one pass, check values compared  %7.0f MB/s of text%s\n", onePass,
                checked ? "" : "  (THE CHECK VALUES DID NOT MATCH)");
    std::printf("  its steps alone, per byte of text:\n");
    std::printf("    6-bit decoding                 %7.0f MB/s\n", decode);
    std::printf("    run expansion                  %7.0f MB/s (%llu bytes out)\n", expand,
                static_cast<unsigned long long>(expandedBytes));
    std::printf("    CRC-16 of the forks            %7.0f MB/s (%.0f MB/s of fork)\n", check,
                check * static_cast<double>(fork.size()) / static_cast<double>(text.size()));
    return checked ? 0 : 1;
}
