// SPDX-License-Identifier: Apache-2.0
// The program veskar: the converter's window. It takes nothing from its command line.
#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QPointer>
#include <exception>

#include "app/core/window_texts.h"
#include "app/qt/qt_text.h"
#include "app/qt/tveskar.h"

using namespace veskar;

// The main form; it frees itself when it closes.
QPointer<TVESKAR> VESKAR;

int main(int argc, char** argv) {
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
