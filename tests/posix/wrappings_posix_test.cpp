// SPDX-License-Identifier: Apache-2.0
// The wrappings written (MacBinary III, AppleSingle, BinHex 4.0) for every shared sample, read
// back by decoders of other projects: The Unarchiver's lsar and unar for all three, macutils'
// hexbin for BinHex. --verify has read each back through our own readers before it was
// reported converted; the other decoders must find the same type, creator and forks.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>

#include "core/common/byte_source.h"
#include "core/read/appledouble.h"
#include "tests/apple_fixtures.h"
#include "tests/run_program.h"

namespace veskar {

namespace {

namespace fs = std::filesystem;

// The tool's path, empty when it is not installed.
std::string PathOf(const std::string& tool) {
    const ProgramRun run = RunProgram("/bin/sh", {"-c", "command -v " + tool});
    return run.status == 0 ? run.out.substr(0, run.out.find('\n')) : "";
}

// Every number that follows `"KEY": ` in lsar's JSON; a 0 first when there is none (lsar
// leaves out a number of nothing at times).
std::vector<std::uint64_t> Numbers(const std::string& json, const std::string& key) {
    std::vector<std::uint64_t> found;
    const std::string marker = "\"" + key + "\": ";
    for (std::size_t at = json.find(marker); at != std::string::npos;
         at = json.find(marker, at + 1))
        found.push_back(std::stoull(json.substr(at + marker.size())));
    if (found.empty()) found.push_back(0);
    return found;
}

std::uint32_t Big32(const FinderInformation& info, std::size_t at) {
    return std::uint32_t{info[at]} << 24 | std::uint32_t{info[at + 1]} << 16 |
           std::uint32_t{info[at + 2]} << 8 | info[at + 3];
}

// The only file a decoder wrote into `folder` whose name ends in `suffix`.
Bytes OnlyFile(const std::string& folder, const std::string& suffix = "") {
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().string().ends_with(suffix)) return ReadFile(entry.path().string());
    return {};
}

}  // namespace

TEST(Wrappings, EverySampleReadsBackThroughOtherDecoders) {
    const std::string samples = SamplesDir();
    if (samples.empty()) GTEST_SKIP() << "no samples at " << VESKAR_SAMPLES_DIR;
    const std::string lsar = PathOf("lsar"), unar = PathOf("unar"), hexbin = PathOf("hexbin");
    if (lsar.empty() || unar.empty() || hexbin.empty())
        GTEST_SKIP() << "no lsar, unar or hexbin (Debian: unar, macutils)";
    const std::vector<std::string> kinds = {"macbinary", "applesingle", "binhex", "appledouble"};
    // The reference: each sample as a data file and its "._" file, read with our reader.
    TempDir reference;
    std::vector<std::string> args = {"-q", "-r", "--layout", "appledouble", reference.Path()};
    for (const std::string& kind : kinds)
        args.push_back(samples + "/" + kind);
    ASSERT_EQ(RunProgram(VESKAR_CONVERT_PATH, args).status, 0);

    const std::vector<std::pair<std::string, std::string>> wrappings = {
        {"macbinary", ".bin"}, {"applesingle", ".as"}, {"binhex", ".hqx"}};
    for (const auto& [layout, extension] : wrappings) {
        TempDir out;
        args = {"-q", "-r", "--verify", "--layout", layout, out.Path()};
        for (const std::string& kind : kinds)
            args.push_back(samples + "/" + kind);
        const ProgramRun run = RunProgram(VESKAR_CONVERT_PATH, args);
        ASSERT_EQ(run.status, 0) << layout << ": " << run.err;
        std::size_t checked = 0;
        for (const auto& entry : fs::recursive_directory_iterator(reference.Path())) {
            const std::string name = entry.path().filename().string();
            if (!entry.is_regular_file() || name.starts_with("._")) continue;
            const std::string relative = fs::relative(entry.path(), reference.Path()).string();
            const std::string dataPath = entry.path().string();
            const std::string companion = entry.path().parent_path().string() + "/._" + name;
            const Bytes data = ReadFile(dataPath);
            FinderInformation info{};
            Bytes resource;
            if (fs::exists(companion)) {
                const Bytes header = ReadFile(companion);
                MemorySource dataSource(data), headerSource(header);
                const MacFileReading reading = ReadAppleDouble(dataSource, headerSource, companion);
                ASSERT_FALSE(reading.refusal) << relative;
                info = reading.file.finderInfo;
                const auto held = reading.file.resource;
                resource.assign(
                    header.begin() + static_cast<std::ptrdiff_t>(held.offset),
                    header.begin() + static_cast<std::ptrdiff_t>(held.offset + held.length));
            }
            const std::string wrapped = out.File(relative + extension);
            ASSERT_TRUE(fs::exists(wrapped)) << wrapped;
            const std::string where = layout + ": " + relative;

            // lsar: type, creator and both forks' sizes.
            const ProgramRun listed = RunProgram(lsar, {"-nr", "-j", wrapped});
            ASSERT_EQ(listed.status, 0) << where << listed.err;
            if (Big32(info, 0) != 0) {
                EXPECT_EQ(Numbers(listed.out, "XADFileType").front(), Big32(info, 0)) << where;
                EXPECT_EQ(Numbers(listed.out, "XADFileCreator").front(), Big32(info, 4)) << where;
            }
            EXPECT_EQ(Numbers(listed.out, "XADFinderFlags").front(),
                      std::uint64_t{info[8]} << 8 | info[9])
                << where;
            // The name as the Mac shows it (an ASCII one, as the stored name spells it unless
            // it took a unique code), and the modification date where the wrapping keeps one.
            if (name.find(".00") == std::string::npos &&
                std::all_of(name.begin(), name.end(),
                            [](char c) { return c >= 0x20 && c < 0x7F; })) {
                EXPECT_NE(listed.out.find("\"XADFileName\": \"" + name + "\""), std::string::npos)
                    << where;
            }
            // A source without dates leaves the reference dated by its conversion, today.
            const std::time_t seconds = std::chrono::system_clock::to_time_t(
                std::chrono::file_clock::to_sys(fs::last_write_time(entry.path())));
            if (layout != "binhex" && seconds < std::time(nullptr) - 3600) {
                char date[32];
                std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S +0000", std::gmtime(&seconds));
                EXPECT_NE(listed.out.find("\"XADLastModificationDate\": \"" + std::string(date)),
                          std::string::npos)
                    << where << ": " << date;
            }
            const std::vector<std::uint64_t> sizes = Numbers(listed.out, "XADFileSize");
            for (const std::size_t size : {data.size(), resource.size()}) {
                if (size == 0) continue;
                EXPECT_NE(std::find(sizes.begin(), sizes.end(), size), sizes.end())
                    << where << ": no fork of " << size << " bytes in\n"
                    << listed.out;
            }

            // unar: the data fork, byte for byte (it makes nothing of a file that has only a
            // resource fork when told to leave resource forks out).
            if (!data.empty()) {
                TempDir unpacked;
                ASSERT_EQ(
                    RunProgram(unar, {"-q", "-nr", "-k", "skip", "-o", unpacked.Path(), wrapped})
                        .status,
                    0)
                    << where;
                EXPECT_EQ(OnlyFile(unpacked.Path()), data) << where;
            }

            // hexbin: both forks of a BinHex text.
            if (layout == "binhex") {
                TempDir decoded;
                ASSERT_EQ(RunProgram(hexbin, {"-3", wrapped}, decoded.Path()).status, 0) << where;
                EXPECT_EQ(OnlyFile(decoded.Path(), ".data"), data) << where;
                EXPECT_EQ(OnlyFile(decoded.Path(), ".rsrc"), resource) << where;
            }
            ++checked;
        }
        EXPECT_GE(checked, 25u) << layout;
    }
}

}  // namespace veskar
