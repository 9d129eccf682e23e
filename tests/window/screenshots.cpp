// SPDX-License-Identifier: Apache-2.0
// Takes a picture of each page of the window for the README: run under xvfb-run, it fills
// the lists through real drop events, types a target folder, and grabs the window from the
// X server into PAGE.png files in the folder given.
#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QIcon>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPixmap>
#include <QScreen>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <cstdio>

#include "app/qt/tveskar.h"

using namespace veskar;

namespace {

struct Example {
    Page page;
    QStringList files;
};

const Example kExamples[] = {
    {Page::BinHex, {"/home/mac/Downloads/Sound Mixer.hqx", "/home/mac/Downloads/Read Me.hqx"}},
    {Page::McBinary,
     {"/home/mac/Archive/Icon Tool.bin", "/home/mac/Archive/Résumé.bin",
      "/home/mac/Archive/Read Me.bin"}},
    {Page::AppleSingle, {"/home/mac/Mail/attachments/Budget 1996.as"}},
    {Page::AppleDouble, {"/mnt/share/Photos/._Harbour", "/mnt/share/Photos/Harbour"}},
};

void DropOn(QListWidget* list, const QStringList& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls << QUrl::fromLocalFile(path);
    data.setUrls(urls);
    const QPoint at = list->viewport()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &enter);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &drop);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: veskar_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    // The first show chooses the settings' scope by writing to it: kept off the machine's.
    const QTemporaryDir settings;
    for (const auto scope : {QSettings::SystemScope, QSettings::UserScope})
        QSettings::setPath(QSettings::NativeFormat, scope, settings.path());
    TVESKAR window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) return 1;
    for (const Example& example : kExamples) {
        const TVESKAR::PageControls page = window.ControlsOf(example.page);
        DropOn(page.list, example.files);
        page.folder->setText(QStringLiteral("/mnt/ntfs/Converted/"));
    }
    for (const PageRow& row : Pages()) {
        window.Classeur->setCurrentWidget(window.ControlsOf(row.page).tab);
        QTest::qWait(200);
        QPixmap shot = window.screen()->grabWindow(window.winId());
        if (shot.isNull()) shot = window.grab();
        const QString file = out.filePath(
            QString::fromUtf8(row.caption.data(), qsizetype(row.caption.size())) + ".png");
        if (!shot.save(file)) {
            std::fprintf(stderr, "veskar_screenshots: %s: cannot write\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
