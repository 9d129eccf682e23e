#include "tests/window/window_fixture.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QUrl>

void WindowTest::SetUp() {
    savedHook_ = SetMessageHook([this](QWidget* owner, const QString& title, const QString& text) {
        messages.push_back({owner, title, text});
    });
    window = new TVESKAR;
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
}

void WindowTest::TearDown() {
    delete window.data();
    SetMessageHook(savedHook_);
}

bool WindowTest::Drop(QListWidget* list, const QStringList& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls << QUrl::fromLocalFile(path);
    data.setUrls(urls);
    return Drop(list, data);
}

bool WindowTest::Drop(QListWidget* list, const QMimeData& data) {
    // A drop reaches only the widget that accepted the drag's entry, as in a real drag.
    QWidget* viewport = list->viewport();
    const QPoint at = viewport->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
    return enter.isAccepted() && drop.isAccepted();
}

QStringList WindowTest::Entries(const QListWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}
