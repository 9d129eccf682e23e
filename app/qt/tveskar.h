// SPDX-License-Identifier: Apache-2.0
// The main window: four pages, one per encoding, each with its list of files to convert, a
// target folder box and a Convert button. The behaviour that is not drawing lives in app/core
// (the pages' rules in PageController) and app/core/conversion_run; this class binds it to Qt
// widgets.
#pragma once

#include <QStringList>
#include <QWidget>
#include <optional>
#include <string>
#include <string_view>

#include "app/core/page_controller.h"
#include "app/core/window_layout.h"
#include "app/qt/folder_drop_filter.h"
#include "app/qt/list_drop_filter.h"

class QCloseEvent;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QShowEvent;
class QStatusBar;
class QTabWidget;

namespace veskar {
class TVESKAR : public QWidget, private PageView {
    Q_OBJECT

  public:
    // `import`: what each page's Convert runs for an entry; the window's own imports unless a
    // test watches the calls.
    explicit TVESKAR(QWidget* parent = nullptr, PageImport import = ImportOfPage);

    // The controls, named and declared as the form's layout has them.
    QPushButton* Fermer;
    QStatusBar* Barre;
    QTabWidget* Classeur;
    QWidget* TabBinhex;
    QWidget* TabMcBinary;
    QWidget* TabAppleSingle;
    QWidget* TabAppleDouble;
    QGroupBox* GBBinHex;
    QListWidget* ListeBinHex;
    QGroupBox* GBDossBinHex;
    QLineEdit* DossierBinHex;
    QPushButton* BrowseBinHex;
    QPushButton* ExeBinHex;
    QGroupBox* GBAppleSingle;
    QListWidget* ListeAppleSingle;
    QGroupBox* GPDossAppleSingle;
    QLineEdit* DossierAppleSingle;
    QPushButton* BrowseAppleSingle;
    QPushButton* ExeAppleSingle;
    QGroupBox* GBMcBinary;
    QListWidget* ListeMcBinary;
    QGroupBox* GroupBox6;
    QLineEdit* DossierMcBinary;
    QPushButton* BrowseMcBinary;
    QPushButton* ExeMcBinary;
    QGroupBox* GPAppleDouble;
    QListWidget* ListeAppleDouble;
    QGroupBox* GBDossAppleDouble;
    QLineEdit* DossierAppleDouble;
    QPushButton* BrowseAppleDouble;
    QPushButton* ExeAppleDouble;

    // The lists' replaced window procedures, installed at first show and removed at close.
    ListDropFilter LBHNewWndProc;
    ListDropFilter LMBNewWndProc;
    ListDropFilter LASNewWndProc;
    ListDropFilter LADNewWndProc;

    // The controls of one page, for code that works on any page.
    struct PageControls {
        QWidget* tab;
        QGroupBox* filesBox;
        QListWidget* list;
        QGroupBox* targetBox;
        QLineEdit* folder;
        QPushButton* browse;
        QPushButton* convert;
        ListDropFilter* dropFilter;
    };
    PageControls ControlsOf(Page page);

  public slots:
    void FormShow();
    void FermerClick();

    void ListeBinHexChange();
    void ListeMcBinaryChange();
    void ListeAppleSingleChange();
    void ListeAppleDoubleChange();

    void DossierBinHexChange();
    void DossierMcBinaryChange();
    void DossierAppleSingleChange();
    void DossierAppleDoubleChange();

    void BrowseBinHexClick();
    void BrowseMcBinaryClick();
    void BrowseAppleSingleClick();
    void BrowseAppleDoubleClick();

    void ExeBinHexClick();
    void ExeMcBinaryClick();
    void ExeAppleSingleClick();
    void ExeAppleDoubleClick();

    void LBHDropFiles(const QStringList& paths);
    void LMBDropFiles(const QStringList& paths);
    void LASDropFiles(const QStringList& paths);
    void LADDropFiles(const QStringList& paths);

    // Ctrl+Tab and Ctrl+Shift+Tab, wherever the focus is in the window.
    void NextPage();
    void PreviousPage();

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void FormClose(QCloseEvent* event);

    void createForm();
    void createPages();
    void createLists();
    void connectSignals();

    void takeDrop(Page page, const QStringList& paths);
    void cyclePage(bool backwards);

    // PageView, over the page's controls. Entries and folder texts are native paths.
    std::size_t EntryCount(Page page) override;
    std::string EntryText(Page page, std::size_t index) override;
    void AddEntry(Page page, const std::string& text) override;
    void DeleteFirstEntry(Page page) override;
    void AcceptDrops(Page page, bool accept) override;
    std::string FolderText(Page page) override;
    void SetFolderText(Page page, const std::string& text) override;
    void ClearFolder(Page page) override;
    void EnableConvert(Page page, bool enabled) override;
    void EnableExit(bool enabled) override;
    // The folder dialog at the remembered folder; the chosen folder, already remembered.
    std::optional<std::string> BrowseForFolder(std::string_view prompt) override;
    void Beep() override;
    void BringToFront() override;
    void ShowDuplicate(const std::string& path) override;

    bool shown_ = false;
    // On every target folder box: a dropped folder comes in as its path, never as a URI.
    FolderDropFilter folderDrops_;
    PageController pages_;
};

}  // namespace veskar
