// A shown main window for each test, with its messages recorded instead of shown, and drops
// delivered as real drag-and-drop events to a list's viewport.
#pragma once

#include <gtest/gtest.h>

#include <QListWidget>
#include <QMimeData>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <vector>

#include "app/qt/message_hook.h"
#include "app/qt/tveskar.h"

struct ShownMessage {
    QWidget* owner;
    QString title;
    QString text;
};

class WindowTest : public testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A drag entering the list's viewport, then the drop of these paths as file URLs.
    // Returns whether the viewport took the drop.
    bool Drop(QListWidget* list, const QStringList& paths);
    bool Drop(QListWidget* list, const QMimeData& data);
    static QStringList Entries(const QListWidget* list);

    QPointer<TVESKAR> window;
    std::vector<ShownMessage> messages;

  private:
    MessageHook savedHook_;
};
