// A truncated source of each format: the window's import writes what the source holds, as it
// always has, and says Truncated; the command line reports it as truncated (a failure) with
// its output and what is missing, --verify refuses it with nothing written, and a trial run
// tells it too.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/conversion_run.h"
#include "binhex/binhex_staging.h"
#include "cli/report.h"
#include "containers/appledouble.h"
#include "containers/applesingle.h"
#include "containers/macbinary.h"
#include "tests/apple_fixtures.h"
#include "tests/binhex_encoder.h"
#include "tests/environment.h"
#include "tests/mac_fixtures.h"
#include "tests/run_program.h"

namespace {

namespace fs = std::filesystem;
namespace af = apple_fixtures;

Bytes Cut(Bytes image, std::size_t bytes) {
    image.resize(image.size() - bytes);
    return image;
}

MacFile File(const std::string& name, std::size_t dataBytes, std::size_t resourceBytes) {
    MacFile file;
    file.name = name;
    file.data = PatternBytes(dataBytes, 41);
    file.resource = PatternBytes(resourceBytes, 42);
    return file;
}

const MacFile kMacBinary = File("Short MacBinary", 1000, 0);
const MacFile kAppleSingle = File("Short AppleSingle", 300, 50);
const MacFile kAppleDouble = File("AppleDouble", 1000, 70);
const MacFile kBinHex = File("Short BinHex", 1000, 0);

struct TruncatedCase {
    const char* source;
    Bytes image;
    std::optional<Bytes> companion;  // the "._" file of an AppleDouble pair
    ImportOperation import;          // as the window calls it
    std::string output;
    std::string detail;  // empty: checked by the row's own test below
    Bytes data;          // what the output's forks hold: what the source holds of them
    std::optional<Bytes> resource;
};

const TruncatedCase kCases[] = {
    // The header test does not count the header: a data fork 128 bytes past the end passes.
    {"short.bin", Cut(EncodeMacBinary(kMacBinary), 24 + 128), std::nullopt,
     [](std::string_view t, std::string_view s) { return ImportMacBinary(t, s); }, kMacBinary.name,
     "the data fork lacks 128 of its 1000 bytes",
     Bytes(kMacBinary.data.begin(), kMacBinary.data.end() - 128), std::nullopt},
    {"short.as",
     Cut(EncodeAppleSingle({{af::kRealName, BytesOf(kAppleSingle.name)},
                            {af::kFinderInfo, FinderInfo("TEXTttxt")},
                            {af::kDataFork, kAppleSingle.data},
                            {af::kResourceFork, kAppleSingle.resource}}),
         20),
     std::nullopt, [](std::string_view t, std::string_view s) { return ImportAppleSingle(t, s); },
     kAppleSingle.name, "the resource fork lacks 20 of its 50 bytes", kAppleSingle.data,
     Bytes(kAppleSingle.resource.begin(), kAppleSingle.resource.end() - 20)},
    // The data file is shorter than its companion's entry 1 says.
    {"pair", kAppleDouble.data,
     EncodeAppleDouble({{af::kFinderInfo, FinderInfo("TEXTttxt")},
                        {af::kDataFork, 0, 1200},
                        {af::kResourceFork, kAppleDouble.resource}}),
     [](std::string_view t, std::string_view s) { return ImportAppleDouble(t, s); }, "pair",
     "the data fork lacks 200 of its 1200 bytes", kAppleDouble.data, kAppleDouble.resource},
    // The text ends inside the data fork, a little short of it: the header still passes.
    {"short.hqx",
     [] {
         const std::string text = EncodeBinHex(kBinHex);
         return BytesOf(text.substr(0, text.size() - 60));
     }(),
     std::nullopt,
     [](std::string_view t, std::string_view s) { return ImportBinHex(t, s); },
     kBinHex.name,
     "",
     {},
     std::nullopt},
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(text.substr(at, end - at));
    return lines;
}

std::string Field(const std::string& name, const std::string& value) {
    return ", \"" + name + "\": " + cli::JsonString(value);
}

TEST(TruncatedSources, WrittenAsFarAsTheyGoAndReportedTruncated) {
    REQUIRE_NTFS(volume);
    CurrentFolderGuard guard;
    TempDir sources;
    std::vector<std::string> paths;
    for (const TruncatedCase& c : kCases) {
        ASSERT_TRUE(WriteFile(sources.File(c.source), c.image));
        if (c.companion) {
            ASSERT_TRUE(WriteFile(sources.File(std::string("._") + c.source), *c.companion));
        }
        paths.push_back(sources.File(c.source));
    }
    for (const char* folder : {"window", "cli", "verify", "dry"})
        ASSERT_TRUE(fs::create_directory(volume->Path(folder)));

    // The window: its result is not shown, its bytes are what the source holds.
    for (std::size_t i = 0; i < std::size(kCases); ++i)
        EXPECT_EQ(kCases[i].import(volume->Path("window"), paths[i]), ImportResult::Truncated)
            << kCases[i].source;

    auto run = [&](const std::vector<std::string>& options, const char* folder) {
        std::vector<std::string> args{"--json"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(volume->Path(folder));
        args.insert(args.end(), paths.begin(), paths.end());
        return RunProgram(VESKAR_CONVERT_PATH, args);
    };
    const ProgramRun written = run({}, "cli");
    const ProgramRun verified = run({"--verify"}, "verify");
    const ProgramRun tried = run({"--dry-run"}, "dry");
    std::string binhexDetail;
    for (const ProgramRun* r : {&written, &verified, &tried}) {
        EXPECT_EQ(r->status, 1) << r->err;
        const std::vector<std::string> lines = Lines(r->out);
        ASSERT_EQ(lines.size(), std::size(kCases)) << r->out;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const TruncatedCase& c = kCases[i];
            const std::string start = "{\"source\": " + cli::JsonString(paths[i]) +
                                      ", \"result\": \"truncated\", \"code\": -6";
            EXPECT_TRUE(lines[i].starts_with(start)) << lines[i];
            // Only --verify writes nothing, and names no output.
            const bool output = r != &verified;
            EXPECT_EQ(lines[i].find(Field("output", c.output)) != std::string::npos, output)
                << lines[i];
            EXPECT_EQ(lines[i].find("\"dry_run\": true") != std::string::npos, r == &tried)
                << lines[i];
            if (!c.detail.empty()) {
                EXPECT_TRUE(lines[i].ends_with(Field("detail", c.detail) + "}")) << lines[i];
            } else if (r == &written) {
                binhexDetail = lines[i];
            }
        }
    }
    EXPECT_NE(written.err.find("veskar-convert: 0 converted, 4 failed (4 truncated), 0 skipped, "),
              std::string::npos)
        << written.err;
    // The text mode's diagnostic names what was written.
    EXPECT_NE(written.err.find("veskar-convert: " + paths[0] +
                               ": the source is truncated: the data fork lacks 128 of its "
                               "1000 bytes (written as " +
                               kMacBinary.name + ")"),
              std::string::npos)
        << written.err;
    EXPECT_TRUE(fs::is_empty(volume->Path("verify")));
    EXPECT_TRUE(fs::is_empty(volume->Path("dry")));

    for (const char* folder : {"window", "cli"}) {
        for (const TruncatedCase& c : kCases) {
            SCOPED_TRACE(std::string(folder) + " " + c.source);
            const ConvertedFile out = ReadConverted(*volume, std::string(folder) + "/" + c.output);
            ASSERT_TRUE(out.data);
            if (c.detail.empty()) {
                // The BinHex text lost its last 60 characters, 45 bytes, the last 4 of them
                // the check values: the data fork keeps its first bytes and lacks the rest.
                EXPECT_LT(out.data->size(), kBinHex.data.size());
                EXPECT_TRUE(std::equal(out.data->begin(), out.data->end(), kBinHex.data.begin()));
                EXPECT_NE(binhexDetail.find(", \"detail\": \"the data fork lacks " +
                                            std::to_string(1000 - out.data->size()) +
                                            " of its 1000 bytes\"}"),
                          std::string::npos)
                    << binhexDetail;
            } else {
                EXPECT_EQ(out.data, c.data);
                EXPECT_EQ(out.resource, c.resource);
            }
            EXPECT_EQ(out.TypeCreator(), TypeCreatorBytes("TEXTttxt"));
        }
    }
}

}  // namespace
