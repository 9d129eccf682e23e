// SPDX-License-Identifier: Apache-2.0
// veskar-convert --info: what it says of each kind of Mac file, of a tree with -r, and of
// sources it cannot describe, read from real files and with nothing written.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/info.h"
#include "cli/options.h"
#include "platform/platform.h"
#include "tests/apple_encoder.h"
#include "tests/binhex_encoder.h"
#include "tests/mac_fixtures.h"

namespace veskar {

namespace {

namespace fs = std::filesystem;

struct InfoRun {
    int status = -1;
    std::string out, err;
};

// `veskar-convert --info ARGS...` in `folder`, as the command line parses it.
InfoRun Info(const std::vector<std::string>& args, const std::string& folder) {
    const CurrentFolderGuard guard;
    EXPECT_TRUE(platform::SetCurrentFolder(folder));
    std::vector<std::string_view> arguments{"--info"};
    arguments.insert(arguments.end(), args.begin(), args.end());
    const cli::Parsed parsed = cli::ParseArguments(arguments);
    EXPECT_EQ(parsed.error, "");
    std::ostringstream out, err;
    InfoRun run;
    run.status = cli::ShowInfo(parsed.options, out, err);
    run.out = out.str();
    run.err = err.str();
    EXPECT_EQ(platform::CurrentFolder(), folder) << "the current folder moved";
    return run;
}

// Every file below `folder`, with its size and time: what a run that writes nothing leaves.
std::string Listing(const std::string& folder) {
    std::string listing;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        listing += entry.path().string() + " " +
                   std::to_string(entry.is_regular_file() ? entry.file_size() : 0) + " " +
                   std::to_string(entry.last_write_time().time_since_epoch().count()) + "\n";
    return listing;
}

// 2001-03-04 05:06:07 and 2002-04-05 06:07:08 UTC, in seconds since 1904.
constexpr std::uint32_t kCreated = 3066527167u, kModified = 3100831628u;

MacFile IconTool() {
    MacFile file;
    file.name = "Icon Tool";
    file.type = "APPL";
    file.creator = "ICTL";
    file.finderFlags = 0x2400;
    file.data = PatternBytes(34, 1);
    file.resource = PatternBytes(621, 2);
    file.created = kCreated;
    file.modified = kModified;
    file.comment = "Drag an icon \xD2here\xD3";  // Mac Roman quotes
    return file;
}

MacOsCompanion Companion(const std::string& typeCreator, Bytes resource,
                         std::vector<std::pair<std::string, Bytes>> attributes) {
    MacOsCompanion companion;
    companion.typeCreator = typeCreator;
    companion.resource = std::move(resource);
    companion.attributes = std::move(attributes);
    return companion;
}

}  // namespace

TEST(Info, FinderFlagsByName) {
    const std::pair<std::uint16_t, std::vector<std::string>> cases[] = {
        {0x0000, {}},
        {0x2400, {"bundle", "custom icon"}},
        {0x0100, {"inited"}},
        {0x000C, {"color 6"}},
        {0xC001, {"alias", "invisible", "on desk"}},
        {0x1840, {"name locked", "stationery", "shared"}},
        {0x0280, {"no INITs", "0x0200"}},
    };
    for (const auto& [flags, names] : cases)
        EXPECT_EQ(cli::FinderFlagNames(flags), names) << flags;
}

// One source of each kind, described block for block.
TEST(Info, EachKindOfSourceIsDescribed) {
    using namespace apple_fixtures;
    MacFile plainOld = IconTool();
    plainOld.comment.clear();  // MacBinary I: no comment, no header check value
    MacFile text;
    text.name = "R\x8Esum\x8E";  // "Résumé" in Mac Roman
    text.data = BytesOf("Hello");
    struct Case {
        const char* label;
        std::vector<std::pair<std::string, Bytes>> files;
        std::string source;
        std::string block;
    };
    const Case cases[] = {
        {"MacBinary II",
         {{"Icon Tool.bin", EncodeMacBinary(IconTool())}},
         "Icon Tool.bin",
         "Icon Tool.bin\n"
         "  format:        MacBinary II\n"
         "  name:          Icon Tool\n"
         "  type:          APPL   creator: ICTL\n"
         "  flags:         bundle, custom icon (0x2400)\n"
         "  created:       2001-03-04 05:06:07 UTC\n"
         "  modified:      2002-04-05 06:07:08 UTC\n"
         "  data fork:     34 bytes\n"
         "  resource fork: 621 bytes\n"
         "  comment:       \"Drag an icon \xE2\x80\x9Chere\xE2\x80\x9D\"\n"},
        {"MacBinary I",
         {{"old.bin", EncodeMacBinary(plainOld)}},
         "old.bin",
         "old.bin\n"
         "  format:        MacBinary I\n"
         "  name:          Icon Tool\n"
         "  type:          APPL   creator: ICTL\n"
         "  flags:         bundle, custom icon (0x2400)\n"
         "  created:       2001-03-04 05:06:07 UTC\n"
         "  modified:      2002-04-05 06:07:08 UTC\n"
         "  data fork:     34 bytes\n"
         "  resource fork: 621 bytes\n"},
        {"MacBinary II whose resource fork the file cuts short",
         {{"cut.bin",
           [] {
               Bytes bytes = EncodeMacBinary(IconTool());
               bytes.resize(128 + 128 + 600);
               return bytes;
           }()}},
         "cut.bin",
         "cut.bin\n"
         "  format:        MacBinary II\n"
         "  name:          Icon Tool\n"
         "  type:          APPL   creator: ICTL\n"
         "  flags:         bundle, custom icon (0x2400)\n"
         "  created:       2001-03-04 05:06:07 UTC\n"
         "  modified:      2002-04-05 06:07:08 UTC\n"
         "  data fork:     34 bytes\n"
         "  resource fork: 600 bytes\n"
         "  truncated:     the resource fork lacks 21 of its 621 bytes; the comment lacks all "
         "of its 19 bytes\n"},
        {"AppleSingle",
         {{"r.as", EncodeAppleSingle({{kRealName, BytesOf(text.name)},
                                      {kFinderInfo, FinderInfo("TEXTttxt")},
                                      {kDataFork, text.data}})}},
         "r.as",
         "r.as\n"
         "  format:        AppleSingle\n"
         "  name:          R\xC3\xA9sum\xC3\xA9\n"
         "  type:          TEXT   creator: ttxt\n"
         "  flags:         none (0x0000)\n"
         "  data fork:     5 bytes\n"},
        {"AppleDouble as macOS writes it",
         {{"notes", BytesOf("some notes")},
          {"._notes",
           EncodeMacOsCompanion(Companion("TEXTR*ch", PatternBytes(300, 5),
                                          {{"com.apple.quarantine", BytesOf("0081;")}}))}},
         "notes",
         "notes\n"
         "  format:        AppleDouble\n"
         "  type:          TEXT   creator: R*ch\n"
         "  flags:         none (0x0000)\n"
         "  data fork:     10 bytes\n"
         "  resource fork: 300 bytes\n"
         "  attributes:    com.apple.quarantine\n"},
        {"BinHex, no type",
         {{"r.hqx", BytesOf(EncodeBinHex([&] {
               MacFile untyped = text;
               untyped.type = untyped.creator = std::string(4, '\0');
               return untyped;
           }()))}},
         "r.hqx",
         "r.hqx\n"
         "  format:        BinHex 4.0\n"
         "  name:          R\xC3\xA9sum\xC3\xA9\n"
         "  type:          no type\n"
         "  flags:         none (0x0000)\n"
         "  data fork:     5 bytes\n"},
    };
    for (const Case& c : cases) {
        TempDir folder;
        for (const auto& [name, bytes] : c.files)
            ASSERT_TRUE(WriteFile(folder.File(name), bytes));
        const std::string before = Listing(folder.Path());
        const InfoRun run = Info({c.source}, folder.Path());
        EXPECT_EQ(run.status, 0) << c.label << ": " << run.err;
        // Printed in the system's own text, as the names of files are.
        EXPECT_EQ(run.out, platform::Utf8ToNative(c.block)) << c.label;
        EXPECT_EQ(run.err, "") << c.label;
        EXPECT_EQ(Listing(folder.Path()), before) << c.label << ": something was written";
    }
}

// A tree: its Mac files described, a companion with its data file, the folder's own
// information, a plain file in a line of its own; no failure among them.
TEST(Info, TreeWithRecursive) {
    using namespace apple_fixtures;
    TempDir folder;
    const std::string tree = folder.File("tree");
    fs::create_directories(tree + "/Sub");
    ASSERT_TRUE(WriteFile(tree + "/a.bin", EncodeMacBinary(IconTool())));
    ASSERT_TRUE(WriteFile(tree + "/doc", BytesOf("data")));
    ASSERT_TRUE(WriteFile(tree + "/._doc", EncodeMacOsCompanion(Companion("TEXTttxt", {}, {}))));
    ASSERT_TRUE(WriteFile(tree + "/notes.txt", BytesOf("plain text")));
    Bytes folderInfo = FinderInfo("");
    folderInfo[8] = 0x40;  // invisible
    ASSERT_TRUE(WriteFile(tree + "/._Sub", EncodeAppleDouble({{kFinderInfo, folderInfo}})));

    const InfoRun run = Info({"-r", "tree"}, folder.Path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, platform::Utf8ToNative(
                           "tree/._Sub\n"
                           "  format:        AppleDouble (folder)\n"
                           "  flags:         invisible (0x4000)\n"
                           "\n"
                           "tree/a.bin\n"
                           "  format:        MacBinary II\n"
                           "  name:          Icon Tool\n"
                           "  type:          APPL   creator: ICTL\n"
                           "  flags:         bundle, custom icon (0x2400)\n"
                           "  created:       2001-03-04 05:06:07 UTC\n"
                           "  modified:      2002-04-05 06:07:08 UTC\n"
                           "  data fork:     34 bytes\n"
                           "  resource fork: 621 bytes\n"
                           "  comment:       \"Drag an icon \xE2\x80\x9Chere\xE2\x80\x9D\"\n"
                           "\n"
                           "tree/doc\n"
                           "  format:        AppleDouble\n"
                           "  type:          TEXT   creator: ttxt\n"
                           "  flags:         none (0x0000)\n"
                           "  data fork:     4 bytes\n"
                           "\n"
                           "tree/notes.txt: not a Mac file\n"));
}

// What cannot be described is said on the error stream, in the conversions' words, and
// makes the status 1; the others are described all the same.
TEST(Info, SourcesThatCannotBeDescribed) {
    TempDir folder;
    ASSERT_TRUE(WriteFile(folder.File("notes.txt"), BytesOf("plain text")));
    ASSERT_TRUE(WriteFile(folder.File("a.bin"), EncodeMacBinary(IconTool())));
    ASSERT_TRUE(
        WriteFile(folder.File("._alone"), EncodeMacOsCompanion(Companion("TEXTttxt", {}, {}))));
    fs::create_directory(folder.File("sub"));
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const Case cases[] = {
        {{"notes.txt"},
         "veskar-convert: notes.txt: not a Mac file: not MacBinary, AppleSingle, AppleDouble or "
         "BinHex\n"},
        {{"missing.bin"},
         "veskar-convert: missing.bin: cannot be opened: No such file or "
         "directory\n"},
        {{"-f", "macbinary", "notes.txt"},
         "veskar-convert: notes.txt: not a Mac file: not a MacBinary file\n"},
        {{"._alone"},
         "veskar-convert: ._alone: not a Mac file: this is the companion of alone: "
         "give alone\n"},
        {{"sub"},
         "veskar-convert: sub: cannot be opened: it is a folder (give -r to convert the "
         "files below it)\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.push_back("a.bin");  // described whatever the other source is
        const InfoRun run = Info(args, folder.Path());
        EXPECT_EQ(run.status, 1) << c.err;
        EXPECT_EQ(run.err, c.err);
        EXPECT_TRUE(run.out.starts_with("a.bin\n  format:        MacBinary")) << run.out;
    }
}

}  // namespace veskar
