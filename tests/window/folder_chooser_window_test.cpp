// SPDX-License-Identifier: Apache-2.0
// The Browse buttons: the folder dialog (answered by the fixture's hook) at the remembered
// folder, the NTFS test on a real ntfs-3g volume and an ext4 folder, the box, the beep, and
// what is remembered for the next Browse and the next run.
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTest>
#include <string>

#include "platform/platform.h"
#include "tests/mac_fixtures.h"
#include "tests/ntfs_volume.h"
#include "tests/window/window_fixture.h"

namespace veskar {

namespace {

const QString kPrompt = QStringLiteral("Sélection du répertoire devant contenir les fichiers");

QString Q(const std::string& path) {
    return QString::fromStdString(path);
}

class BrowseTest : public WindowTest {
  protected:
    QString Remembered() const {
        return QSettings(settings.SystemFile(), QSettings::IniFormat)
            .value(QStringLiteral("Reper/Default"))
            .toString();
    }
    QString LastStart() const {
        return folderRequests.empty() ? QStringLiteral("(no dialog)")
                                      : folderRequests.back().startFolder;
    }
};

TEST_F(BrowseTest, AnNtfsFolderFillsTheBoxAndIsWhereEveryPageAndTheNextRunStart) {
    REQUIRE_NTFS(volume);
    const QString out = Q(volume->Path("Out"));
    ASSERT_TRUE(QDir().mkdir(out));

    Browse(window->BrowseMcBinary, out);
    ASSERT_EQ(folderRequests.size(), 1u);
    EXPECT_EQ(folderRequests[0].owner, window.data());
    EXPECT_EQ(folderRequests[0].prompt, kPrompt);
    EXPECT_EQ(window->DossierMcBinary->text(), out + "/");
    EXPECT_EQ(Remembered(), out + "/");
    EXPECT_EQ(beeps, 0);
    EXPECT_TRUE(window->Fermer->isEnabled());

    // Another page opens at the folder, cut at its separator; its root goes in with one '/'.
    Browse(window->BrowseAppleSingle, Q(volume->Root()));
    EXPECT_EQ(LastStart(), out);
    EXPECT_EQ(window->DossierAppleSingle->text(), Q(volume->Root()) + "/");
    EXPECT_EQ(window->DossierMcBinary->text(), out + "/");

    // A later run of the program, in the same settings.
    Browse(window->BrowseBinHex, out);
    delete window.data();
    window = new TVESKAR;
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    EXPECT_TRUE(window->DossierBinHex->text().isEmpty());
    Browse(window->BrowseAppleDouble, QString());
    EXPECT_EQ(LastStart(), out);
    EXPECT_EQ(beeps, 1);
}

TEST_F(BrowseTest, AFolderOffNtfsEmptiesTheBoxAndBeepsYetIsRemembered) {
    TempDir ext4;
    window->DossierAppleDouble->setText(QStringLiteral("/typed/"));
    window->Fermer->setEnabled(false);
    Browse(window->BrowseAppleDouble, Q(ext4.Path()));
    EXPECT_TRUE(window->DossierAppleDouble->text().isEmpty());
    EXPECT_EQ(beeps, 1);
    EXPECT_TRUE(window->Fermer->isEnabled());
    EXPECT_EQ(Remembered(), Q(ext4.Path()) + "/");
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(window->Barre->currentMessage().isEmpty());

    Browse(window->BrowseBinHex, Q(ext4.File("missing")));
    EXPECT_EQ(LastStart(), Q(ext4.Path()));
    EXPECT_EQ(beeps, 2);
}

TEST_F(BrowseTest, CancelEmptiesABoxThatHeldAFolderAndBeeps) {
    window->DossierMcBinary->setText(QStringLiteral("/mnt/ntfs/Out/"));
    window->Fermer->setEnabled(false);
    Browse(window->BrowseMcBinary, QString());
    EXPECT_TRUE(window->DossierMcBinary->text().isEmpty());
    EXPECT_EQ(beeps, 1);
    EXPECT_TRUE(window->Fermer->isEnabled());
    // Nothing chosen, nothing remembered: the key a read leaves holds no folder.
    EXPECT_EQ(Remembered(), "");
}

TEST_F(BrowseTest, ARefusedChoiceLeavesBinHexConvertDisabledThroughTheBoxsChangeEvent) {
    TempDir ext4;
    ASSERT_TRUE(Drop(window->ListeBinHex, {QStringLiteral("/in/a.hqx")}));
    QTest::keyClicks(window->DossierBinHex, QStringLiteral("/out/"));
    ASSERT_TRUE(window->ExeBinHex->isEnabled());
    Browse(window->BrowseBinHex, Q(ext4.Path()));
    EXPECT_FALSE(window->ExeBinHex->isEnabled());

    QTest::keyClicks(window->DossierBinHex, QStringLiteral("/out/"));
    ASSERT_TRUE(window->ExeBinHex->isEnabled());
    Browse(window->BrowseBinHex, QString());
    EXPECT_FALSE(window->ExeBinHex->isEnabled());
}

TEST_F(BrowseTest, WithNothingRememberedTheDialogOpensAtTheCurrentFolderAndARootAtItself) {
    CurrentFolderGuard guard;
    TempDir here;
    ASSERT_TRUE(platform::SetCurrentFolder(here.Path()));
    Browse(window->BrowseBinHex, QStringLiteral("/"));
    EXPECT_EQ(folderRequests.at(0).startFolder, Q(platform::CurrentFolder()));
    // Cut at its only separator, / would be empty and open at the current folder instead.
    EXPECT_EQ(Remembered(), "/");
    Browse(window->BrowseBinHex, QString());
    EXPECT_EQ(LastStart(), "/");
}

// The conversion run cuts its target folder to 255 characters, which would name another
// folder than the one chosen; such a choice is refused and not remembered.
TEST_F(BrowseTest, AFolderTooLongForTheRunIsRefusedAndNotRemembered) {
    const QString fits = "/" + QString(253, QLatin1Char('a'));  // 255 with its separator
    Browse(window->BrowseAppleSingle, fits);
    EXPECT_EQ(Remembered(), fits + "/");
    Browse(window->BrowseAppleSingle, fits + "b");
    EXPECT_TRUE(window->DossierAppleSingle->text().isEmpty());
    EXPECT_EQ(beeps, 2);
    EXPECT_EQ(Remembered(), fits + "/");
}

}  // namespace

}  // namespace veskar
