// SPDX-License-Identifier: Apache-2.0
// Installed on the target folder boxes as an event filter: a drag that carries URLs is taken
// only when it is one local folder, which replaces the box's text with its native path; any
// other is refused, where a QLineEdit would insert the URLs as text. Drags of plain text
// reach the box unchanged.
#pragma once

#include <QObject>

class QEvent;

namespace veskar {
class FolderDropFilter : public QObject {
    Q_OBJECT

  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace veskar
