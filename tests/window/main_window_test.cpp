// SPDX-License-Identifier: Apache-2.0
// The main window's layout, its state after the first show, the Convert-button rules and
// what closing leaves behind.
#include <QApplication>
#include <QGroupBox>
#include <QImage>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QUrl>
#include <memory>
#include <ostream>
#include <string>

#include "tests/mac_fixtures.h"
#include "tests/run_program.h"
#include "tests/window/window_fixture.h"

namespace veskar {

namespace {

struct ControlRow {
    const char* name;
    const char* kind;  // the Qt class
    const char* parent;
    QRect geometry;
    const char* caption;
};

// The form's layout as designed, written out independently of the code that builds it.
const ControlRow kControls[] = {
    {"Fermer", "QPushButton", "VESKAR", {225, 333, 120, 27}, "Exit"},
    {"Barre", "QStatusBar", "VESKAR", {0, 364, 348, 19}, ""},
    {"Classeur", "QTabWidget", "VESKAR", {3, 4, 342, 325}, ""},
    {"GBBinHex", "QGroupBox", "TabBinhex", {0, 0, 332, 188}, " Files to convert: "},
    {"ListeBinHex", "QListWidget", "GBBinHex", {2, 15, 328, 171}, ""},
    {"GBDossBinHex", "QGroupBox", "TabBinhex", {0, 190, 332, 73}, " Target Folder: "},
    {"DossierBinHex", "QLineEdit", "GBDossBinHex", {5, 15, 322, 21}, ""},
    {"BrowseBinHex", "QPushButton", "GBDossBinHex", {204, 43, 120, 22}, "Browse"},
    {"ExeBinHex", "QPushButton", "TabBinhex", {212, 269, 120, 24}, "Convert"},
    {"GBMcBinary", "QGroupBox", "TabMcBinary", {0, 0, 332, 188}, " Files to convert: "},
    {"ListeMcBinary", "QListWidget", "GBMcBinary", {2, 15, 328, 171}, ""},
    {"GroupBox6", "QGroupBox", "TabMcBinary", {0, 190, 332, 73}, " Target Folder: "},
    {"DossierMcBinary", "QLineEdit", "GroupBox6", {5, 15, 322, 21}, ""},
    {"BrowseMcBinary", "QPushButton", "GroupBox6", {204, 43, 120, 22}, "Browse"},
    {"ExeMcBinary", "QPushButton", "TabMcBinary", {212, 269, 120, 24}, "Convert"},
    {"GBAppleSingle", "QGroupBox", "TabAppleSingle", {0, 0, 332, 188}, " Files to convert: "},
    {"ListeAppleSingle", "QListWidget", "GBAppleSingle", {2, 15, 328, 171}, ""},
    {"GPDossAppleSingle", "QGroupBox", "TabAppleSingle", {0, 189, 332, 73}, " Target Folder: "},
    {"DossierAppleSingle", "QLineEdit", "GPDossAppleSingle", {5, 15, 322, 21}, ""},
    {"BrowseAppleSingle", "QPushButton", "GPDossAppleSingle", {204, 43, 120, 22}, "Browse"},
    {"ExeAppleSingle", "QPushButton", "TabAppleSingle", {212, 269, 120, 24}, "Convert"},
    {"GPAppleDouble", "QGroupBox", "TabAppleDouble", {0, 0, 332, 188}, " Files to convert: "},
    {"ListeAppleDouble", "QListWidget", "GPAppleDouble", {2, 15, 328, 171}, ""},
    {"GBDossAppleDouble", "QGroupBox", "TabAppleDouble", {0, 189, 332, 73}, " Target Folder: "},
    {"DossierAppleDouble", "QLineEdit", "GBDossAppleDouble", {5, 15, 322, 21}, ""},
    {"BrowseAppleDouble", "QPushButton", "GBDossAppleDouble", {204, 43, 120, 22}, "Browse"},
    {"ExeAppleDouble", "QPushButton", "TabAppleDouble", {212, 269, 120, 24}, "Convert"},
};

// Names the row in failure messages and test names instead of dumping its bytes.
void PrintTo(const ControlRow& row, std::ostream* out) {
    *out << row.name;
}

QString CaptionOf(const QWidget* widget) {
    if (auto* button = qobject_cast<const QPushButton*>(widget)) return button->text();
    if (auto* box = qobject_cast<const QGroupBox*>(widget)) return box->title();
    if (auto* edit = qobject_cast<const QLineEdit*>(widget)) return edit->text();
    if (auto* bar = qobject_cast<const QStatusBar*>(widget)) return bar->currentMessage();
    return {};
}

class LayoutTest : public WindowTest, public testing::WithParamInterface<ControlRow> {};

TEST_P(LayoutTest, ControlStandsWhereTheLayoutPutsIt) {
    const ControlRow& row = GetParam();
    auto* control = window->findChild<QWidget*>(row.name);
    ASSERT_NE(control, nullptr) << row.name;
    EXPECT_STREQ(control->metaObject()->className(), row.kind) << row.name;
    ASSERT_NE(control->parentWidget(), nullptr) << row.name;
    EXPECT_EQ(control->parentWidget()->objectName(), row.parent) << row.name;
    EXPECT_EQ(control->geometry(), row.geometry) << row.name;
    EXPECT_EQ(CaptionOf(control), row.caption) << row.name;
}

INSTANTIATE_TEST_SUITE_P(EveryControl, LayoutTest, testing::ValuesIn(kControls),
                         [](const testing::TestParamInfo<ControlRow>& row) {
                             return std::string(row.param.name);
                         });

TEST_F(WindowTest, FormHasItsFixedClientAreaCaptionAndPagesInOrder) {
    EXPECT_EQ(window->objectName(), "VESKAR");
    EXPECT_EQ(window->windowTitle(), "NTFS/SFM Converter");
    EXPECT_EQ(window->size(), QSize(348, 383));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    const char* const tabs[][2] = {{"TabBinhex", "Binhex"},
                                   {"TabMcBinary", "McBinary"},
                                   {"TabAppleSingle", "AppleSingle"},
                                   {"TabAppleDouble", "AppleDouble"}};
    ASSERT_EQ(window->Classeur->count(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(window->Classeur->widget(i)->objectName(), tabs[i][0]) << "tab " << i;
        EXPECT_EQ(window->Classeur->tabText(i), tabs[i][1]) << "tab " << i;
    }
    EXPECT_FALSE(window->Barre->isSizeGripEnabled());
}

TEST_F(WindowTest, StartsOnAppleDoubleWithEmptyBoxesAndOnlyBinHexConvertDisabled) {
    EXPECT_EQ(window->Classeur->currentWidget(), window->TabAppleDouble);
    EXPECT_TRUE(window->Barre->currentMessage().isEmpty());
    for (const PageRow& row : Pages()) {
        const TVESKAR::PageControls page = window->ControlsOf(row.page);
        // The layout's stored text is cleared by the first show.
        EXPECT_TRUE(page.folder->text().isEmpty()) << row.folder.data();
        EXPECT_EQ(page.list->count(), 0) << row.list.data();
        EXPECT_TRUE(page.list->acceptDrops()) << row.list.data();
        EXPECT_EQ(page.convert->isEnabled(), row.page != Page::BinHex) << row.convert.data();
    }
    EXPECT_TRUE(window->Fermer->isEnabled());
}

TEST_F(WindowTest, TabOrderOnAPageRunsListFolderBrowseConvert) {
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    window->Classeur->setCurrentWidget(window->TabMcBinary);
    window->ListeMcBinary->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), window->ListeMcBinary);
    const QWidget* const chain[] = {window->DossierMcBinary, window->BrowseMcBinary,
                                    window->ExeMcBinary, window->Fermer};
    for (const QWidget* next : chain) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next) << next->objectName().toStdString();
    }
}

TEST_F(WindowTest, CtrlTabTurnsThePagesWhereverTheFocusIs) {
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    window->DossierAppleDouble->setFocus();
    const auto press = [](Qt::Key key, Qt::KeyboardModifiers modifiers) {
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
    };
    press(Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(window->Classeur->currentWidget(), window->TabBinhex);
    press(Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(window->Classeur->currentWidget(), window->TabMcBinary);
    // Shift+Tab comes as Backtab, as the platforms deliver it.
    press(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(window->Classeur->currentWidget(), window->TabBinhex);
    window->Fermer->setFocus();
    press(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(window->Classeur->currentWidget(), window->TabAppleDouble);
    EXPECT_EQ(QApplication::focusWidget(), window->Fermer);
}

TEST_F(WindowTest, TargetBoxTakesADroppedFolderAsItsPathAndRefusesOtherUrls) {
    TempDir folder;
    // As a file manager drags them: the URLs, and the same as plain text.
    const auto urls = [](const QList<QUrl>& list) {
        auto data = std::make_unique<QMimeData>();
        data->setUrls(list);
        QStringList texts;
        for (const QUrl& url : list)
            texts << url.toString();
        data->setText(texts.join(QLatin1Char('\n')));
        return data;
    };
    const QUrl folderUrl = QUrl::fromLocalFile(QString::fromStdString(folder.Path()));
    window->Classeur->setCurrentWidget(window->TabMcBinary);
    QLineEdit* box = window->DossierMcBinary;
    box->setText(QStringLiteral("typed/"));
    EXPECT_TRUE(DropOn(box, *urls({folderUrl})));
    EXPECT_EQ(box->text().toStdString(), folder.Path() + "/");

    ASSERT_TRUE(WriteFile(folder.File("a.bin"), BytesOf("x")));
    const QUrl fileUrl = QUrl::fromLocalFile(QString::fromStdString(folder.File("a.bin")));
    for (const QList<QUrl>& refused :
         {QList<QUrl>{fileUrl}, QList<QUrl>{folderUrl, folderUrl},
          QList<QUrl>{QUrl(QStringLiteral("https://example.invalid/folder/"))}}) {
        box->setText(QStringLiteral("typed/"));
        EXPECT_FALSE(DropOn(box, *urls(refused))) << refused.first().toString().toStdString();
        EXPECT_EQ(box->text().toStdString(), "typed/");
    }
}

TEST_F(WindowTest, ConvertButtonsFollowTheListRuleAndBinHexAlsoItsFolder) {
    const QString file = QStringLiteral("/in/a.bin");
    // McBinary: enabled while its list holds entries, whatever the folder says.
    ASSERT_TRUE(Drop(window->ListeMcBinary, {file}));
    EXPECT_TRUE(window->ExeMcBinary->isEnabled());
    window->ExeMcBinary->click();
    EXPECT_EQ(window->ListeMcBinary->count(), 0);
    EXPECT_FALSE(window->ExeMcBinary->isEnabled());
    window->DossierMcBinary->setText(QStringLiteral("/out/"));
    EXPECT_FALSE(window->ExeMcBinary->isEnabled());

    // Binhex: the last of the two rules to run decides.
    EXPECT_FALSE(window->ExeBinHex->isEnabled());
    ASSERT_TRUE(Drop(window->ListeBinHex, {file}));
    EXPECT_TRUE(window->ExeBinHex->isEnabled());
    QTest::keyClicks(window->DossierBinHex, QStringLiteral("/out/"));
    EXPECT_TRUE(window->ExeBinHex->isEnabled());
    window->DossierBinHex->clear();
    EXPECT_FALSE(window->ExeBinHex->isEnabled());
    // A change of selection is a change event of the list too.
    window->ListeBinHex->item(0)->setSelected(true);
    EXPECT_TRUE(window->ExeBinHex->isEnabled());
}

TEST_F(WindowTest, ExitClosesTheWindowAndTheListsNoLongerTakeDrops) {
    QListWidget* lists[] = {window->ListeBinHex, window->ListeMcBinary, window->ListeAppleSingle,
                            window->ListeAppleDouble};
    window->Fermer->click();
    ASSERT_FALSE(window.isNull());  // freed once the event loop runs
    EXPECT_FALSE(window->isVisible());
    for (QListWidget* list : lists) {
        EXPECT_FALSE(list->acceptDrops()) << list->objectName().toStdString();
        EXPECT_FALSE(Drop(list, {QStringLiteral("/in/late.bin")}));
        EXPECT_EQ(list->count(), 0) << list->objectName().toStdString();
    }
    QTest::qWait(0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
}

TEST_F(WindowTest, CloseBoxEndsTheWindowLikeExit) {
    QListWidget* list = window->ListeAppleDouble;
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(list->acceptDrops());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
}

// The icon is the program's own drawing; it must stay an image that Qt can read.
TEST(Icon, IsAnSvgImageQtCanDraw) {
    const QImage icon(QStringLiteral(VESKAR_PROJECT_DIR "/data/veskar.svg"));
    ASSERT_FALSE(icon.isNull()) << "data/veskar.svg unreadable (is libqt6svg6 installed?)";
    EXPECT_EQ(icon.size(), QSize(64, 64));
}

}  // namespace

// Started where there is no display, the window says so in one line and ends, instead of
// Qt's abort.
TEST(Window, WithoutADisplaySaysSoAndEndsWithStatus2) {
    const ProgramRun run = RunProgram(
        "/usr/bin/env",
        {"-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM", VESKAR_WINDOW_PATH});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "veskar: no display; veskar-convert converts on the command line\n");
}

}  // namespace veskar
