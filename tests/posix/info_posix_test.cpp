// SPDX-License-Identifier: Apache-2.0
// veskar-convert --info --json read by other programs: Python's json module parses every line
// back, and for each shared sample the type, creator and forks' sizes equal what The
// Unarchiver's lsar finds in it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/info.h"
#include "cli/options.h"
#include "platform/platform.h"
#include "tests/apple_encoder.h"
#include "tests/apple_fixtures.h"
#include "tests/mac_fixtures.h"
#include "tests/run_program.h"

namespace veskar {

namespace {

namespace fs = std::filesystem;

constexpr const char* kPython = "/usr/bin/python3";

// Flattens JSON for the comparisons, one line per object. "lines FILE": each line of the
// file parsed on its own, its keys in the order given after the file, each "key=value" with
// lists joined by commas. "lsar FILE": lsar -j's listing as "type creator data resource",
// the codes as numbers and the forks' sizes added up over its entries.
constexpr const char* kFlatten = R"(
import json, sys
def byte(c):
    try:
        return c.encode('cp1252')
    except UnicodeEncodeError:  # the bytes code page 1252 leaves undefined stand for themselves
        return bytes([ord(c)])
def code(text):
    return int.from_bytes(b''.join(byte(c) for c in text).ljust(4, b'\0'), 'big')
mode, path = sys.argv[1], sys.argv[2]
with open(path, encoding='utf-8') as f:
    text = f.read()
if mode == 'lsar':
    entries = json.loads(text)['lsarContents']
    first = entries[0] if entries else {}
    size = lambda rsrc: sum(e.get('XADFileSize', 0) for e in entries
                            if bool(e.get('XADIsResourceFork')) == rsrc)
    print(first.get('XADFileType', 0), first.get('XADFileCreator', 0), size(False), size(True))
elif mode == 'codes':
    for line in text.splitlines():
        o = json.loads(line)
        print(o['source'], code(o['type']), code(o['creator']), o['data_bytes'],
              o['resource_bytes'])
else:
    for line in text.splitlines():
        o = json.loads(line)
        shown = lambda v: ','.join(v) if isinstance(v, list) else str(v)
        print(' '.join(k + '=' + shown(o[k]) for k in sys.argv[3:] if k in o))
)";

struct InfoRun {
    int status = -1;
    std::string out, err;
};

InfoRun Info(std::vector<std::string> args) {
    std::vector<std::string_view> arguments{"--info", "--json"};
    arguments.insert(arguments.end(), args.begin(), args.end());
    const cli::Parsed parsed = cli::ParseArguments(arguments);
    EXPECT_EQ(parsed.error, "");
    std::ostringstream out, err;
    InfoRun run;
    run.status = cli::ShowInfo(parsed.options, out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
}

// Python's reading of `json`, flattened by kFlatten in `mode`.
std::string Flattened(const TempDir& scratch, const std::string& json, const std::string& mode,
                      const std::vector<std::string>& keys = {}) {
    const std::string file = scratch.File("flatten-" + mode + ".json");
    EXPECT_TRUE(WriteFile(file, BytesOf(json)));
    std::vector<std::string> args = {"-c", kFlatten, mode, file};
    args.insert(args.end(), keys.begin(), keys.end());
    const ProgramRun run = RunProgram(kPython, args);
    EXPECT_EQ(run.status, 0) << run.err;
    return run.out;
}

// The program's path, empty when it is not installed.
std::string PathOf(const std::string& program) {
    const ProgramRun run = RunProgram("/bin/sh", {"-c", "command -v " + program});
    return run.status == 0 ? run.out.substr(0, run.out.find('\n')) : "";
}

}  // namespace

TEST(InfoJson, EveryLineParsesBackWithWhatItDescribes) {
    if (PathOf(kPython).empty()) GTEST_SKIP() << "no " << kPython;
    using namespace apple_fixtures;
    TempDir folder, scratch;
    MacFile file;
    file.name = "Caf\x8E \"1\"";  // Mac Roman: "Café "1""
    file.type = "APPL";
    file.creator = "ICTL";
    file.finderFlags = 0x2100;
    file.data = PatternBytes(34, 1);
    file.resource = PatternBytes(621, 2);
    file.created = 3066527167u;  // 2001-03-04 05:06:07 UTC
    file.comment = "line\rtwo";
    ASSERT_TRUE(WriteFile(folder.File("cafe.bin"), EncodeMacBinary(file)));
    fs::create_directory(folder.File("Sub"));
    Bytes folderInfo = FinderInfo("");
    folderInfo[8] = 0x04;  // custom icon
    ASSERT_TRUE(WriteFile(folder.File("._Sub"), EncodeAppleDouble({{kFinderInfo, folderInfo}})));
    ASSERT_TRUE(WriteFile(folder.File("notes.txt"), BytesOf("plain")));

    const InfoRun run =
        Info({folder.File("cafe.bin"), folder.File("._Sub"), folder.File("notes.txt")});
    EXPECT_EQ(run.status, 1);
    const std::string at = folder.Path() + "/";
    EXPECT_EQ(Flattened(scratch, run.out, "lines",
                        {"source", "format", "name", "type", "creator", "finder_flags",
                         "flag_names", "created", "modified", "data_bytes", "resource_bytes",
                         "comment", "attributes", "folder", "result", "code", "detail"}),
              "source=" + at +
                  "cafe.bin format=MacBinary II name=Caf\xC3\xA9 \"1\" type=APPL creator=ICTL "
                  "finder_flags=2100 flag_names=bundle,inited created=2001-03-04T05:06:07Z "
                  "data_bytes=34 resource_bytes=621 comment=line\rtwo\n"
                  "source=" +
                  at +
                  "._Sub format=AppleDouble finder_flags=0400 flag_names=custom icon "
                  "folder=True\n"
                  "source=" +
                  at +
                  "notes.txt result=wrong-kind code=-2 detail=not MacBinary, AppleSingle, "
                  "AppleDouble or BinHex\n");
}

// lsar lists an AppleDouble pair from its "._" file, with the resource fork alone: the data
// fork is the data file.
TEST(InfoJson, SamplesAgreeWithTheUnarchiver) {
    const std::string samples = SamplesDir();
    if (samples.empty()) GTEST_SKIP() << "no samples at " << VESKAR_SAMPLES_DIR;
    const std::string lsar = PathOf("lsar");
    if (lsar.empty() || PathOf(kPython).empty())
        GTEST_SKIP() << "no lsar (Debian: unar) or python3";
    std::vector<std::string> sources;
    for (const auto& entry : fs::recursive_directory_iterator(samples)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && !name.starts_with("._") && name != "SOURCES.txt")
            sources.push_back(entry.path().string());
    }
    std::sort(sources.begin(), sources.end());
    ASSERT_FALSE(sources.empty());
    const InfoRun run = Info(sources);
    EXPECT_EQ(run.status, 0) << run.err;
    TempDir scratch;
    std::istringstream ours(Flattened(scratch, run.out, "codes"));
    std::size_t compared = 0;
    for (const std::string& source : sources) {
        std::string line;
        ASSERT_TRUE(std::getline(ours, line)) << "no line for " << source;
        const fs::path path(source);
        const bool pair = path.parent_path().parent_path().filename() == "appledouble";
        const std::string listed =
            pair ? (path.parent_path() / ("._" + path.filename().string())).string() : source;
        const ProgramRun listing = RunProgram(lsar, {"-nr", "-j", listed});
        ASSERT_EQ(listing.status, 0) << listed << ": " << listing.err;
        std::istringstream theirs(Flattened(scratch, listing.out, "lsar"));
        std::uint64_t type = 0, creator = 0, data = 0, resource = 0;
        theirs >> type >> creator >> data >> resource;
        if (pair) data = fs::file_size(path);
        EXPECT_EQ(line, source + " " + std::to_string(type) + " " + std::to_string(creator) + " " +
                            std::to_string(data) + " " + std::to_string(resource));
        ++compared;
    }
    EXPECT_GE(compared, 20u);
}

}  // namespace veskar
