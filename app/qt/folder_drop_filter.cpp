// SPDX-License-Identifier: Apache-2.0
#include "app/qt/folder_drop_filter.h"

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>
#include <optional>
#include <string>
#include <vector>

#include "app/core/folder_drop.h"
#include "app/qt/qt_text.h"

namespace veskar {

namespace {

// The folder the drop's URLs name; nullopt when any of them is not a local file.
std::optional<std::string> DroppedFolder(const QMimeData& data) {
    std::vector<std::string> paths;
    for (const QUrl& url : data.urls()) {
        if (!url.isLocalFile()) return std::nullopt;
        paths.push_back(NativePath(url.toLocalFile()));
    }
    return DroppedTargetFolder(paths);
}

}  // namespace

bool FolderDropFilter::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return QObject::eventFilter(watched, event);
    auto* drop = static_cast<QDropEvent*>(event);
    const QMimeData* data = drop->mimeData();
    if (data == nullptr || !data->hasUrls()) return QObject::eventFilter(watched, event);
    const std::optional<std::string> folder = DroppedFolder(*data);
    auto* box = qobject_cast<QLineEdit*>(watched);
    if (!folder || box == nullptr || box->isReadOnly()) {
        drop->ignore();
        return true;
    }
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    if (type == QEvent::Drop) box->setText(QtPath(*folder));
    return true;
}

}  // namespace veskar
