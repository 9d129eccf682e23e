// SPDX-License-Identifier: Apache-2.0
// A shown main window for each test, with its messages recorded instead of shown, its folder
// dialog answered from a queue, its beeps counted, its settings in a folder of the test's
// own, and drops delivered as real drag-and-drop events to a list's viewport.
#pragma once

#include <gtest/gtest.h>

#include <QListWidget>
#include <QMimeData>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <vector>

#include "app/qt/browse_hooks.h"
#include "app/qt/message_hook.h"
#include "app/qt/tveskar.h"

namespace veskar {

struct ShownMessage {
    QWidget* owner;
    QString title;
    QString text;
};

struct FolderRequest {
    QWidget* owner;
    QString prompt;
    QString startFolder;
};

// Points QSettings' system and user scopes at folders of a fresh temporary folder, and back
// at the machine's own at the end of the scope.
class SettingsSandbox {
  public:
    SettingsSandbox();
    ~SettingsSandbox();
    SettingsSandbox(const SettingsSandbox&) = delete;
    SettingsSandbox& operator=(const SettingsSandbox&) = delete;

    QString SystemPath() const { return dir_.filePath(QStringLiteral("system")); }
    QString UserPath() const { return dir_.filePath(QStringLiteral("user")); }
    // The files the program key becomes in each scope.
    QString SystemFile() const;
    QString UserFile() const;
    // Makes the system scope a place where nothing can be created: below a regular file.
    void MakeSystemUnwritable();

  private:
    QTemporaryDir dir_;
};

class WindowTest : public testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A drag entering the list's viewport, then the drop of these paths as file URLs.
    // Returns whether the viewport took the drop.
    bool Drop(QListWidget* list, const QStringList& paths);
    bool Drop(QListWidget* list, const QMimeData& data);
    // The same on any widget that takes drops itself, such as a target folder box.
    static bool DropOn(QWidget* target, const QMimeData& data);
    static QStringList Entries(const QListWidget* list);

    // Clicks a Browse button, the dialog answering `answer` (an empty text cancels).
    void Browse(QPushButton* browse, const QString& answer);

    SettingsSandbox settings;
    // What the window's Convert buttons run: the window's own imports, unless a test puts a
    // recorder in their place.
    PageImport import = ImportOfPage;
    QPointer<TVESKAR> window;
    std::vector<ShownMessage> messages;
    // What the folder dialog was asked, and what it answers next (cancel when none is left).
    std::vector<FolderRequest> folderRequests;
    std::deque<QString> folderAnswers;
    int beeps = 0;

  private:
    MessageHook savedHook_;
    FolderDialogHook savedDialog_;
    BeepHook savedBeep_;
};

}  // namespace veskar
