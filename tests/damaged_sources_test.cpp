// SPDX-License-Identifier: Apache-2.0
// Every format through one harness: each prefix of a typical source, and each byte of its
// header set to 0xFF (huge counts, lengths and offsets), gives a defined result, at most one
// output, and nothing left beside the source.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>

#include "core/import.h"
#include "core/read/appledouble.h"
#include "core/read/applesingle.h"
#include "core/read/macbinary.h"
#include "tests/apple_fixtures.h"
#include "tests/binhex_encoder.h"
#include "tests/environment.h"

namespace veskar {

namespace {

namespace af = apple_fixtures;

MacFile Typical() {
    MacFile file;
    file.name = "Damaged";
    file.data = PatternBytes(300, 5);
    file.resource = PatternBytes(90, 6);
    return file;
}

struct DamageCase {
    const char* label;
    Bytes source;            // the file that is cut and damaged
    std::size_t headerSize;  // its bytes that are set to 0xFF one at a time
    // Imports the damaged bytes, written into `folder`.
    std::function<ImportResult(const std::string& target, const TempDir& folder, const Bytes& bytes,
                               ImportReport& report)>
        import;
};

using Importer = ImportResult (*)(std::string_view, std::string_view, ImportReport*);

ImportResult Import(Importer import, const std::string& target, const TempDir& folder,
                    const Bytes& bytes, ImportReport& report) {
    EXPECT_TRUE(WriteFile(folder.File("source"), bytes));
    return import(target, folder.File("source"), &report);
}

std::vector<DamageCase> Cases() {
    const MacFile file = Typical();
    const std::vector<AppleEntry> entries = {{af::kRealName, BytesOf(file.name)},
                                             {af::kFinderInfo, FinderInfo("TEXTttxt")},
                                             {af::kDataFork, file.data},
                                             {af::kResourceFork, file.resource}};
    const std::string text = EncodeBinHex(file);
    return {
        {"MacBinary", EncodeMacBinary(file), 128,
         [](const std::string& t, const TempDir& f, const Bytes& b, ImportReport& r) {
             return Import(&ImportMacBinary, t, f, b, r);
         }},
        {"AppleSingle", EncodeAppleSingle(entries), 26 + 4 * 12,
         [](const std::string& t, const TempDir& f, const Bytes& b, ImportReport& r) {
             return Import(&ImportAppleSingle, t, f, b, r);
         }},
        // The companion is damaged; its data file stays whole beside it.
        {"AppleDouble", EncodeAppleDouble({entries[0], entries[1], entries[3]}), 26 + 3 * 12,
         [data = file.data](const std::string& t, const TempDir& f, const Bytes& b,
                            ImportReport& r) {
             EXPECT_TRUE(WriteFile(f.File("._source"), b));
             return Import(&ImportAppleDouble, t, f, data, r);
         }},
        // The identification line and the first lines of code characters.
        {"BinHex", Bytes(text.begin(), text.end()), 200,
         [](const std::string& t, const TempDir& f, const Bytes& b, ImportReport& r) {
             return Import(&ImportBinHex, t, f, b, r);
         }},
    };
}

void PrintTo(const DamageCase& c, std::ostream* out) {
    *out << c.label;
}

class DamagedSourceTest : public testing::TestWithParam<DamageCase> {};

TEST_P(DamagedSourceTest, EveryPrefixAndEveryDamagedHeaderByteHasACleanResult) {
    REQUIRE_NTFS(volume);
    CurrentFolderGuard guard;
    const DamageCase& c = GetParam();
    const std::set<ImportResult> defined = {ImportResult::Converted, ImportResult::Truncated,
                                            ImportResult::WrongKind, ImportResult::NotBinHex};
    std::size_t outputs = 0;
    auto check = [&](const Bytes& bytes, const std::string& what) {
        TempDir folder;
        const std::size_t sources = c.label == std::string("AppleDouble") ? 2 : 1;
        ImportReport report;
        const ImportResult result = c.import(volume->Root(), folder, bytes, report);
        ASSERT_TRUE(defined.count(result)) << what << ": " << static_cast<int>(result);
        // A truncated BinHex text whose header is refused for the missing forks writes none.
        if (result == ImportResult::Converted ||
            (result == ImportResult::Truncated && !report.outputName.empty()))
            ++outputs;
        ASSERT_EQ(FilesOnVolume(*volume).size(), outputs) << what;
        const auto beside = std::filesystem::directory_iterator(folder.Path());
        ASSERT_EQ(static_cast<std::size_t>(std::distance(beside, {})), sources) << what;
    };
    for (std::size_t prefix = 0; prefix < c.source.size(); prefix += 7)
        check(Bytes(c.source.begin(), c.source.begin() + static_cast<std::ptrdiff_t>(prefix)),
              "prefix " + std::to_string(prefix));
    for (std::size_t at = 0; at < c.headerSize; ++at) {
        Bytes damaged = c.source;
        damaged[at] = 0xFF;
        check(damaged, "byte " + std::to_string(at));
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, DamagedSourceTest, testing::ValuesIn(Cases()),
                         [](const auto& row) { return std::string(row.param.label); });

}  // namespace

}  // namespace veskar
