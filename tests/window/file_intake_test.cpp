// SPDX-License-Identifier: Apache-2.0
// Drops onto the lists, delivered as real drag-and-drop events to a list's viewport.
#include <QDir>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "app/core/file_intake.h"
#include "tests/window/window_fixture.h"

namespace veskar {

namespace {

const QString kMessage = QString::fromUtf8("Le dossier %1 existe déjà dans la liste.");

TEST_F(WindowTest, ThreeFilesAtOnceAreListedInAscendingOrder) {
    ASSERT_TRUE(Drop(window->ListeMcBinary, {"/in/b.bin", "/in/c.bin", "/in/a.bin"}));
    EXPECT_EQ(Entries(window->ListeMcBinary), QStringList({"/in/a.bin", "/in/b.bin", "/in/c.bin"}));
    EXPECT_TRUE(messages.empty());
}

TEST_F(WindowTest, AListedPathIsRefusedWithItsMessage) {
    ASSERT_TRUE(Drop(window->ListeBinHex, {"/in/a.hqx"}));
    ASSERT_TRUE(Drop(window->ListeBinHex, {"/in/a.hqx"}));
    EXPECT_EQ(Entries(window->ListeBinHex), QStringList({"/in/a.hqx"}));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, kMessage.arg("/in/a.hqx"));
    EXPECT_EQ(messages[0].title, "VESKAR");
    EXPECT_EQ(messages[0].owner, window.data());
}

TEST_F(WindowTest, KnownPathsDroppedWithANewOneGiveOneMessageEachInDropOrder) {
    ASSERT_TRUE(Drop(window->ListeAppleSingle, {"/in/x", "/in/y"}));
    ASSERT_TRUE(Drop(window->ListeAppleSingle, {"/in/y", "/in/new", "/in/x"}));
    EXPECT_EQ(Entries(window->ListeAppleSingle), QStringList({"/in/new", "/in/x", "/in/y"}));
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, kMessage.arg("/in/y"));
    EXPECT_EQ(messages[1].text, kMessage.arg("/in/x"));
}

TEST_F(WindowTest, PathsDifferingOnlyInLetterCaseAreTwoEntries) {
    ASSERT_TRUE(Drop(window->ListeAppleDouble, {"/in/Photo"}));
    ASSERT_TRUE(Drop(window->ListeAppleDouble, {"/in/photo"}));
    EXPECT_EQ(window->ListeAppleDouble->count(), 2);
    EXPECT_TRUE(messages.empty());
}

TEST_F(WindowTest, AFolderIsTakenLikeAFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkdir("Archive"));
    const QString folder = dir.filePath("Archive");
    ASSERT_TRUE(Drop(window->ListeMcBinary, {folder}));
    EXPECT_EQ(Entries(window->ListeMcBinary), QStringList({folder}));
}

TEST_F(WindowTest, ADropOnOneListLeavesTheOthersAlone) {
    ASSERT_TRUE(Drop(window->ListeMcBinary, {"/in/a.bin"}));
    EXPECT_EQ(window->ListeBinHex->count(), 0);
    EXPECT_EQ(window->ListeAppleSingle->count(), 0);
    EXPECT_EQ(window->ListeAppleDouble->count(), 0);
    // The same path on another page is no duplicate.
    ASSERT_TRUE(Drop(window->ListeAppleSingle, {"/in/a.bin"}));
    EXPECT_EQ(window->ListeAppleSingle->count(), 1);
    EXPECT_TRUE(messages.empty());
}

TEST_F(WindowTest, LongPathsAreCutTo255BytesAndTheCutFormIsWhatIsCompared) {
    const QString longPath = "/" + QString(300, 'p');
    ASSERT_TRUE(Drop(window->ListeMcBinary, {longPath}));
    ASSERT_EQ(window->ListeMcBinary->count(), 1);
    EXPECT_EQ(window->ListeMcBinary->item(0)->text(), longPath.left(255));
    // A different path with the same first 255 characters is the same entry once cut.
    ASSERT_TRUE(Drop(window->ListeMcBinary, {longPath + "q"}));
    EXPECT_EQ(window->ListeMcBinary->count(), 1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, kMessage.arg(longPath.left(255)));
}

TEST_F(WindowTest, OtherEventsStillReachTheList) {
    ASSERT_TRUE(Drop(window->ListeMcBinary, {"/in/a.bin", "/in/b.bin"}));
    window->Classeur->setCurrentWidget(window->TabMcBinary);
    QWidget* viewport = window->ListeMcBinary->viewport();
    const QRect second = window->ListeMcBinary->visualItemRect(window->ListeMcBinary->item(1));
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, second.center());
    EXPECT_EQ(window->ListeMcBinary->currentRow(), 1);
    EXPECT_TRUE(window->ListeMcBinary->item(1)->isSelected());
}

TEST_F(WindowTest, ADragOfSomethingOtherThanFilesIsNotTaken) {
    QMimeData data;
    data.setText(QStringLiteral("/in/a.bin"));
    EXPECT_FALSE(Drop(window->ListeMcBinary, data));
    QMimeData remote;
    remote.setUrls({QUrl(QStringLiteral("https://example.org/a.bin"))});
    EXPECT_FALSE(Drop(window->ListeMcBinary, remote));
    EXPECT_EQ(window->ListeMcBinary->count(), 0);
}

TEST(DuplicateEntryMessage, KeepsAPathNearTheLengthLimitWhole) {
    const std::string path = "/" + std::string(254, 'z');
    const std::string message = DuplicateEntryMessage(path);
    EXPECT_EQ(message, "Le dossier " + path + " existe d\xC3\xA9j\xC3\xA0 dans la liste.");
}

}  // namespace

}  // namespace veskar
