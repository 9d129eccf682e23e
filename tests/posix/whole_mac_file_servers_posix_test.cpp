// SPDX-License-Identifier: Apache-2.0
// The whole Mac file in the server layouts, on the local file system as Samba and netatalk
// read it: the files' times, Samba's creation time record, netatalk's dates and comment, the
// extended attributes as Samba's streams or in the "._" file's ATTR block, and a folder's own
// information.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include "core/common/byte_source.h"
#include "core/read/appledouble.h"
#include "tests/run_program.h"
#include "tests/whole_file_sources.h"

namespace veskar {

namespace {

namespace wf = whole_file;

std::optional<Bytes> Attribute(const std::string& path, const std::string& name) {
    Bytes value(70000);
    const ssize_t size =
        ::getxattr(path.c_str(), ("user." + name).c_str(), value.data(), value.size());
    if (size < 0) return std::nullopt;
    value.resize(static_cast<std::size_t>(size));
    return value;
}

std::int64_t ModifiedOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mtime : -1;
}

std::uint64_t Little64(const Bytes& bytes, std::size_t at) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < 8; ++i)
        value |= std::uint64_t{bytes[at + i]} << (8 * i);
    return value;
}

std::uint32_t Big32(const Bytes& bytes, std::size_t at) {
    return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 |
           std::uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
}

// Samba's record: DOS attributes at 12, the creation time in NT ticks at 16.
void ExpectDosAttributes(const std::string& path, std::uint32_t attributes, std::int64_t created) {
    const std::optional<Bytes> record = Attribute(path, "DOSATTRIB");
    ASSERT_TRUE(record) << path;
    ASSERT_EQ(record->size(), 24u);
    EXPECT_EQ((*record)[12], attributes);
    EXPECT_EQ(Little64(*record, 16), static_cast<std::uint64_t>(created + 11644473600) * 10000000);
}

Bytes WithZero(Bytes bytes) {
    bytes.push_back(0);
    return bytes;
}

class ServerLayoutTest : public testing::TestWithParam<std::string> {};

}  // namespace

TEST_P(ServerLayoutTest, KeepsTheWholeFile) {
    const std::string& layout = GetParam();
    TempDir sources, target;
    wf::MakeSources(sources);
    const ProgramRun run =
        RunProgram(VESKAR_CONVERT_PATH, {"--layout", layout, "-r", target.Path(), sources.Path()});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const bool pair = layout != "streams-xattr";
    const bool streams = layout != "appledouble";

    const std::string dated = target.File("Dated");
    EXPECT_EQ(ModifiedOf(dated), wf::kModified);
    if (pair) {
        EXPECT_EQ(ModifiedOf(target.File("._Dated")), wf::kModified);
    }
    if (streams) ExpectDosAttributes(dated, 0x20, wf::kCreated);
    if (layout == "fruit") {
        // netatalk's dates (since 2000) at 354 and its comment slot at 154.
        const std::optional<Bytes> metadata = Attribute(dated, "org.netatalk.Metadata");
        ASSERT_TRUE(metadata);
        EXPECT_EQ(Big32(*metadata, 354), static_cast<std::uint32_t>(wf::kCreated - 946684800));
        EXPECT_EQ(Big32(*metadata, 358), static_cast<std::uint32_t>(wf::kModified - 946684800));
        EXPECT_EQ(std::string(metadata->begin() + 154, metadata->begin() + 154 + 18), wf::kComment);
    }

    const std::string tagged = target.File("tagged");
    if (streams) {
        EXPECT_EQ(
            Attribute(tagged, "DosStream.com.apple.metadata\xEF\x80\xA2_kMDItemUserTags:$DATA"),
            WithZero(wf::kTags));
        EXPECT_EQ(Attribute(tagged, "DosStream." + wf::kEmptyName + ":$DATA"), Bytes{0});
        EXPECT_NE(run.err.find("warning: the extended attribute " + wf::kLongName),
                  std::string::npos)
            << run.err;
    } else {
        // In the "._" file, every attribute in its order, the long name too.
        const Bytes data = ReadFile(tagged), companion = ReadFile(target.File("._tagged"));
        MemorySource dataSource(data), companionSource(companion);
        const MacFileReading reading =
            ReadAppleDouble(dataSource, companionSource, "._tagged", {.everyVariant = true});
        ASSERT_FALSE(reading.refusal);
        ASSERT_EQ(reading.file.extendedAttributes.size(), 3u);
        EXPECT_EQ(reading.file.extendedAttributes[0].value, wf::kTags);
        EXPECT_EQ(reading.file.extendedAttributes[2].name, wf::kLongName);
        EXPECT_FALSE(Attribute(tagged, "DosStream." + wf::kEmptyName + ":$DATA"));
    }

    // The folder carries its own information, and its dates once everything is in it.
    const std::string album = target.File("Album");
    EXPECT_EQ(ModifiedOf(album), wf::kFolderModified);
    EXPECT_EQ(ReadFile(target.File("Album/Inner")), BytesOf("inside"));
    EXPECT_EQ(std::filesystem::exists(target.File("._Album")), pair);
    if (streams) ExpectDosAttributes(album, 0x10, wf::kFolderCreated);
    if (layout == "fruit") {
        const std::optional<Bytes> metadata = Attribute(album, "org.netatalk.Metadata");
        ASSERT_TRUE(metadata);
        EXPECT_EQ((*metadata)[122 + 8], wf::kFolderFlags >> 8);
        EXPECT_EQ(std::string(metadata->begin() + 154, metadata->begin() + 161), "Holiday");
    }
    if (layout == "streams-xattr") {
        const std::optional<Bytes> record = Attribute(album, "DosStream.AFP_AfpInfo:$DATA");
        ASSERT_TRUE(record);
        ASSERT_EQ(record->size(), 61u);
        EXPECT_EQ((*record)[16 + 8], wf::kFolderFlags >> 8);
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, ServerLayoutTest,
                         testing::Values("fruit", "appledouble", "streams-xattr"),
                         [](const auto& row) {
                             std::string name = row.param;
                             std::erase(name, '-');
                             return name;
                         });

}  // namespace veskar
