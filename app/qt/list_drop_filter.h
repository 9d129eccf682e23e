// SPDX-License-Identifier: Apache-2.0
// Stands in for a list's replaced window procedure: installed on a list and its viewport as
// an event filter, it takes a drop of local files and hands their paths on, in drop order;
// every other event reaches the list unchanged.
#pragma once

#include <QObject>
#include <QStringList>

class QEvent;

namespace veskar {
class ListDropFilter : public QObject {
    Q_OBJECT

  public:
    using QObject::QObject;

  signals:
    void filesDropped(const QStringList& paths);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace veskar
