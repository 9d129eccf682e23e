// SPDX-License-Identifier: Apache-2.0
// Crossing between Qt's strings and the core's: texts of the shared table are UTF-8, paths
// are native file-system strings.
#pragma once

#include <QFile>
#include <QString>
#include <string>
#include <string_view>

namespace veskar {

inline QString QtText(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

inline std::string NativePath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

inline QString QtPath(const std::string& native) {
    return QFile::decodeName(QByteArray::fromStdString(native));
}

}  // namespace veskar
