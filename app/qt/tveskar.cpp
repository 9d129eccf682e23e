// SPDX-License-Identifier: Apache-2.0
#include "app/qt/tveskar.h"

#include <utility>

#include <QAbstractItemModel>
#include <QApplication>
#include <QCloseEvent>
#include <QFont>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>
#include <QStatusBar>
#include <QTabWidget>
#include <array>
#include <string>
#include <vector>

#include "app/core/file_intake.h"
#include "app/core/folder_chooser.h"
#include "app/core/window_texts.h"
#include "app/qt/browse_hooks.h"
#include "app/qt/message_hook.h"
#include "app/qt/qt_settings.h"
#include "app/qt/qt_text.h"

namespace veskar {

namespace {

struct PageHandlers {
    void (TVESKAR::*listChange)();
    void (TVESKAR::*folderChange)();
    void (TVESKAR::*browseClick)();
    void (TVESKAR::*convertClick)();
    void (TVESKAR::*dropFiles)(const QStringList&);
};

// Indexed by Page.
constexpr std::array<PageHandlers, kPageCount> kHandlers{{
    {&TVESKAR::ListeBinHexChange, &TVESKAR::DossierBinHexChange, &TVESKAR::BrowseBinHexClick,
     &TVESKAR::ExeBinHexClick, &TVESKAR::LBHDropFiles},
    {&TVESKAR::ListeMcBinaryChange, &TVESKAR::DossierMcBinaryChange, &TVESKAR::BrowseMcBinaryClick,
     &TVESKAR::ExeMcBinaryClick, &TVESKAR::LMBDropFiles},
    {&TVESKAR::ListeAppleSingleChange, &TVESKAR::DossierAppleSingleChange,
     &TVESKAR::BrowseAppleSingleClick, &TVESKAR::ExeAppleSingleClick, &TVESKAR::LASDropFiles},
    {&TVESKAR::ListeAppleDoubleChange, &TVESKAR::DossierAppleDoubleChange,
     &TVESKAR::BrowseAppleDoubleClick, &TVESKAR::ExeAppleDoubleClick, &TVESKAR::LADDropFiles},
}};

void Place(QWidget* widget, const Rect& rect) {
    widget->setGeometry(rect.left, rect.top, rect.width, rect.height);
}

template <typename Widget>
Widget* Make(QWidget* parent, std::string_view name, const Rect& rect) {
    auto* widget = new Widget(parent);
    widget->setObjectName(QtText(name));
    Place(widget, rect);
    return widget;
}

// One page's controls, in the order the form declares them. The edit box starts with the
// text the stored layout gives it, its own name; the first show clears it.
void MakePage(const PageRow& row, QWidget* tab, QGroupBox*& filesBox, QListWidget*& list,
              QGroupBox*& targetBox, QLineEdit*& folder, QPushButton*& browse,
              QPushButton*& convert) {
    filesBox = Make<QGroupBox>(tab, row.filesBox, layout::kFilesBox);
    filesBox->setTitle(QtText(texts::kFilesBoxCaption));
    list = Make<QListWidget>(filesBox, row.list, layout::kList);
    targetBox = Make<QGroupBox>(tab, row.targetBox, layout::TargetBox(row.page));
    targetBox->setTitle(QtText(texts::kTargetBoxCaption));
    folder = Make<QLineEdit>(targetBox, row.folder, layout::kFolder);
    folder->setText(QtText(row.folder));
    browse = Make<QPushButton>(targetBox, row.browse, layout::kBrowse);
    browse->setText(QtText(texts::kBrowseCaption));
    convert = Make<QPushButton>(tab, row.convert, layout::kConvert);
    convert->setText(QtText(texts::kConvertCaption));
}

}  // namespace

TVESKAR::TVESKAR(QWidget* parent, PageImport import)
    : QWidget(parent), pages_(*this, std::move(import)) {
    createForm();
    createPages();
    createLists();
    connectSignals();
}

TVESKAR::PageControls TVESKAR::ControlsOf(Page page) {
    switch (page) {
        case Page::BinHex:
            return {TabBinhex,     GBBinHex,     ListeBinHex, GBDossBinHex,
                    DossierBinHex, BrowseBinHex, ExeBinHex,   &LBHNewWndProc};
        case Page::McBinary:
            return {TabMcBinary,     GBMcBinary,     ListeMcBinary, GroupBox6,
                    DossierMcBinary, BrowseMcBinary, ExeMcBinary,   &LMBNewWndProc};
        case Page::AppleSingle:
            return {TabAppleSingle,     GBAppleSingle,     ListeAppleSingle, GPDossAppleSingle,
                    DossierAppleSingle, BrowseAppleSingle, ExeAppleSingle,   &LASNewWndProc};
        case Page::AppleDouble:
            break;
    }
    return {TabAppleDouble,     GPAppleDouble,     ListeAppleDouble, GBDossAppleDouble,
            DossierAppleDouble, BrowseAppleDouble, ExeAppleDouble,   &LADNewWndProc};
}

void TVESKAR::createForm() {
    setObjectName(QStringLiteral("VESKAR"));
    setWindowTitle(QtText(texts::kFormCaption));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    setFont(font);
    move(layout::kForm.left, layout::kForm.top);
    setFixedSize(layout::kForm.width, layout::kForm.height);

    Fermer = Make<QPushButton>(this, "Fermer", layout::kExit);
    Fermer->setText(QtText(texts::kExitCaption));
    Barre = Make<QStatusBar>(this, "Barre", layout::kStatusBar);
    Barre->setSizeGripEnabled(false);
    Classeur = Make<QTabWidget>(this, "Classeur", layout::kPageControl);
}

void TVESKAR::createPages() {
    QWidget** tabs[] = {&TabBinhex, &TabMcBinary, &TabAppleSingle, &TabAppleDouble};
    for (const PageRow& row : Pages()) {
        QWidget*& tab = *tabs[static_cast<std::size_t>(row.page)];
        tab = new QWidget;
        tab->setObjectName(QtText(row.tab));
        Classeur->addTab(tab, QtText(row.caption));
    }
    MakePage(RowOf(Page::BinHex), TabBinhex, GBBinHex, ListeBinHex, GBDossBinHex, DossierBinHex,
             BrowseBinHex, ExeBinHex);
    MakePage(RowOf(Page::AppleSingle), TabAppleSingle, GBAppleSingle, ListeAppleSingle,
             GPDossAppleSingle, DossierAppleSingle, BrowseAppleSingle, ExeAppleSingle);
    MakePage(RowOf(Page::McBinary), TabMcBinary, GBMcBinary, ListeMcBinary, GroupBox6,
             DossierMcBinary, BrowseMcBinary, ExeMcBinary);
    MakePage(RowOf(Page::AppleDouble), TabAppleDouble, GPAppleDouble, ListeAppleDouble,
             GBDossAppleDouble, DossierAppleDouble, BrowseAppleDouble, ExeAppleDouble);
    Classeur->setCurrentWidget(ControlsOf(kFirstPage).tab);

    // Exit, the page control, then on each page its list, target folder, Browse and Convert.
    QWidget* previous = Classeur;
    setTabOrder(Fermer, Classeur);
    for (const PageRow& row : Pages()) {
        const PageControls page = ControlsOf(row.page);
        for (QWidget* next :
             {static_cast<QWidget*>(page.list), static_cast<QWidget*>(page.folder),
              static_cast<QWidget*>(page.browse), static_cast<QWidget*>(page.convert)}) {
            setTabOrder(previous, next);
            previous = next;
        }
    }
}

void TVESKAR::createLists() {
    for (const PageRow& row : Pages()) {
        QListWidget* list = ControlsOf(row.page).list;
        list->setSortingEnabled(true);
        list->setSelectionMode(QAbstractItemView::ExtendedSelection);
        list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    }
}

void TVESKAR::connectSignals() {
    connect(Fermer, &QPushButton::clicked, this, &TVESKAR::FermerClick);
    // The page control turns its pages on Ctrl+Tab only while the focus is inside it: the
    // window's shortcuts turn them from Exit too. Shift+Tab arrives as Backtab.
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab), this), &QShortcut::activated, this,
            &TVESKAR::NextPage);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), this),
            &QShortcut::activated, this, &TVESKAR::PreviousPage);
    for (const PageRow& row : Pages()) {
        const PageControls page = ControlsOf(row.page);
        const PageHandlers& on = kHandlers[static_cast<std::size_t>(row.page)];
        // The list's change event: an entry added or removed, or the selection changed.
        connect(page.list->model(), &QAbstractItemModel::rowsInserted, this, on.listChange);
        connect(page.list->model(), &QAbstractItemModel::rowsRemoved, this, on.listChange);
        connect(page.list, &QListWidget::itemSelectionChanged, this, on.listChange);
        connect(page.folder, &QLineEdit::textChanged, this, on.folderChange);
        page.folder->installEventFilter(&folderDrops_);
        connect(page.browse, &QPushButton::clicked, this, on.browseClick);
        connect(page.convert, &QPushButton::clicked, this, on.convertClick);
        connect(page.dropFilter, &ListDropFilter::filesDropped, this, on.dropFiles);
    }
}

void TVESKAR::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
}

void TVESKAR::closeEvent(QCloseEvent* event) {
    FormClose(event);
}

void TVESKAR::FormShow() {
    pages_.Show();
    WindowSettings().SelectSettingsRoot();
}

void TVESKAR::FormClose(QCloseEvent* event) {
    pages_.Close();
    // The main form is freed; with the last window gone the application's loop ends.
    setAttribute(Qt::WA_DeleteOnClose);
    event->accept();
}

void TVESKAR::FermerClick() {
    close();
}

void TVESKAR::ListeBinHexChange() {
    pages_.ListChanged(Page::BinHex);
}
void TVESKAR::ListeMcBinaryChange() {
    pages_.ListChanged(Page::McBinary);
}
void TVESKAR::ListeAppleSingleChange() {
    pages_.ListChanged(Page::AppleSingle);
}
void TVESKAR::ListeAppleDoubleChange() {
    pages_.ListChanged(Page::AppleDouble);
}

void TVESKAR::DossierBinHexChange() {
    pages_.FolderChanged(Page::BinHex);
}
void TVESKAR::DossierMcBinaryChange() {
    pages_.FolderChanged(Page::McBinary);
}
void TVESKAR::DossierAppleSingleChange() {
    pages_.FolderChanged(Page::AppleSingle);
}
void TVESKAR::DossierAppleDoubleChange() {
    pages_.FolderChanged(Page::AppleDouble);
}

void TVESKAR::BrowseBinHexClick() {
    pages_.BrowseClicked(Page::BinHex);
}
void TVESKAR::BrowseMcBinaryClick() {
    pages_.BrowseClicked(Page::McBinary);
}
void TVESKAR::BrowseAppleSingleClick() {
    pages_.BrowseClicked(Page::AppleSingle);
}
void TVESKAR::BrowseAppleDoubleClick() {
    pages_.BrowseClicked(Page::AppleDouble);
}

void TVESKAR::ExeBinHexClick() {
    pages_.ConvertClicked(Page::BinHex);
}
void TVESKAR::ExeMcBinaryClick() {
    pages_.ConvertClicked(Page::McBinary);
}
void TVESKAR::ExeAppleSingleClick() {
    pages_.ConvertClicked(Page::AppleSingle);
}
void TVESKAR::ExeAppleDoubleClick() {
    pages_.ConvertClicked(Page::AppleDouble);
}

void TVESKAR::takeDrop(Page page, const QStringList& paths) {
    std::vector<std::string> natives;
    natives.reserve(static_cast<std::size_t>(paths.size()));
    for (const QString& path : paths)
        natives.push_back(NativePath(path));
    pages_.FilesDropped(page, natives);
}

void TVESKAR::LBHDropFiles(const QStringList& paths) {
    takeDrop(Page::BinHex, paths);
}
void TVESKAR::LMBDropFiles(const QStringList& paths) {
    takeDrop(Page::McBinary, paths);
}
void TVESKAR::LASDropFiles(const QStringList& paths) {
    takeDrop(Page::AppleSingle, paths);
}
void TVESKAR::LADDropFiles(const QStringList& paths) {
    takeDrop(Page::AppleDouble, paths);
}

void TVESKAR::cyclePage(bool backwards) {
    QWidget* current = Classeur->currentWidget();
    const QWidget* focus = QApplication::focusWidget();
    const bool focusOnPage = focus != nullptr && current->isAncestorOf(focus);
    for (const PageRow& row : Pages()) {
        if (ControlsOf(row.page).tab != current) continue;
        Classeur->setCurrentWidget(ControlsOf(CycledPage(row.page, backwards)).tab);
        break;
    }
    // A control of the page just hidden keeps no focus: the page control takes it, as it
    // does for a page turned with the arrow keys.
    if (focusOnPage) Classeur->setFocus();
}

void TVESKAR::NextPage() {
    cyclePage(false);
}
void TVESKAR::PreviousPage() {
    cyclePage(true);
}

std::size_t TVESKAR::EntryCount(Page page) {
    return static_cast<std::size_t>(ControlsOf(page).list->count());
}

std::string TVESKAR::EntryText(Page page, std::size_t index) {
    return NativePath(ControlsOf(page).list->item(static_cast<int>(index))->text());
}

// The list, sorting on, puts the item in its place.
void TVESKAR::AddEntry(Page page, const std::string& text) {
    ControlsOf(page).list->addItem(QtPath(text));
}

void TVESKAR::DeleteFirstEntry(Page page) {
    delete ControlsOf(page).list->takeItem(0);
}

void TVESKAR::AcceptDrops(Page page, bool accept) {
    const PageControls controls = ControlsOf(page);
    for (QWidget* target : {static_cast<QWidget*>(controls.list), controls.list->viewport()}) {
        target->setAcceptDrops(accept);
        if (accept)
            target->installEventFilter(controls.dropFilter);
        else
            target->removeEventFilter(controls.dropFilter);
    }
}

std::string TVESKAR::FolderText(Page page) {
    return NativePath(ControlsOf(page).folder->text());
}

void TVESKAR::SetFolderText(Page page, const std::string& text) {
    ControlsOf(page).folder->setText(QtPath(text));
}

void TVESKAR::ClearFolder(Page page) {
    ControlsOf(page).folder->clear();
}

void TVESKAR::EnableConvert(Page page, bool enabled) {
    ControlsOf(page).convert->setEnabled(enabled);
}

void TVESKAR::EnableExit(bool enabled) {
    Fermer->setEnabled(enabled);
}

std::optional<std::string> TVESKAR::BrowseForFolder(std::string_view prompt) {
    // Read as the dialog opens, as the shell's callback does on Windows: the process's
    // current folder, the fallback, moves with every conversion.
    const std::string start = BrowseStartFolder(WindowSettings().ReadLastFolder());
    const QString chosen = ChooseFolder(this, QtText(prompt), QtPath(start));
    return TakeChosenFolder(WindowSettings(), NativePath(chosen));
}

void TVESKAR::Beep() {
    veskar::Beep();
}

void TVESKAR::BringToFront() {
    raise();
    activateWindow();
    repaint();
}

void TVESKAR::ShowDuplicate(const std::string& path) {
    ShowMessage(this, QtText(texts::kMessageTitle), QtText(DuplicateEntryMessage(path)));
}

}  // namespace veskar
