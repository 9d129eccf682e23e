// SPDX-License-Identifier: Apache-2.0
// The layouts of Linux file servers: their records byte for byte, the names as a Mac client
// stores them, and the command line writing each layout into a real folder.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "core/finder_info.h"
#include "core/write/server_name.h"
#include "core/write/server_records.h"
#include "tests/apple_encoder.h"
#include "tests/binhex_encoder.h"
#include "tests/mac_fixtures.h"
#include "tests/run_program.h"
#include "tests/work_folder.h"

namespace veskar {

namespace {

FinderInformation Info(const Bytes& bytes) {
    FinderInformation info{};
    std::copy(bytes.begin(), bytes.end(), info.begin());
    return info;
}

// An attribute's value; nullopt when the file has none of that name.
std::optional<Bytes> Attribute(const std::string& path, const std::string& name) {
    std::vector<std::uint8_t> value(70000);
    const ssize_t size = ::getxattr(path.c_str(), name.c_str(), value.data(), value.size());
    if (size < 0) return std::nullopt;
    value.resize(static_cast<std::size_t>(size));
    return value;
}

std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

Bytes Slice(const Bytes& bytes, std::size_t at, std::size_t count) {
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                 bytes.begin() + static_cast<std::ptrdiff_t>(at + count));
}

Bytes Joined(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

ProgramRun Convert(const std::vector<std::string>& args) {
    return RunProgram(VESKAR_CONVERT_PATH, args, "");
}

// Finder information with everything of the source's desktop set: on desk, inited, a
// place, a window, a put-away folder; beside them the bundle and custom-icon flags and
// extended flags, which must survive.
const Bytes kDesktopInfo = {'A', 'P', 'P', 'L',  'V', 'S', 'K',  'R',  0x25, 0x01, 0,
                            9,   0,   7,   0,    3,   0,   0,    0,    0,    0,    0,
                            0,   0,   0,   0x80, 0,   0,   0x12, 0x34, 0x56, 0x78};
const Bytes kFitInfo = {'A', 'P', 'P', 'L', 'V', 'S', 'K', 'R', 0x24, 0x00, 0, 0, 0, 0, 0, 0,
                        0,   0,   0,   0,   0,   0,   0,   0,   0,    0x80, 0, 0, 0, 0, 0, 0};

}  // namespace

TEST(ServerRecords, AppleDoubleAndNetatalkRecordsAsServersReadThem) {
    const AppleDoubleHeader header = MakeAppleDoubleHeader(Info(kFitInfo), 0x1234);
    const Bytes expected = {
        0x00, 0x05, 0x16, 0x07, 0x00, 0x02, 0x00, 0x00, 'M', 'a', 'c',  ' ', 'O',
        'S',  ' ',  'X',  ' ',  ' ',  ' ',  ' ',  ' ',  ' ', ' ', ' ',  0,   2,
        0,    0,    0,    9,    0,    0,    0,    0x32, 0,   0,   0,    32,  // Finder information
        0,    0,    0,    2,    0,    0,    0,    0x52, 0,   0,   0x12, 0x34};  // resource fork
    EXPECT_EQ(Slice(Bytes(header.begin(), header.end()), 0, expected.size()), expected);
    EXPECT_EQ(Slice(Bytes(header.begin(), header.end()), 0x32, 32), kFitInfo);

    const NetatalkMetadata record = MakeNetatalkMetadata(Info(kFitInfo), 946684800 + 100);
    const Bytes bytes(record.begin(), record.end());
    EXPECT_EQ(Slice(bytes, 0, 8), Slice(expected, 0, 8));
    EXPECT_EQ(bytes[25], 8);
    // id, offset, length of each descriptor, in ascending id order.
    const std::uint32_t table[8][3] = {
        {4, 154, 0},          {8, 354, 16},         {9, 122, 32},         {14, 370, 4},
        {0x80444556, 374, 0}, {0x80494E4F, 382, 0}, {0x8053594E, 390, 0}, {0x8053567E, 398, 0}};
    for (std::size_t i = 0; i < 8; ++i)
        for (std::size_t field = 0; field < 3; ++field) {
            const std::size_t at = 26 + 12 * i + 4 * field;
            const std::uint32_t value = std::uint32_t{bytes[at]} << 24 | bytes[at + 1] << 16 |
                                        bytes[at + 2] << 8 | bytes[at + 3];
            EXPECT_EQ(value, table[i][field]) << i << "/" << field;
        }
    EXPECT_EQ(Slice(bytes, 122, 32), kFitInfo);
    // Created, modified, accessed 100 s after 2000; never backed up.
    EXPECT_EQ(Slice(bytes, 354, 16),
              (Bytes{0, 0, 0, 100, 0, 0, 0, 100, 0x80, 0, 0, 0, 0, 0, 0, 100}));
}

TEST(ServerRecords, FinderInfoLosesOnlyTheSourceDesktop) {
    const FinderInformation fit = FinderInfoForAnotherMachine(Info(kDesktopInfo));
    EXPECT_EQ(Bytes(fit.begin(), fit.end()), kFitInfo);
    EXPECT_EQ(FinderFlags(fit), 0x2400);
}

TEST(ServerName, MacRomanInUtf8WithWhatWindowsRefusesInThePrivateRange) {
    const struct {
        std::string mac;
        std::string stored;
    } cases[] = {
        {"R\x8Esum\x8E", "R\xC3\xA9sum\xC3\xA9"},  // é
        {"?.rsrc", "\xEF\x80\xA5.rsrc"},           // U+F025
        {"a/b:c",
         "a\xEF\x80\xA2"
         "b\xEF\x80\xA2"
         "c"},  // both U+F022
        {"x\x0Dy|*", "x\xEF\x80\x8Dy\xEF\x80\xA7\xEF\x80\xA1"},
        {"Price \xDB 5", "Price \xE2\x82\xAC 5"},  // the euro sign
        {".", "_"},
        {"Name\0junk", "Name"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ServerName(c.mac, "/src/own.bin"), c.stored) << c.mac;
    EXPECT_EQ(ServerName("", "/src/own:name.bin"), "own\xEF\x80\xA2name.bin");

    // A long name fits with its "._" file, cut between characters, its extension kept.
    const std::string longName = ServerName(std::string(200, '\x8E') + ".txt", "");
    EXPECT_LE(longName.size(), kMaxServerNameBytes);
    EXPECT_TRUE(longName.ends_with("\xC3\xA9.txt")) << longName;
}

TEST(ServerLayouts, EachFormatGivesItsForksFinderInfoAndName) {
    TempDir src, target;
    // MacBinary II with the flags' low byte at 101.
    MacFile mac;
    mac.name = "R\x8Esum\x8E";
    mac.type = "APPL";
    mac.creator = "VSKR";
    mac.data = PatternBytes(300, 1);
    mac.resource = PatternBytes(1000, 2);
    Bytes macBinary = EncodeMacBinary(mac);
    macBinary[73] = 0x25;
    macBinary[74] = 0;
    macBinary[101] = 0x01;
    macBinary[122] = 129;
    for (std::size_t i = 0; i < 6; ++i)
        macBinary[75 + i] = 7;  // a place and a window
    ASSERT_TRUE(WriteFile(src.File("mac.bin"), macBinary));
    // AppleSingle with the whole 32 bytes, put-away folder and extended flags among them.
    ASSERT_TRUE(WriteFile(src.File("single.as"), EncodeAppleSingle({{3, BytesOf("Single")},
                                                                    {9, kDesktopInfo},
                                                                    {1, PatternBytes(10, 3)},
                                                                    {2, PatternBytes(20, 4)}})));
    // BinHex carries both flag bytes; here on desk and inited too.
    MacFile hex = mac;
    hex.name = "Hex?";
    hex.finderFlags = 0x0541;
    hex.resource = {};
    ASSERT_TRUE(WriteFile(src.File("hex.hqx"), BytesOf(EncodeBinHex(hex))));

    const std::string e = "R\xC3\xA9sum\xC3\xA9";
    const std::string q = "Hex\xEF\x80\xA5";
    for (const std::string layout : {"fruit", "appledouble", "streams-xattr"}) {
        SCOPED_TRACE(layout);
        const std::string out = target.File(layout);
        std::filesystem::create_directory(out);
        const ProgramRun run = Convert({"-q", "--layout", layout, out, src.File("mac.bin"),
                                        src.File("single.as"), src.File("hex.hqx")});
        ASSERT_EQ(run.status, 0) << run.err;
        const auto path = [&](const std::string& name) { return out + "/" + name; };
        EXPECT_EQ(ReadFile(path(e)), mac.data);
        EXPECT_EQ(ReadFile(path("Single")), PatternBytes(10, 3));
        EXPECT_EQ(ReadFile(path(q)), hex.data);
        const struct {
            std::string name;
            Bytes resource;
            Bytes info;
        } outputs[] = {
            {e, mac.resource, Joined(Slice(kFitInfo, 0, 8), {0x24, 0})},
            {"Single", PatternBytes(20, 4), kFitInfo},
            {q, {}, Joined(Slice(kFitInfo, 0, 8), {0x04, 0x40})},
        };
        for (const auto& o : outputs) {
            SCOPED_TRACE(o.name);
            Bytes info = o.info;
            info.resize(32);
            const auto metadata = Attribute(path(o.name), "user.org.netatalk.Metadata");
            const auto afpInfo = Attribute(path(o.name), "user.DosStream.AFP_AfpInfo:$DATA");
            const auto resource = Attribute(path(o.name), "user.DosStream.AFP_Resource:$DATA");
            if (layout == "streams-xattr") {
                EXPECT_FALSE(std::filesystem::exists(path("._" + o.name)));
                ASSERT_TRUE(afpInfo && afpInfo->size() == 61);
                EXPECT_EQ(Slice(*afpInfo, 0, 16),
                          (Bytes{'A', 'F', 'P', 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0x80}));
                EXPECT_EQ(Slice(*afpInfo, 16, 32), info);
                EXPECT_EQ(afpInfo->back(), 0);
                if (o.resource.empty()) {
                    EXPECT_FALSE(resource);
                } else {
                    ASSERT_TRUE(resource);
                    EXPECT_EQ(*resource, Joined(o.resource, {0}));
                }
                continue;
            }
            const Bytes appleDouble = ReadFile(path("._" + o.name));
            ASSERT_EQ(appleDouble.size(), 0x52 + o.resource.size());
            EXPECT_EQ(Slice(appleDouble, 0x32, 32), info);
            EXPECT_EQ(Slice(appleDouble, 0x52, o.resource.size()), o.resource);
            EXPECT_FALSE(afpInfo || resource);
            EXPECT_EQ(metadata.has_value(), layout == "fruit");
            if (metadata) {
                EXPECT_EQ(Slice(*metadata, 122, 32), info);
            }
        }
    }
}

// A small source is copied from the bytes its probe read; a fork reaching past them, or past
// the end of the source, is read from the file as before.
TEST(ServerLayouts, ForksWithinAndPastTheFirstReadAndASourceEndingEarly) {
    TempDir src, target;
    const auto make = [&](const std::string& name, std::size_t data, std::size_t resource) {
        MacFile file;
        file.name = name;
        file.data = PatternBytes(data, 5);
        file.resource = PatternBytes(resource, 6);
        return file;
    };
    const MacFile files[] = {make("Small", 1000, 500), make("Across", 64000, 3000),
                             make("Large", 70000, 200)};
    for (const MacFile& file : files)
        ASSERT_TRUE(WriteFile(src.File(file.name + ".bin"), EncodeMacBinary(file)));
    Bytes cut = EncodeMacBinary(files[0]);
    cut.resize(cut.size() - 12 - 100);  // the padding and 100 bytes of the resource fork
    ASSERT_TRUE(WriteFile(src.File("zcut.bin"), cut));  // converted last

    const ProgramRun run = Convert({"-q", "-r", "--layout", "fruit", target.Path(), src.Path()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("the resource fork lacks 100 of its 500 bytes (written as Small.001)"),
              std::string::npos)
        << run.err;
    for (const MacFile& file : files) {
        SCOPED_TRACE(file.name);
        EXPECT_EQ(ReadFile(target.File(file.name)), file.data);
        const Bytes appleDouble = ReadFile(target.File("._" + file.name));
        ASSERT_EQ(appleDouble.size(), 0x52 + file.resource.size());
        EXPECT_EQ(Slice(appleDouble, 0x52, file.resource.size()), file.resource);
    }
    const Bytes held = ReadFile(target.File("._Small.001"));
    ASSERT_EQ(held.size(), 0x52 + 400u);
    EXPECT_EQ(Slice(held, 0x52, 400), Slice(files[0].resource, 0, 400));
    EXPECT_EQ(ReadFile(target.File("Small.001")), files[0].data);
}

TEST(ServerLayouts, TakenNamesAndFailuresLeaveEveryFileAsItWas) {
    TempDir src, target;
    MacFile file;
    file.name = "Report";
    file.data = PatternBytes(50, 1);
    file.resource = PatternBytes(70000, 2);  // more than any attribute holds
    ASSERT_TRUE(WriteFile(src.File("big.bin"), EncodeMacBinary(file)));
    file.resource = PatternBytes(5000, 2);  // more than ext4 holds beside the other attributes
    ASSERT_TRUE(WriteFile(src.File("mid.bin"), EncodeMacBinary(file)));

    // The name and the "._" file's, in other letters, are both taken.
    ASSERT_TRUE(WriteFile(target.File("REPORT"), BytesOf("mine")));
    ASSERT_TRUE(WriteFile(target.File("._report.001"), BytesOf("mine too")));
    ProgramRun run = Convert({"-q", "--layout", "fruit", target.Path(), src.File("mid.bin")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Names(target.Path()),
              (std::set<std::string>{"REPORT", "._report.001", "Report.002", "._Report.002"}));
    EXPECT_EQ(ReadFile(target.File("REPORT")), BytesOf("mine"));

    const std::set<std::string> before = Names(target.Path());
    run = Convert({"--layout", "streams-xattr", target.Path(), src.File("big.bin")});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("larger than an extended attribute can be"), std::string::npos)
        << run.err;
    struct statfs volume;
    ASSERT_EQ(::statfs(target.Path().c_str(), &volume), 0);
    if (volume.f_type == 0xEF53) {  // ext4: all of a file's attributes in one block
        run = Convert({"--layout", "streams-xattr", target.Path(), src.File("mid.bin")});
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find("does not fit in an extended attribute of this file system"),
                  std::string::npos)
            << run.err;
    }
    EXPECT_EQ(Names(target.Path()), before);

    // --strict writes the window's NTFS output only.
    run = Convert({"--strict", "--layout", "fruit", target.Path(), src.File("mid.bin")});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(Names(target.Path()), before);
}

// Killed while it writes a large data fork: neither the data file nor anything else stays,
// not even the work folder it was written in.
TEST(ServerLayouts, InterruptedOutputLeavesNothing) {
    TempDir src, target;
    MacFile file;
    file.data = PatternBytes(std::size_t{160} << 20, 1);
    file.resource = PatternBytes(100, 2);
    ASSERT_TRUE(WriteFile(src.File("big.bin"), EncodeMacBinary(file)));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGTERM, SIG_DFL);
        ::execl(VESKAR_CONVERT_PATH, VESKAR_CONVERT_PATH, "-q", "--layout", "fruit",
                target.Path().c_str(), src.File("big.bin").c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!OutputUnderWay(target.Path()) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    ::kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "finished before the signal came";
    EXPECT_EQ(Names(target.Path()), std::set<std::string>{});
}

// A BinHex text is written as it is decoded: with --verify, a fork whose check value turns
// out wrong at its end takes back every file of that output, in each layout.
TEST(ServerLayouts, BinHexForkFoundWrongAtItsEndLeavesNothingWithVerify) {
    TempDir src;
    MacFile file;
    file.name = "Checked";
    file.data = PatternBytes(700000, 7);  // decoded on a second thread
    file.resource = PatternBytes(900, 8);
    BinHexStyle dataWrong, resourceWrong;
    dataWrong.wrongDataCheck = true;
    resourceWrong.wrongResourceCheck = true;
    ASSERT_TRUE(WriteFile(src.File("data.hqx"), BytesOf(EncodeBinHex(file, dataWrong))));
    ASSERT_TRUE(WriteFile(src.File("resource.hqx"), BytesOf(EncodeBinHex(file, resourceWrong))));
    for (const char* layout : {"fruit", "appledouble", "streams-xattr"}) {
        SCOPED_TRACE(layout);
        TempDir target;
        const std::string data = src.File("data.hqx");
        const std::string resource = src.File("resource.hqx");
        ProgramRun run =
            Convert({"--verify", "--json", "--layout", layout, target.Path(), data, resource});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "{\"source\": \"" + data +
                               "\", \"result\": \"check-failed\", \"code\": -4, \"detail\": "
                               "\"the check value of the data fork is wrong\"}\n"
                               "{\"source\": \"" +
                               resource +
                               "\", \"result\": \"check-failed\", \"code\": -4, \"detail\": "
                               "\"the check value of the resource fork is wrong\"}\n");
        EXPECT_TRUE(Names(target.Path()).empty());
        // Without --verify the forks are written as the text has them.
        run = Convert({"-q", "--layout", layout, target.Path(), resource});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(ReadFile(target.File("Checked")), file.data);
    }
}

}  // namespace veskar
