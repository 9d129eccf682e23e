// SPDX-License-Identifier: Apache-2.0
// Convert buttons running the conversion run over their page's list: into a real NTFS volume
// for MacBinary, and with a recording import for the companion rule of the AppleDouble page.
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "tests/apple_fixtures.h"
#include "tests/binhex_encoder.h"
#include "tests/mac_fixtures.h"
#include "tests/ntfs_volume.h"
#include "tests/window/window_fixture.h"

namespace veskar {

namespace {

std::vector<std::pair<std::string, std::string>> calls;

// Puts a recorder in a page's place for one test: the calls its Convert makes are kept, the
// other pages keep their imports.
class RecordedImport {
  public:
    RecordedImport(PageImport& import, Page page) : import_(import), saved_(import) {
        calls.clear();
        import =
            [ page, saved = saved_ ](Page at, std::string_view target, std::string_view source) {
                if (at != page) return saved(at, target, source);
        calls.emplace_back(target, source);
        return ImportResult::Converted;
    };
} ~RecordedImport() {
    import_ = saved_;
}

private:
PageImport& import_;
PageImport saved_;
};  // namespace

MacFile Named(const std::string& name, const std::string& data) {
    MacFile file;
    file.name = name;
    file.data = BytesOf(data);
    file.resource = BytesOf("resource of " + data);
    return file;
}

TEST_F(WindowTest, McBinaryConvertWritesTheListIntoTheVolumeInPathOrder) {
    REQUIRE_NTFS(volume);
    CurrentFolderGuard folder;
    TempDir sources;
    // Both carry the Macintosh name "Report": the first converted keeps it.
    ASSERT_TRUE(WriteFile(sources.File("b.bin"), EncodeMacBinary(Named("Report", "second"))));
    ASSERT_TRUE(WriteFile(sources.File("a.bin"), EncodeMacBinary(Named("Report", "first"))));
    ASSERT_TRUE(WriteFile(sources.File("c.txt"), BytesOf("no Macintosh file")));
    ASSERT_TRUE(Drop(window->ListeMcBinary, {QString::fromStdString(sources.File("b.bin")),
                                             QString::fromStdString(sources.File("c.txt")),
                                             QString::fromStdString(sources.File("a.bin"))}));

    window->Classeur->setCurrentWidget(window->TabMcBinary);
    QTest::keyClicks(window->DossierMcBinary, QString::fromStdString(volume->Root() + "/"));
    QTest::mouseClick(window->ExeMcBinary, Qt::LeftButton);

    EXPECT_EQ(window->ListeMcBinary->count(), 0);
    EXPECT_TRUE(window->Fermer->isEnabled());
    EXPECT_FALSE(window->ExeMcBinary->isEnabled());
    EXPECT_TRUE(messages.empty()) << "the failing c.txt must leave silently";

    std::vector<std::string> outputs;
    for (const auto& entry : std::filesystem::directory_iterator(volume->Root()))
        outputs.push_back(entry.path().filename().string());
    std::sort(outputs.begin(), outputs.end());
    ASSERT_EQ(outputs.size(), 2u) << "one output per MacBinary source";
    EXPECT_EQ(outputs[0], "Report");
    EXPECT_TRUE(outputs[1].starts_with("Report.")) << outputs[1];

    EXPECT_EQ(volume->ReadStream("Report"), "first");
    EXPECT_EQ(volume->ReadStream("Report", "AFP_Resource"), "resource of first");
    EXPECT_EQ(volume->ReadStream(outputs[1]), "second");
}

// Each page's Convert button reaches the import of its own format: a source of that format
// becomes an NTFS file with both forks.
TEST_F(WindowTest, EveryPageConvertsItsOwnFormat) {
    REQUIRE_NTFS(volume);
    TempDir sources;
    const MacFile file = Named("Page file", "data fork");
    using apple_fixtures::kDataFork, apple_fixtures::kFinderInfo, apple_fixtures::kRealName,
        apple_fixtures::kResourceFork;
    const std::vector<AppleEntry> entries = {{kFinderInfo, FinderInfo("TEXTttxt")},
                                             {kDataFork, file.data},
                                             {kResourceFork, file.resource},
                                             {kRealName, BytesOf(file.name)}};

    struct Row {
        Page page;
        std::string source;  // the file dropped on the page's list
    };
    const std::vector<Row> rows = {
        {Page::BinHex, sources.File("binhex.hqx")},
        {Page::McBinary, sources.File("macbinary.bin")},
        {Page::AppleSingle, sources.File("applesingle.as")},
        {Page::AppleDouble, sources.File("Page file")},
    };
    ASSERT_TRUE(WriteFile(rows[0].source, BytesOf(EncodeBinHex(file))));
    ASSERT_TRUE(WriteFile(rows[1].source, EncodeMacBinary(file)));
    ASSERT_TRUE(WriteFile(rows[2].source, EncodeAppleSingle(entries)));
    ASSERT_TRUE(WriteFile(rows[3].source, file.data));
    ASSERT_TRUE(
        WriteFile(sources.File("._Page file"), EncodeAppleDouble({entries[0], entries[2]})));

    {
        CurrentFolderGuard folder;  // the imports enter the volume; it must be left to unmount
        for (const Row& row : rows) {
            SCOPED_TRACE(RowOf(row.page).caption);
            const TVESKAR::PageControls controls = window->ControlsOf(row.page);
            const std::string target = volume->Path(std::string(RowOf(row.page).caption));
            ASSERT_TRUE(std::filesystem::create_directory(target));
            ASSERT_TRUE(Drop(controls.list, {QString::fromStdString(row.source)}));
            controls.folder->setText(QString::fromStdString(target + "/"));
            ASSERT_TRUE(controls.convert->isEnabled());
            controls.convert->click();
            EXPECT_EQ(controls.list->count(), 0);
        }
    }
    for (const Row& row : rows) {
        const std::string output = std::string(RowOf(row.page).caption) + "/Page file";
        EXPECT_EQ(volume->ReadStream(output), "data fork") << output;
        EXPECT_EQ(volume->ReadStream(output, "AFP_Resource"), "resource of data fork") << output;
    }
    EXPECT_TRUE(messages.empty());
}

// Each import enters the target folder; a typed relative folder still takes every entry.
TEST_F(WindowTest, ARelativeTargetFolderTakesEveryEntryOfTheRun) {
    REQUIRE_NTFS(volume);
    TempDir sources;
    const std::vector<std::string> names = {"one", "two", "three"};
    for (const std::string& name : names) {
        ASSERT_TRUE(WriteFile(sources.File(name), EncodeMacBinary(Named(name, name))));
        ASSERT_TRUE(Drop(window->ListeMcBinary, {QString::fromStdString(sources.File(name))}));
    }
    ASSERT_TRUE(std::filesystem::create_directory(volume->Path("out")));
    {
        CurrentFolderGuard folder;
        ASSERT_TRUE(platform::SetCurrentFolder(volume->Root()));
        window->DossierMcBinary->setText(QStringLiteral("out"));
        window->ExeMcBinary->click();
        EXPECT_EQ(window->ListeMcBinary->count(), 0);
    }
    for (const std::string& name : names)
        EXPECT_EQ(volume->ReadStream("out/" + name), name) << name;
}

TEST_F(WindowTest, AppleDoubleConvertLeavesCompanionsToTheirDataFile) {
    RecordedImport recorder(import, Page::AppleDouble);
    ASSERT_TRUE(Drop(window->ListeAppleDouble, {"/in/._Photo", "/in/Photo", "/in/._Lonely"}));
    window->DossierAppleDouble->setText(QStringLiteral("/out/"));
    window->ExeAppleDouble->click();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], (std::pair<std::string, std::string>{"/out/", "/in/Photo"}));
    EXPECT_EQ(window->ListeAppleDouble->count(), 0);
}

TEST_F(WindowTest, OtherPagesPassCompanionNamesToTheirImport) {
    for (const Page page : {Page::BinHex, Page::McBinary, Page::AppleSingle}) {
        RecordedImport recorder(import, page);
        const TVESKAR::PageControls controls = window->ControlsOf(page);
        ASSERT_TRUE(Drop(controls.list, {"/in/._Photo"}));
        controls.convert->setEnabled(true);  // Binhex's folder rule may have disabled it
        controls.convert->click();
        ASSERT_EQ(calls.size(), 1u) << RowOf(page).caption;
        EXPECT_EQ(calls[0].second, "/in/._Photo");
        EXPECT_EQ(controls.list->count(), 0);
    }
}

TEST_F(WindowTest, ConvertOnAnEmptyListOnlyLeavesExitEnabled) {
    RecordedImport recorder(import, Page::AppleSingle);
    window->ExeAppleSingle->click();
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(window->Fermer->isEnabled());
}

}  // namespace veskar

}  // namespace veskar
