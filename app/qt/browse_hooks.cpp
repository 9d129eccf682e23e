// SPDX-License-Identifier: Apache-2.0
#include "app/qt/browse_hooks.h"

#include <QApplication>
#include <QFileDialog>
#include <utility>

namespace veskar {

namespace {
FolderDialogHook& DialogHook() {
    static FolderDialogHook hook;
    return hook;
}
BeepHook& TheBeepHook() {
    static BeepHook hook;
    return hook;
}
}  // namespace

QString ChooseFolder(QWidget* owner, const QString& prompt, const QString& startFolder) {
    if (DialogHook()) return DialogHook()(owner, prompt, startFolder);
    return QFileDialog::getExistingDirectory(owner, prompt, startFolder, QFileDialog::ShowDirsOnly);
}

void Beep() {
    if (TheBeepHook()) {
        TheBeepHook()();
        return;
    }
    QApplication::beep();
}

FolderDialogHook SetFolderDialogHook(FolderDialogHook hook) {
    return std::exchange(DialogHook(), std::move(hook));
}

BeepHook SetBeepHook(BeepHook hook) {
    return std::exchange(TheBeepHook(), std::move(hook));
}

}  // namespace veskar
