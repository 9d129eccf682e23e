// SPDX-License-Identifier: Apache-2.0
// The program veskar: the converter's window. It takes nothing from its command line.
#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QPointer>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string_view>

#include "app/core/window_texts.h"
#include "app/qt/qt_text.h"
#include "app/qt/tveskar.h"

using namespace veskar;

// The main form; it frees itself when it closes.
QPointer<TVESKAR> VESKAR;

namespace {

bool Set(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// Whether Qt has a display to open: a platform named outright (offscreen, vnc, ...) or an X
// or Wayland display. Without one, Qt would abort the program.
bool HasDisplay() {
    if (Set("QT_QPA_PLATFORM")) {
        const std::string_view platform = std::getenv("QT_QPA_PLATFORM");
        if (!platform.starts_with("xcb") && !platform.starts_with("wayland")) return true;
    }
    return Set("DISPLAY") || Set("WAYLAND_DISPLAY");
}

}  // namespace

int main(int argc, char** argv) {
    if (!HasDisplay()) {
        std::fputs("veskar: no display; veskar-convert converts on the command line\n", stderr);
        return 2;
    }
    QApplication application(argc, argv);
    const QString title = QtText(texts::kApplicationTitle);
    try {
        const QIcon icon(QStringLiteral(":/veskar.svg"));
        QApplication::setWindowIcon(icon);
        VESKAR = new TVESKAR;
        VESKAR->setWindowIcon(icon);
        // The application's name is what the task bar shows; the caption stays the form's.
        QApplication::setApplicationName(title);
        VESKAR->show();
        QApplication::exec();
    } catch (const std::exception& error) {
        QMessageBox::critical(nullptr, title, QString::fromLocal8Bit(error.what()));
    } catch (...) {
        QMessageBox::critical(nullptr, title, QString());
    }
    return 0;
}
