#pragma once

#include <QByteArray>
#include <QUrl>

namespace Platform {

// The native path of a local file URL, as the file system's own bytes: a
// name that is not valid text keeps its bytes where the system has such names.
QByteArray nativeLocalPath(const QUrl &url);

} // namespace Platform
