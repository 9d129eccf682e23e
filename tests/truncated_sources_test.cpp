// SPDX-License-Identifier: Apache-2.0
// A truncated source of each format: the window's import writes what the source holds, as it
// always has; the command line reports truncated (a failure) with the output and what is
// missing, --verify refuses it with nothing written, and a trial run tells it too.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "app/core/conversion_run.h"
#include "cli/report.h"
#include "core/import.h"
#include "core/read/appledouble.h"
#include "core/read/applesingle.h"
#include "core/read/binhex/binhex_staging.h"
#include "core/read/macbinary.h"
#include "tests/apple_fixtures.h"
#include "tests/binhex_encoder.h"
#include "tests/run_program.h"

namespace veskar {

namespace {

namespace af = apple_fixtures;

MacFile File(const std::string& name, std::size_t resourceBytes) {
    MacFile file;
    file.name = name;
    file.data = PatternBytes(1000, 41);
    file.resource = PatternBytes(resourceBytes, 42);
    return file;
}
const MacFile kFile = File("Short", 0), kForks = File("Short Forks", 50), kText = File("Text", 0);

Bytes Cut(Bytes image, std::size_t bytes) {
    image.resize(image.size() - bytes);
    return image;
}
Bytes Head(const Bytes& bytes, std::size_t count) {
    return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(count));
}

// As the window calls an import: no report.
template <ImportResult (*Import)(std::string_view, std::string_view, ImportReport*)>
ImportResult AsTheWindow(std::string_view target, std::string_view source) {
    return Import(target, source, nullptr);
}

struct Case {
    const char* source;
    Bytes image;
    ImportOperation import;
    std::string output;
    std::string detail;  // empty for BinHex: its count depends on the encoding
    Bytes data;          // what the output holds: what the source holds
    std::optional<Bytes> resource;
};

const Case kCases[] = {
    // The header test does not count the header: a data fork 128 bytes past the end passes.
    {"short.bin", Cut(EncodeMacBinary(kFile), 24 + 128), &AsTheWindow<&ImportMacBinary>, "Short",
     "the data fork lacks 128 of its 1000 bytes", Head(kFile.data, 872), std::nullopt},
    {"short.as",
     Cut(EncodeAppleSingle({{af::kRealName, BytesOf(kForks.name)},
                            {af::kFinderInfo, FinderInfo("TEXTttxt")},
                            {af::kDataFork, kForks.data},
                            {af::kResourceFork, kForks.resource}}),
         20),
     &AsTheWindow<&ImportAppleSingle>, kForks.name, "the resource fork lacks 20 of its 50 bytes",
     kForks.data, Head(kForks.resource, 30)},
    // A data file shorter than its companion's entry 1 says (the companion is written below).
    {"pair", kForks.data, &AsTheWindow<&ImportAppleDouble>, "pair",
     "the data fork lacks 200 of its 1200 bytes", kForks.data, kForks.resource},
    {"short.hqx",
     Cut(BytesOf(EncodeBinHex(kText)), 60),
     &AsTheWindow<&ImportBinHex>,
     "Text",
     "",
     {},
     std::nullopt},
};

TEST(TruncatedSources, WrittenAsFarAsTheyGoAndReportedTruncated) {
    REQUIRE_NTFS(volume);
    CurrentFolderGuard guard;
    TempDir sources;
    std::vector<std::string> paths;
    for (const Case& c : kCases) {
        ASSERT_TRUE(WriteFile(sources.File(c.source), c.image));
        paths.push_back(sources.File(c.source));
    }
    ASSERT_TRUE(WriteFile(sources.File("._pair"),
                          EncodeAppleDouble({{af::kFinderInfo, FinderInfo("TEXTttxt")},
                                             {af::kDataFork, 0, 1200},
                                             {af::kResourceFork, kForks.resource}})));
    for (const char* folder : {"window", "cli", "verify", "dry"})
        ASSERT_TRUE(std::filesystem::create_directory(volume->Path(folder)));
    for (std::size_t i = 0; i < std::size(kCases); ++i)
        EXPECT_EQ(kCases[i].import(volume->Path("window"), paths[i]), ImportResult::Truncated);

    std::string binhexLine;
    for (const std::string folder : {"cli", "verify", "dry"}) {
        SCOPED_TRACE(folder);
        std::vector<std::string> args{"--json", volume->Path(folder)};
        if (folder != "cli") args.insert(args.begin(), folder == "dry" ? "--dry-run" : "--verify");
        args.insert(args.end(), paths.begin(), paths.end());
        const ProgramRun run = RunProgram(VESKAR_CONVERT_PATH, args);
        EXPECT_EQ(run.status, 1) << run.err;
        std::istringstream lines(run.out);
        for (std::size_t i = 0; i < std::size(kCases); ++i) {
            std::string line;
            ASSERT_TRUE(std::getline(lines, line)) << run.out;
            EXPECT_TRUE(line.starts_with("{\"source\": " + cli::JsonString(paths[i]) +
                                         ", \"result\": \"truncated\", \"code\": -6"))
                << line;
            // --verify alone writes nothing, and names no output.
            const bool output =
                line.find("\"output\": " + cli::JsonString(kCases[i].output)) != std::string::npos;
            EXPECT_EQ(output, folder != "verify") << line;
            const std::string& detail = kCases[i].detail;
            EXPECT_TRUE(detail.empty() || line.ends_with(cli::JsonString(detail) + "}")) << line;
            if (detail.empty() && folder == "cli") binhexLine = line;
        }
        if (folder == "cli") {
            EXPECT_NE(run.err.find(": the data fork lacks 128 of its 1000 bytes (written as "
                                   "Short)\nveskar-convert: "),
                      std::string::npos)
                << run.err;
            EXPECT_NE(run.err.find(": 0 converted, 4 failed (4 truncated), 0 skipped, "),
                      std::string::npos)
                << run.err;
        }
    }
    EXPECT_TRUE(std::filesystem::is_empty(volume->Path("verify")));
    EXPECT_TRUE(std::filesystem::is_empty(volume->Path("dry")));

    // What the window writes is what the source holds.
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.output);
        const ConvertedFile out = ReadConverted(*volume, "window/" + c.output);
        ASSERT_TRUE(out.data);
        EXPECT_EQ(out.TypeCreator(), TypeCreatorBytes("TEXTttxt"));
        if (!c.detail.empty()) {
            EXPECT_EQ(out.data, c.data);
            EXPECT_EQ(out.resource, c.resource);
            continue;
        }
        // The text lost its last 45 bytes, 4 of them check values: the data fork keeps its
        // first bytes, as many as the detail does not call missing. The command line also
        // takes the bytes of the last short group, which the window drops.
        EXPECT_EQ(out.data, Head(kText.data, out.data->size()));
        const ConvertedFile cli = ReadConverted(*volume, "cli/" + c.output);
        ASSERT_TRUE(cli.data);
        EXPECT_EQ(cli.data, Head(kText.data, cli.data->size()));
        EXPECT_GT(cli.data->size(), out.data->size());
        EXPECT_TRUE(binhexLine.ends_with("the data fork lacks " +
                                         std::to_string(1000 - cli.data->size()) +
                                         " of its 1000 bytes\"}"))
            << binhexLine;
    }
}

}  // namespace

}  // namespace veskar
