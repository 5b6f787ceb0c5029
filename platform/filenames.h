#pragma once

#include <QByteArray>
#include <QString>

namespace Platform {

// A file name as the bytes every platform call here takes: the file
// system's own bytes on POSIX systems, UTF-8 on Windows (whose code pages
// cannot hold every name).
QByteArray encodeName(const QString &name);
QString decodeName(const QByteArray &name);

} // namespace Platform
