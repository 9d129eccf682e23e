// SPDX-License-Identifier: Apache-2.0
// The Browse buttons' folder dialog and beep, behind hooks so that tests run unattended.
#pragma once

#include <functional>

class QString;
class QWidget;

namespace veskar {
// Returns the chosen folder's path, or an empty text when the user cancelled.
using FolderDialogHook =
    std::function<QString(QWidget* owner, const QString& prompt, const QString& startFolder)>;
using BeepHook = std::function<void()>;

// A modal folder dialog over `owner`, titled with the prompt, opening with `startFolder`
// selected and shown; only folders can be chosen.
QString ChooseFolder(QWidget* owner, const QString& prompt, const QString& startFolder);
// The system's default beep.
void Beep();

// Each replaces how its call works; an empty hook puts Qt's own back. Returns the hook it
// replaces.
FolderDialogHook SetFolderDialogHook(FolderDialogHook hook);
BeepHook SetBeepHook(BeepHook hook);

}  // namespace veskar
