// SPDX-License-Identifier: Apache-2.0
#include "app/qt/message_hook.h"

#include <QMessageBox>
#include <utility>

namespace veskar {

namespace {
MessageHook& Hook() {
    static MessageHook hook;
    return hook;
}
}  // namespace

void ShowMessage(QWidget* owner, const QString& title, const QString& text) {
    if (Hook()) {
        Hook()(owner, title, text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, owner);
    box.exec();
}

MessageHook SetMessageHook(MessageHook hook) {
    return std::exchange(Hook(), std::move(hook));
}

}  // namespace veskar
