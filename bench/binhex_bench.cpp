// Throughput of the two BinHex decoding passes over a text of 64 MiB of fork data: random
// bytes with runs mixed in (some of them of 0x90, some longer than one marker can say), in
// MB/s of text. The passes go through real files in the temporary folder, as the import does.
//   binhex_bench [--fork-mib N] [Google Benchmark flags]
//   binhex_bench --write PATH FORK_MIB     writes such a text and exits (for binhex_bench.sh)
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "binhex/binhex_passes.h"
#include "platform/platform.h"
#include "tests/binhex_encoder.h"

namespace {

// Writes the BinHex text of a file "Bench" (BINA/bnch) whose data fork has `forkBytes`
// bytes; the check values are left zero, since nothing reads them.
bool WriteBenchText(const std::string& path, std::uint64_t forkBytes) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    BinHexWriter writer(
        [out](std::string_view piece) { std::fwrite(piece.data(), 1, piece.size(), out); },
        BinHexStyle{});
    MacFile header;
    header.name = "Bench";
    header.type = "BINA";
    header.creator = "bnch";
    Bytes head = ExpandedStreamOf(header);
    head.resize(head.size() - 4);  // up to the header check: no forks, no fork checks
    PutBigEndian32(head, head.size() - 10, static_cast<std::uint32_t>(forkBytes));  // D
    writer.Put(head.data(), head.size());

    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    Bytes block(1 << 16);
    for (std::uint64_t left = forkBytes; left > 0;) {
        for (std::size_t i = 0; i < block.size(); i += 8) {
            const std::uint64_t v = next();
            std::memcpy(&block[i], &v, 8);
        }
        // A run every 1 KiB on average, 3 to 600 bytes long, one in four of 0x90.
        for (std::size_t at = next() % 1024; at < block.size(); at += 512 + next() % 1024) {
            const std::size_t length = 3 + next() % 598;
            const std::uint8_t byte = next() % 4 == 0 ? 0x90 : static_cast<std::uint8_t>(next());
            std::memset(&block[at], byte, std::min(length, block.size() - at));
        }
        const std::size_t take =
            static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
        writer.Put(block.data(), take);
        left -= take;
    }
    const std::uint8_t checks[4] = {0, 0, 0, 0};  // data fork check, resource fork check
    writer.Put(checks, sizeof checks);
    writer.Finish();
    return std::fclose(out) == 0;
}

std::string textPath;
std::uint64_t textBytes = 0;

std::FILE* Scratch(const char* prefix, std::string& path) {
    path = platform::CreateTempFile(platform::TempFolder(), prefix).value_or("");
    return path.empty() ? nullptr : std::fopen(path.c_str(), "w+b");
}

void RunPasses(benchmark::State& state, bool first, bool second) {
    std::string packedPath, expandedPath;
    std::FILE* packed = Scratch("BQX", packedPath);
    std::FILE* expanded = Scratch("BIX", expandedPath);
    if (!packed || !expanded) {
        state.SkipWithError("no scratch files in the temporary folder");
        return;
    }
    std::FILE* text = std::fopen(textPath.c_str(), "rb");
    if (!first) binhex::DecodeBinHexText(text, packed);  // pass 2 alone needs its input once
    for (auto _ : state) {
        if (first) {
            std::rewind(text);
            std::rewind(packed);
            binhex::DecodeBinHexText(text, packed);
            std::fflush(packed);
        }
        if (second) {
            std::rewind(packed);
            std::rewind(expanded);
            binhex::ExpandRuns(packed, expanded);
            std::fflush(expanded);
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * textBytes));
    std::fclose(text);
    std::fclose(packed);
    std::fclose(expanded);
    std::remove(packedPath.c_str());
    std::remove(expandedPath.c_str());
}

void BM_BothPasses(benchmark::State& state) {
    RunPasses(state, true, true);
}
void BM_DecodeBinHexText(benchmark::State& state) {
    RunPasses(state, true, false);
}
void BM_ExpandRuns(benchmark::State& state) {
    RunPasses(state, false, true);
}

}  // namespace

BENCHMARK(BM_BothPasses)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodeBinHexText)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExpandRuns)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--write")
        return WriteBenchText(argv[2], std::strtoull(argv[3], nullptr, 10) << 20) ? 0 : 1;
    std::uint64_t forkMib = 64;
    if (argc >= 3 && std::string(argv[1]) == "--fork-mib") {
        forkMib = std::strtoull(argv[2], nullptr, 10);
        argv[2] = argv[0];
        argc -= 2;
        argv += 2;
    }
    benchmark::Initialize(&argc, argv);
    std::string made = platform::CreateTempFile(platform::TempFolder(), "hqx").value_or("");
    if (made.empty() || !WriteBenchText(made, forkMib << 20)) {
        std::fprintf(stderr, "binhex_bench: cannot write the text in the temporary folder\n");
        return 1;
    }
    textPath = made;
    textBytes = std::filesystem::file_size(made);
    std::printf("text: %llu bytes for %llu MiB of fork data\n",
                static_cast<unsigned long long>(textBytes),
                static_cast<unsigned long long>(forkMib));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::remove(made.c_str());
    return 0;
}
