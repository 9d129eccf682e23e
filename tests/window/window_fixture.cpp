// SPDX-License-Identifier: Apache-2.0
#include "tests/window/window_fixture.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QUrl>

namespace veskar {

namespace {
void PointScopes(const QString& system, const QString& user) {
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, system);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, user);
}
}  // namespace

SettingsSandbox::SettingsSandbox() {
    PointScopes(SystemPath(), UserPath());
}

SettingsSandbox::~SettingsSandbox() {
    // QSettings' own defaults on Linux.
    PointScopes(QStringLiteral("/etc/xdg"),
                QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
}

QString SettingsSandbox::SystemFile() const {
    return SystemPath() + QStringLiteral("/Quorvane/VESKAR.conf");
}

QString SettingsSandbox::UserFile() const {
    return UserPath() + QStringLiteral("/Quorvane/VESKAR.conf");
}

void SettingsSandbox::MakeSystemUnwritable() {
    const QString file = dir_.filePath(QStringLiteral("regular-file"));
    QFile(file).open(QIODevice::WriteOnly);
    PointScopes(file + QStringLiteral("/system"), UserPath());
}

void WindowTest::SetUp() {
    savedHook_ = SetMessageHook([this](QWidget* owner, const QString& title, const QString& text) {
        messages.push_back({owner, title, text});
    });
    savedDialog_ = SetFolderDialogHook(
        [this](QWidget* owner, const QString& prompt, const QString& startFolder) {
            folderRequests.push_back({owner, prompt, startFolder});
            if (folderAnswers.empty()) return QString();
            QString answer = folderAnswers.front();
            folderAnswers.pop_front();
            return answer;
        });
    savedBeep_ = SetBeepHook([this] { ++beeps; });
    window =
        new TVESKAR(nullptr, [this](Page page, std::string_view target, std::string_view source) {
            return import(page, target, source);
        });
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
}

void WindowTest::TearDown() {
    delete window.data();
    SetMessageHook(savedHook_);
    SetFolderDialogHook(savedDialog_);
    SetBeepHook(savedBeep_);
}

void WindowTest::Browse(QPushButton* browse, const QString& answer) {
    folderAnswers.push_back(answer);
    browse->click();
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
    return DropOn(list->viewport(), data);
}

bool WindowTest::DropOn(QWidget* target, const QMimeData& data) {
    // The drop follows even a refused entry, so that a refusal is seen to hold.
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return enter.isAccepted() && drop.isAccepted();
}

QStringList WindowTest::Entries(const QListWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

}  // namespace veskar
