#include "app/qt/tveskar.h"

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

#include "app/conversion_run.h"
#include "app/core/button_rules.h"
#include "app/core/file_intake.h"
#include "app/core/folder_chooser.h"
#include "app/core/window_texts.h"
#include "app/qt/browse_hooks.h"
#include "app/qt/message_hook.h"
#include "app/qt/qt_settings.h"
#include "app/qt/qt_text.h"

namespace {

// A page's list as the conversion run and the intake see it: entry texts are native paths.
class ListEntries : public SourceList, public IntakeList {
  public:
    explicit ListEntries(QListWidget* list) : list_(list) {}
    std::size_t Count() const override { return static_cast<std::size_t>(list_->count()); }
    std::string FirstText() const override { return TextAt(0); }
    void DeleteFirst() override { delete list_->takeItem(0); }
    std::string TextAt(std::size_t index) const override {
        return NativePath(list_->item(static_cast<int>(index))->text());
    }
    // The list, sorting on, puts the item in its place.
    void Add(const std::string& text) override { list_->addItem(QtPath(text)); }

  private:
    QListWidget* list_;
};

class Button : public EnabledControl {
  public:
    explicit Button(QPushButton* button) : button_(button) {}
    void SetEnabled(bool enabled) override { button_->setEnabled(enabled); }

  private:
    QPushButton* button_;
};

class FolderEdit : public FolderBox {
  public:
    explicit FolderEdit(QLineEdit* edit) : edit_(edit) {}
    void SetText(const std::string& text) override { edit_->setText(QtPath(text)); }

  private:
    QLineEdit* edit_;
};

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

TVESKAR::TVESKAR(QWidget* parent) : QWidget(parent) {
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
    for (const PageRow& row : Pages()) {
        const PageControls page = ControlsOf(row.page);
        for (QWidget* target : {static_cast<QWidget*>(page.list), page.list->viewport()}) {
            target->setAcceptDrops(true);
            target->installEventFilter(page.dropFilter);
        }
        page.folder->clear();
    }
    WindowSettings().SelectSettingsRoot();
}

void TVESKAR::FormClose(QCloseEvent* event) {
    for (const PageRow& row : Pages()) {
        const PageControls page = ControlsOf(row.page);
        for (QWidget* target : {static_cast<QWidget*>(page.list), page.list->viewport()}) {
            target->setAcceptDrops(false);
            target->removeEventFilter(page.dropFilter);
        }
    }
    // The main form is freed; with the last window gone the application's loop ends.
    setAttribute(Qt::WA_DeleteOnClose);
    event->accept();
}

void TVESKAR::FermerClick() {
    close();
}

void TVESKAR::followListRule(Page page) {
    const PageControls controls = ControlsOf(page);
    controls.convert->setEnabled(
        ConvertEnabledForList(static_cast<std::size_t>(controls.list->count())));
}

void TVESKAR::followFolderRule(Page page) {
    if (!RowOf(page).folderRule) return;
    const PageControls controls = ControlsOf(page);
    controls.convert->setEnabled(ConvertEnabledForFolder(NativePath(controls.folder->text())));
}

void TVESKAR::ListeBinHexChange() {
    followListRule(Page::BinHex);
}
void TVESKAR::ListeMcBinaryChange() {
    followListRule(Page::McBinary);
}
void TVESKAR::ListeAppleSingleChange() {
    followListRule(Page::AppleSingle);
}
void TVESKAR::ListeAppleDoubleChange() {
    followListRule(Page::AppleDouble);
}

void TVESKAR::DossierBinHexChange() {
    followFolderRule(Page::BinHex);
}
void TVESKAR::DossierMcBinaryChange() {
    followFolderRule(Page::McBinary);
}
void TVESKAR::DossierAppleSingleChange() {
    followFolderRule(Page::AppleSingle);
}
void TVESKAR::DossierAppleDoubleChange() {
    followFolderRule(Page::AppleDouble);
}

std::optional<std::string> TVESKAR::BrowseForFolder(std::string_view prompt) {
    // Read as the dialog opens, as the shell's callback does on Windows: the process's
    // current folder, the fallback, moves with every conversion.
    const std::string start = BrowseStartFolder(WindowSettings().ReadLastFolder());
    const QString chosen = ChooseFolder(this, QtText(prompt), QtPath(start));
    return TakeChosenFolder(WindowSettings(), NativePath(chosen));
}

void TVESKAR::browsePage(Page page) {
    FolderEdit box(ControlsOf(page).folder);
    Button exit(Fermer);
    BrowseClick([this](std::string_view prompt) { return BrowseForFolder(prompt); }, box, exit,
                [] { Beep(); });
}

void TVESKAR::BrowseBinHexClick() {
    browsePage(Page::BinHex);
}
void TVESKAR::BrowseMcBinaryClick() {
    browsePage(Page::McBinary);
}
void TVESKAR::BrowseAppleSingleClick() {
    browsePage(Page::AppleSingle);
}
void TVESKAR::BrowseAppleDoubleClick() {
    browsePage(Page::AppleDouble);
}

void TVESKAR::convertPage(Page page) {
    const PageControls controls = ControlsOf(page);
    ListEntries entries(controls.list);
    Button exit(Fermer);
    RunConversion(entries, exit, NativePath(controls.folder->text()), ImportOperationOf(page),
                  RowOf(page).skipCompanions);
}

void TVESKAR::ExeBinHexClick() {
    convertPage(Page::BinHex);
}
void TVESKAR::ExeMcBinaryClick() {
    convertPage(Page::McBinary);
}
void TVESKAR::ExeAppleSingleClick() {
    convertPage(Page::AppleSingle);
}
void TVESKAR::ExeAppleDoubleClick() {
    convertPage(Page::AppleDouble);
}

void TVESKAR::takeDrop(Page page, const QStringList& paths) {
    // Drawn in front before a message box can open over it.
    raise();
    activateWindow();
    repaint();
    std::vector<std::string> natives;
    natives.reserve(static_cast<std::size_t>(paths.size()));
    for (const QString& path : paths)
        natives.push_back(NativePath(path));
    ListEntries entries(ControlsOf(page).list);
    TakeDroppedPaths(entries, natives, [this](const std::string& message) {
        ShowMessage(this, QtText(texts::kMessageTitle), QtText(message));
    });
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
