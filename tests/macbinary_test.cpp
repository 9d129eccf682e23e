// SPDX-License-Identifier: Apache-2.0
// The MacBinary import: header tests, fork placement and what lands on a real NTFS volume.
#include "core/read/macbinary.h"
#include "core/import.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/common/byte_order.h"
#include "platform/platform.h"
#include "tests/mac_fixtures.h"
#include "tests/ntfs_volume.h"

namespace veskar {

namespace {

MacBinaryHeader ToHeader(const Bytes& bytes) {
    MacBinaryHeader header{};
    std::copy_n(bytes.begin(), header.size(), header.begin());
    return header;
}

MacFile Sample() {
    MacFile file;
    file.data = PatternBytes(300, 1);
    file.resource = PatternBytes(50, 2);
    return file;
}

struct HeaderCase {
    const char* label;
    void (*edit)(Bytes&);
    std::int64_t sourceLength;
    bool passes;
};

void PrintTo(const HeaderCase& row, std::ostream* os) {
    *os << row.label;
}

void NoEdit(Bytes&) {}

const HeaderCase kHeaderCases[] = {
    {"valid", NoEdit, 1000, true},
    {"version byte not zero", [](Bytes& h) { h[0] = 1; }, 1000, false},
    {"name length zero", [](Bytes& h) { h[1] = 0; }, 1000, false},
    {"name length 64", [](Bytes& h) { h[1] = 64; }, 1000, false},
    {"zero inside the name", [](Bytes& h) { h[3] = 0; }, 1000, false},
    {"no zero after the name", [](Bytes& h) { h[2 + 6] = 'x'; }, 1000, false},
    {"name of 63 with zero type and creator",
     [](Bytes& h) {
         h[1] = 63;
         for (int i = 2; i < 65; ++i)
             h[i] = 'n';
         for (int i = 65; i < 73; ++i)
             h[i] = 0;
     },
     1000, true},
    {"name of 63 with a type",
     [](Bytes& h) {
         h[1] = 63;
         for (int i = 2; i < 65; ++i)
             h[i] = 'n';
     },
     1000, false},
    {"type and creator partly zero", [](Bytes& h) { h[67] = 0; }, 1000, false},
    {"type and creator all zero", [](Bytes& h) { std::fill(&h[65], &h[73], 0); }, 1000, true},
    {"byte 82 not zero", [](Bytes& h) { h[82] = 1; }, 1000, false},
    {"both forks empty",
     [](Bytes& h) {
         PutBigEndian32(h, 83, 0);
         PutBigEndian32(h, 87, 0);
     },
     1000, false},
    {"forks longer than the file", NoEdit, 349, false},
    {"forks exactly the file's length", NoEdit, 350, true},
    {"length unknown skips the size test", NoEdit, 0, true},
    {"later fields are not looked at",
     [](Bytes& h) {
         h[74] = 0x55;
         h[122] = 0x81;
         h[123] = 0x81;
         h[124] = 0x12;
         h[125] = 0x34;
         PutBigEndian16(h, 120, 0x40);
     },
     1000, true},
    {"data length 2^31 refused",
     [](Bytes& h) {
         PutBigEndian32(h, 83, 0x80000000u);
         PutBigEndian32(h, 87, 0x80000010u);  // the signed sum wraps to 16
     },
     1000, false},
    {"data length 2^32-1 refused", [](Bytes& h) { PutBigEndian32(h, 83, 0xFFFFFFFFu); }, 0, false},
};

class MacBinaryHeaderTest : public testing::TestWithParam<HeaderCase> {};

TEST_P(MacBinaryHeaderTest, Decides) {
    const HeaderCase& row = GetParam();
    Bytes header = MacBinaryHeaderOf(Sample());
    row.edit(header);
    EXPECT_EQ(IsMacBinaryHeader(ToHeader(header), row.sourceLength), row.passes) << row.label;
}

INSTANTIATE_TEST_SUITE_P(Rows, MacBinaryHeaderTest, testing::ValuesIn(kHeaderCases),
                         [](const auto& row) {
                             std::string name = row.param.label;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

TEST(MacBinaryResourceOffset, RoundsTheDataForkUpTo128) {
    EXPECT_EQ(MacBinaryResourceOffset(0), 128u);
    EXPECT_EQ(MacBinaryResourceOffset(1), 256u);
    EXPECT_EQ(MacBinaryResourceOffset(128), 256u);
    EXPECT_EQ(MacBinaryResourceOffset(129), 384u);
    EXPECT_EQ(MacBinaryResourceOffset(0x7FFFFFFF), 128u + 0x80000000u);
}

TEST(ImportMacBinary, SourceThatCannotBeOpenedWritesNothing) {
    TempDir target;
    CurrentFolderGuard guard;
    EXPECT_EQ(ImportMacBinary(target.Path(), target.File("missing.bin")), ImportResult::CannotOpen);
    EXPECT_TRUE(std::filesystem::is_empty(target.Path()));
}

TEST(ImportMacBinary, WrongKindWritesNothing) {
    REQUIRE_NTFS(volume);
    CurrentFolderGuard guard;
    TempDir sources;
    WriteFile(sources.File("notes.txt"), BytesOf("just some text, not a Macintosh file\n"));
    WriteFile(sources.File("short.bin"), Bytes{0, 5, 'A'});
    EXPECT_EQ(ImportMacBinary(volume->Root(), sources.File("notes.txt")), ImportResult::WrongKind);
    EXPECT_EQ(ImportMacBinary(volume->Root(), sources.File("short.bin")), ImportResult::WrongKind);
    EXPECT_TRUE(std::filesystem::is_empty(volume->Root()));
}

TEST(ImportMacBinary, TargetWithoutNamedStreamsIsRefusedWithNothingWritten) {
    TempDir sources, target;
    CurrentFolderGuard guard;
    WriteFile(sources.File("a.bin"), EncodeMacBinary(Sample()));
    ImportReport report;
    EXPECT_EQ(ImportMacBinary(target.Path(), sources.File("a.bin"), &report),
              ImportResult::WriteFailed);
    EXPECT_NE(report.detail.find("streams_interface=windows"), std::string::npos) << report.detail;
    EXPECT_TRUE(std::filesystem::is_empty(target.Path()));
}

TEST(ImportMacBinary, MissingTargetFolderIsAFailure) {
    TempDir sources;
    CurrentFolderGuard guard;
    WriteFile(sources.File("a.bin"), EncodeMacBinary(Sample()));
    EXPECT_EQ(ImportMacBinary(sources.File("no-such-folder"), sources.File("a.bin")),
              ImportResult::WriteFailed);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(sources.Path()), {}), 1);
}

// Forks on and around the 128-byte boundaries, read back through ntfscat.
TEST(ImportMacBinary, ForksLandInTheirStreams) {
    REQUIRE_NTFS(volume);
    CurrentFolderGuard guard;
    TempDir sources;
    const std::size_t dataSizes[] = {0, 1, 127, 128, 129, 256, 40960, 40961, 100000};
    const std::size_t resourceSizes[] = {10, 0, 128, 129, 1, 40960, 0, 3, 81920};
    std::vector<MacFile> files;
    for (std::size_t i = 0; i < std::size(dataSizes); ++i) {
        MacFile file;
        file.name = "File " + std::to_string(i);
        file.data = PatternBytes(dataSizes[i], static_cast<std::uint32_t>(2 * i + 1));
        file.resource = PatternBytes(resourceSizes[i], static_cast<std::uint32_t>(2 * i + 2));
        if (file.data.empty() && file.resource.empty()) continue;
        const std::string path = sources.File("f" + std::to_string(i) + ".bin");
        ASSERT_TRUE(WriteFile(path, EncodeMacBinary(file)));
        ImportReport report;
        ASSERT_EQ(ImportMacBinary(volume->Root(), path, &report), ImportResult::Converted)
            << file.name << ": " << report.detail;
        EXPECT_EQ(report.outputName, file.name);
        files.push_back(file);
    }
    for (const MacFile& file : files) {
        auto data = volume->ReadStream(file.name);
        ASSERT_TRUE(data) << file.name;
        EXPECT_EQ(BytesOf(*data), file.data) << file.name;
        auto streams = volume->StreamNames(file.name);
        const bool hasResource =
            std::find(streams.begin(), streams.end(), "AFP_Resource") != streams.end();
        EXPECT_EQ(hasResource, !file.resource.empty()) << file.name;
        if (!file.resource.empty()) {
            EXPECT_EQ(BytesOf(volume->ReadStream(file.name, "AFP_Resource").value_or("")),
                      file.resource)
                << file.name;
        }
        EXPECT_EQ(volume->ReadStream(file.name, "AFP_AfpInfo").value_or("").size(), 60u);
    }
}

TEST(ImportMacBinary, AfpInfoCarriesTypeAndCreator) {
    REQUIRE_NTFS(volume);
    CurrentFolderGuard guard;
    TempDir sources;
    MacFile file = Sample();
    file.name = "f";  // a one-letter name must not read as a drive
    WriteFile(sources.File("f.bin"), EncodeMacBinary(file));
    ASSERT_EQ(ImportMacBinary(volume->Root(), sources.File("f.bin")), ImportResult::Converted);
    const Bytes info = BytesOf(volume->ReadStream("f", "AFP_AfpInfo").value_or(""));
    ASSERT_EQ(info.size(), 60u);
    const Bytes head = {0x41, 0x46, 0x50, 0x00, 0x00, 0x00, 0x01, 0x00,
                        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80};
    EXPECT_EQ(Bytes(info.begin(), info.begin() + 16), head);
    EXPECT_EQ(Bytes(info.begin() + 16, info.begin() + 24), BytesOf("TEXTttxt"));
    EXPECT_EQ(Bytes(info.begin() + 24, info.end()), Bytes(36, 0));
}

TEST(ImportMacBinary, ForkLongerThanTheSourceCopiesToItsEndAndIsTruncated) {
    REQUIRE_NTFS(volume);
    CurrentFolderGuard guard;
    TempDir sources;
    // 200 bytes claiming a 150-byte data fork: the 72 bytes after the header are all there is.
    MacFile file;
    file.name = "Short";
    file.data = PatternBytes(150, 9);
    Bytes image = EncodeMacBinary(file);
    image.resize(200);
    WriteFile(sources.File("short.bin"), image);
    ImportReport report;
    ASSERT_EQ(ImportMacBinary(volume->Root(), sources.File("short.bin"), &report),
              ImportResult::Truncated);
    EXPECT_EQ(report.detail, "the data fork lacks 78 of its 150 bytes");
    EXPECT_EQ(report.outputName, "Short");
    EXPECT_EQ(BytesOf(volume->ReadStream("Short").value_or("")),
              Bytes(image.begin() + 128, image.end()));
}

TEST(ImportMacBinary, NameBytesReachTheVolumeUntranslatedAndMadeSafe) {
    REQUIRE_NTFS(volume);
    CurrentFolderGuard guard;
    TempDir sources;
    MacFile file = Sample();
    file.name =
        "R\x8E"
        "sum\x8E";  // Mac Roman é stays byte 0x8E, which is Ž in code page 1252
    WriteFile(sources.File("a.bin"), EncodeMacBinary(file));
    file.name = "a/b:c";
    WriteFile(sources.File("b.bin"), EncodeMacBinary(file));
    file.name = "..";
    WriteFile(sources.File("c.bin"), EncodeMacBinary(file));
    ASSERT_EQ(ImportMacBinary(volume->Root(), sources.File("a.bin")), ImportResult::Converted);
    ASSERT_EQ(ImportMacBinary(volume->Root(), sources.File("b.bin")), ImportResult::Converted);
    ASSERT_EQ(ImportMacBinary(volume->Root(), sources.File("c.bin")), ImportResult::Converted);
    EXPECT_TRUE(volume->ReadStream(platform::AnsiToNative("R\x8Esum\x8E")));
    EXPECT_TRUE(volume->ReadStream("a_b_c"));
    EXPECT_TRUE(volume->ReadStream("_"));
}

TEST(ImportMacBinary, FullVolumeFailsAndLeavesNothing) {
    REQUIRE_NTFS(volume, 8);
    CurrentFolderGuard guard;
    TempDir sources;
    MacFile file;
    file.name = "Too Big";
    file.data = PatternBytes(4 << 20, 3);
    file.resource = PatternBytes(8 << 20, 4);
    WriteFile(sources.File("big.bin"), EncodeMacBinary(file));
    ImportReport report;
    EXPECT_EQ(ImportMacBinary(volume->Root(), sources.File("big.bin"), &report),
              ImportResult::WriteFailed);
    EXPECT_FALSE(report.detail.empty());
    EXPECT_FALSE(std::filesystem::exists(volume->Path("Too Big")));
    // The volume still works afterwards and takes a file that fits.
    file.resource.clear();
    file.data = PatternBytes(1000, 5);
    WriteFile(sources.File("small.bin"), EncodeMacBinary(file));
    EXPECT_EQ(ImportMacBinary(volume->Root(), sources.File("small.bin")), ImportResult::Converted);
}

}  // namespace

}  // namespace veskar
