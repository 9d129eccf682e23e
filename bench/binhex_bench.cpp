// SPDX-License-Identifier: Apache-2.0
// Throughput of the two BinHex decoding passes over a text of 64 MiB of fork data: random
// bytes with runs mixed in (some of them of 0x90, some longer than one marker can say), in
// MB/s of text. The passes go through real files in the temporary folder, as the import does.
//   binhex_bench [--fork-mib N] [Google Benchmark flags]
//   binhex_bench --write PATH FORK_MIB [--no-runs]
//                                          writes such a text (with --no-runs, of random
//                                          bytes alone) and exits (for binhex_bench.sh)
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "bench/binhex_bench_text.h"
#include "core/read/binhex/binhex_passes.h"
#include "platform/platform.h"

using namespace veskar;

namespace {

bool WriteBenchFile(const std::string& path, std::uint64_t forkBytes, bool runs = true) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    ::WriteBenchText(
        forkBytes,
        [out](std::string_view piece) { std::fwrite(piece.data(), 1, piece.size(), out); }, runs);
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
    if ((argc == 4 || argc == 5) && std::string(argv[1]) == "--write")
        return WriteBenchFile(argv[2], std::strtoull(argv[3], nullptr, 10) << 20,
                              argc == 4 || std::string(argv[4]) != "--no-runs")
                   ? 0
                   : 1;
    std::uint64_t forkMib = 64;
    if (argc >= 3 && std::string(argv[1]) == "--fork-mib") {
        forkMib = std::strtoull(argv[2], nullptr, 10);
        argv[2] = argv[0];
        argc -= 2;
        argv += 2;
    }
    benchmark::Initialize(&argc, argv);
    std::string made = platform::CreateTempFile(platform::TempFolder(), "hqx").value_or("");
    if (made.empty() || !WriteBenchFile(made, forkMib << 20)) {
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
