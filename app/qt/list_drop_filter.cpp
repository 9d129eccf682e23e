// SPDX-License-Identifier: Apache-2.0
#include "app/qt/list_drop_filter.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace veskar {

namespace {

// One path per local-file URL, in the order of the drop; other URLs are no files to convert.
QStringList LocalPaths(const QMimeData* data) {
    QStringList paths;
    if (data == nullptr || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) paths << url.toLocalFile();
    }
    return paths;
}

}  // namespace

bool ListDropFilter::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (LocalPaths(drag->mimeData()).isEmpty()) break;
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            const QStringList paths = LocalPaths(drop->mimeData());
            if (paths.isEmpty()) break;
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            emit filesDropped(paths);
            return true;
        }
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace veskar
