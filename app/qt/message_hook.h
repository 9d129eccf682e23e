// SPDX-License-Identifier: Apache-2.0
// The window's message box, behind a hook so that tests run unattended.
#pragma once

#include <functional>

class QString;
class QWidget;

namespace veskar {
using MessageHook = std::function<void(QWidget* owner, const QString& title, const QString& text)>;

// Shows a modal message with an OK button and no icon; returns when it is closed.
void ShowMessage(QWidget* owner, const QString& title, const QString& text);

// Replaces how ShowMessage shows; an empty hook puts the message box back. Returns the hook
// it replaces.
MessageHook SetMessageHook(MessageHook hook);

}  // namespace veskar
