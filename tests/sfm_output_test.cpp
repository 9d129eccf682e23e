// SPDX-License-Identifier: Apache-2.0
// The output sequence and its helpers: the AfpInfo record, unique names, the name table and
// the fork copy.
#include "core/write/sfm_output.h"
#include "core/write/safe_name.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "core/common/byte_order.h"
#include "core/common/charsets.h"
#include "core/common/copy_fork.h"
#include "core/write/unique_name.h"
#include "platform/platform.h"
#include "tests/mac_fixtures.h"
#include "tests/ntfs_volume.h"

namespace veskar {

namespace {

TypeCreator TC(const char (&text)[9]) {
    TypeCreator tc;
    std::copy_n(text, 8, tc.begin());
    return tc;
}

TEST(AfpInfo, RecordLayout) {
    const AfpInfo record = MakeAfpInfo(TC("TEXTttxt"));
    const Bytes head = {0x41, 0x46, 0x50, 0x00, 0x00, 0x00, 0x01, 0x00,
                        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80};
    EXPECT_EQ(Bytes(record.begin(), record.begin() + 16), head);
    EXPECT_EQ(Bytes(record.begin() + 16, record.begin() + 24), BytesOf("TEXTttxt"));
    EXPECT_EQ(Bytes(record.begin() + 24, record.end()), Bytes(36, 0));
}

TEST(AfpInfo, TypeAndCreatorStopAtTheFirstZeroByte) {
    struct Row {
        TypeCreator in;
        Bytes out;
    };
    const Row rows[] = {
        {TC("TEXTttxt"), BytesOf("TEXTttxt")},
        {{0, 0, 0, 0, 't', 't', 'x', 't'}, Bytes(8, 0)},
        {{'T', 'E', 0, 'T', 't', 't', 'x', 't'}, {'T', 'E', 0, 0, 0, 0, 0, 0}},
        {{'A', 'P', 'P', 'L', 0, 'x', 'y', 'z'}, {'A', 'P', 'P', 'L', 0, 0, 0, 0}},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const AfpInfo record = MakeAfpInfo(rows[i].in);
        EXPECT_EQ(Bytes(record.begin() + 16, record.begin() + 24), rows[i].out) << "row " << i;
    }
}

TEST(ByteOrder, SwapsTurnFieldsAround) {
    EXPECT_EQ(Swap16(0x1234), 0x3412);
    EXPECT_EQ(Swap32(0x00051607u), 0x07160500u);
    const std::uint8_t field[] = {0x00, 0x05, 0x16, 0x07};
    EXPECT_EQ(BigEndian32(field), 0x00051607u);
}

TEST(ReplaceExtension, CutsShortExtensionsAndAppendsToLongOnes) {
    struct Row {
        const char* name;
        const char* text;
        const char* result;
    };
    const Row rows[] = {
        {"Report.doc", "001", "Report.001"},
        {"Report", "001", "Report.001"},
        {"Photo.jpeg2", "001", "Photo.jpeg2.001"},
        {"a.jpeg", "001", "a.001"},
        {"x.hqx", "BQX", "x.bqx"},
        {"report.binhex", "BQX", "report.binhex.bqx"},
        {"Archive.tar.gz", "001", "Archive.tar.001"},
        {"dir.d/file", "BIX", "dir.d/file.bix"},
    };
    for (const Row& row : rows) {
        std::string name = row.name;
        ReplaceExtension(name, row.text);
        EXPECT_EQ(name, row.result) << row.name << " + " << row.text;
    }
}

TEST(UniqueCode, CountsInBase32) {
    EXPECT_EQ(UniqueCode(1), "001");
    EXPECT_EQ(UniqueCode(31), "00v");
    EXPECT_EQ(UniqueCode(32), "010");
    EXPECT_EQ(UniqueCode(1025), "101");
    EXPECT_EQ(UniqueCode(32767), "vvv");
    EXPECT_EQ(UniqueCode(32768), "000");
}

TEST(NameExtension, IsTheTailFromTheLastDot) {
    EXPECT_EQ(NameExtension("Report.doc"), ".doc");
    EXPECT_EQ(NameExtension("Read Me"), "");
    EXPECT_EQ(NameExtension("Archive.tar.gz"), ".gz");
    EXPECT_EQ(NameExtension("Photo.jpeg2"), ".jpeg2");
}

TEST(FileNameExists, WildcardsNeverExistAndFoldersTakeTheName) {
    TempDir dir;
    CurrentFolderGuard guard;
    ASSERT_TRUE(platform::SetCurrentFolder(dir.Path()));
    WriteFile(dir.File("Report"), BytesOf("x"));
    std::filesystem::create_directory(dir.File("Folder"));
    EXPECT_TRUE(FileNameExists("Report"));
    EXPECT_TRUE(FileNameExists("REPORT"));  // as on NTFS, letter case does not count
    EXPECT_TRUE(FileNameExists("folder"));
    EXPECT_FALSE(FileNameExists("Rep*"));
    EXPECT_FALSE(FileNameExists("Repor?"));
    EXPECT_FALSE(FileNameExists("Other"));
}

// The command line's names: numbers in decimal, counted for each name, before a real
// extension only; one from an earlier try counts on.
TEST(MakeReadableUniqueName, NumbersEachNameFromOneBeforeARealExtension) {
    static std::set<std::string> taken;
    taken = {"Report.001.doc", "Report.002.doc", "Exercise 4.6 App.001"};
    const UniqueNameRules rules{
        40, [](std::string_view name) { return taken.contains(std::string(name)); }, true};
    const std::pair<const char*, const char*> rows[] = {
        {"Report.doc", "Report.003.doc"},
        {"Exercise 4.6 App", "Exercise 4.6 App.002"},
        {"Archive.tar.gz", "Archive.tar.001.gz"},
        {"notes.", "notes..001"},
        {"Report.001.doc", "Report.003.doc"},  // an earlier try's number counts on
        {"A name long enough to be cut somewhere.txt", "A name long enough to be cut som.001.txt"}};
    for (const auto& [given, made] : rows) {
        std::string name = given;
        ASSERT_TRUE(MakeReadableUniqueName(name, rules)) << given;
        EXPECT_EQ(name, made) << given;
    }
}

TEST(MakeUniqueName, TakesTheNextCodeOfTheProcessWideCounter) {
    TempDir dir;
    CurrentFolderGuard guard;
    ASSERT_TRUE(platform::SetCurrentFolder(dir.Path()));
    struct Row {
        const char* name;
        const char* stem;
        const char* ext;
    };
    const Row rows[] = {{"Report.doc", "Report.", ".doc"},
                        {"Read Me", "Read Me.", ""},
                        {"Archive.sitx", "Archive.", ".sitx"},
                        {"Archive.tar.gz", "Archive.tar.", ".gz"},
                        {"Photo.jpeg2", "Photo.jpeg2.", ".jpeg2"}};
    for (const Row& row : rows) {
        std::string name = row.name;
        const std::int32_t next = UniqueNameCounter() + 1;
        ASSERT_TRUE(MakeUniqueName(name, NameExtension(row.name), kMaxOutputNameChars));
        EXPECT_EQ(name, std::string(row.stem) + UniqueCode(next) + row.ext) << row.name;
    }
    // Codes already taken are skipped one by one.
    const std::int32_t next = UniqueNameCounter() + 1;
    WriteFile(dir.File("Report." + UniqueCode(next) + ".doc"), {});
    WriteFile(dir.File("REPORT." + UniqueCode(next + 1) + ".DOC"), {});
    std::string name = "Report.doc";
    ASSERT_TRUE(MakeUniqueName(name, ".doc", kMaxOutputNameChars));
    EXPECT_EQ(name, "Report." + UniqueCode(next + 2) + ".doc");
}

TEST(MakeUniqueName, LongNamesStayWithinTheLimit) {
    TempDir dir;
    CurrentFolderGuard guard;
    ASSERT_TRUE(platform::SetCurrentFolder(dir.Path()));
    std::string name = std::string(kMaxOutputNameChars - 4, 'n') + ".txt";
    ASSERT_TRUE(MakeUniqueName(name, ".txt", kMaxOutputNameChars));
    EXPECT_EQ(name.size(), kMaxOutputNameChars);
    EXPECT_EQ(name.substr(name.size() - 8), "." + UniqueCode(UniqueNameCounter()) + ".txt");
}

TEST(MacToAnsiName, TranslatesTheHighHalf) {
    EXPECT_EQ(charsets::MacRomanToCp1252("caf\x8E"), "caf\xE9");
    EXPECT_EQ(charsets::MacRomanToCp1252("\xA5\xA0\x7F"), "\xB7_ ");
    EXPECT_EQ(charsets::MacRomanToCp1252("\xF7\xFD"), "\"\"");
    EXPECT_EQ(charsets::MacRomanToCp1252("a/b:c*?<>|\\"),
              "a/b:c*?<>|\\");  // no other replacement here
    EXPECT_EQ(charsets::kMacRomanTo1252[0xD0], 0x2D);
    EXPECT_EQ(charsets::kMacRomanTo1252[0xDB], 0x80);
    EXPECT_EQ(charsets::kMacRomanTo1252[0xC4], 0x83);
    EXPECT_EQ(charsets::kMacRomanTo1252[0xF5], 0x69);
    for (int c = 0; c < 0x7F; ++c)
        EXPECT_EQ(charsets::kMacRomanTo1252[c], c);
}

TEST(MakeSafeName, KeepsNamesInsideTheTargetFolderAndOpenableOnWindows) {
    const std::pair<const char*, const char*> rows[] = {
        {"a/b", "a_b"},
        {"..\\x", ".._x"},
        {"f:AFP_Resource", "f_AFP_Resource"},
        {"", "_"},
        {".", "_"},
        {"..", "_"},
        {"...", ".._"},
        {"Read Me", "Read Me"},
        {"GIFCnv 2.2.9->2.2.10.cpt", "GIFCnv 2.2.9-_2.2.10.cpt"},
        {"a<b>c\"d|e?f*g", "a_b_c_d_e_f_g"},
        {"tab\there\x01", "tab_here_"},
        {"Notes.", "Notes_"},
        {"Trailing ", "Trailing_"},
        {"Mac\xA5Name", "Mac\xA5Name"},  // bytes above 0x7F are names' own
        // Names Windows keeps for devices, whatever the letter case or extension.
        {"CON", "CO_"},
        {"aux.txt", "au_.txt"},
        {"nul.tar.gz", "nu_.tar.gz"},
        {"PRN. ", "PR_._"},
        {"con .doc", "co_ .doc"},
        {"Com1", "Co_1"},
        {"lpt9.log", "lp_9.log"},
        {"COM\xB9", "CO_\xB9"},
        {"CONSOLE", "CONSOLE"},
        {"COM10", "COM10"},
        {"x.con", "x.con"},
    };
    for (const auto& [in, out] : rows) {
        std::string name = in;
        MakeSafeName(name);
        EXPECT_EQ(name, out) << in;
    }
}

TEST(CopyFork, StopsAtTheCountOrAtTheSourceEnd) {
    TempDir dir;
    const Bytes source = PatternBytes(100000, 7);
    WriteFile(dir.File("src"), source);
    const std::uint32_t counts[] = {0, 1, 40960, 40961, 99999, 100000, 250000};
    for (std::uint32_t count : counts) {
        std::FILE* in = std::fopen(dir.File("src").c_str(), "rb");
        std::FILE* out = std::fopen(dir.File("dst").c_str(), "w+b");
        ASSERT_TRUE(in && out);
        // Start inside the stream buffers, so the copy must pick up the logical positions.
        std::fgetc(in);
        std::fputc('H', out);
        std::uint64_t copied = 0;
        EXPECT_EQ(CopyFork(in, out, count, &copied), CopyStatus::Done);
        const std::size_t expected = std::min<std::size_t>(count, source.size() - 1);
        EXPECT_EQ(copied, expected);
        EXPECT_EQ(std::ftell(in), static_cast<long>(1 + expected));
        std::fputc('T', out);  // the destination continues right after the copy
        std::fclose(in);
        std::fclose(out);
        Bytes want = {'H'};
        want.insert(want.end(), source.begin() + 1,
                    source.begin() + 1 + static_cast<long>(expected));
        want.push_back('T');
        EXPECT_EQ(ReadFile(dir.File("dst")), want) << count;
    }
}

TEST(WriteSfmOutput, EmptyDataForkStillGivesFileAndInfo) {
    REQUIRE_NTFS(volume);
    CurrentFolderGuard guard;
    ASSERT_TRUE(platform::SetCurrentFolder(volume->Root()));
    std::string name = "Empty";
    EXPECT_EQ(WriteSfmOutput(name, {}, {}, TC("TEXTttxt")), ImportResult::Converted);
    EXPECT_EQ(volume->ReadStream("Empty"), std::string());
    EXPECT_EQ(volume->StreamNames("Empty"), std::vector<std::string>{"AFP_AfpInfo"});
}

TEST(WriteSfmOutput, FilesAndFoldersOfTheNameInAnyCaseGetCodes) {
    REQUIRE_NTFS(volume);
    CurrentFolderGuard guard;
    ASSERT_TRUE(platform::SetCurrentFolder(volume->Root()));
    std::filesystem::create_directory(volume->Path("Folder.doc"));
    std::filesystem::create_directory(volume->Path("FOLDER"));
    // Report.doc twice, then the folders' names, then the volume's own hidden folder, which
    // ntfs-3g leaves out of listings. Under Wine its file layer stands between and says
    // nothing of how Windows treats that folder, so that part is asked of Linux only.
    std::vector<std::string> wanted = {"Report.doc", "Report.doc", "Folder.doc", "folder"};
#ifndef _WIN32
    wanted.insert(wanted.end(), {"$Extend", "$EXTEND"});
#endif
    std::vector<std::string> names;
    for (const std::string& want : wanted) {
        std::string name = want;
        const std::int32_t next = UniqueNameCounter() + 1;
        ASSERT_EQ(WriteSfmOutput(name, {}, {}, TC("WDBNMSWD")), ImportResult::Converted) << want;
        const std::string ext(NameExtension(want));
        if (!names.empty()) {
            EXPECT_EQ(name,
                      want.substr(0, want.size() - ext.size()) + "." + UniqueCode(next) + ext);
        }
        names.push_back(name);
    }
    EXPECT_TRUE(std::filesystem::is_directory(volume->Path("Folder.doc")));
    for (const std::string& name : names)
        EXPECT_EQ(volume->ReadStream(name, "AFP_AfpInfo")->size(), 60u) << name;
}

TEST(WriteSfmOutput, ExistingFileOfAnotherCaseIsNotReplaced) {
    REQUIRE_NTFS(volume);
    CurrentFolderGuard guard;
    ASSERT_TRUE(platform::SetCurrentFolder(volume->Root()));
    WriteFile(volume->Path("REPORT"), BytesOf("keep me"));
    std::string name = "Report";
    ASSERT_EQ(WriteSfmOutput(name, {}, {}, TC("TEXTttxt")), ImportResult::Converted);
    EXPECT_NE(name, "Report");
    EXPECT_EQ(volume->ReadStream("REPORT"), "keep me");
}

}  // namespace

}  // namespace veskar
