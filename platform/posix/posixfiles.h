#pragma once

#include <QByteArray>

#include "platform/files.h"

namespace Platform {

// The no-replace rename every POSIX system has: a hard link, which fails
// when the name is taken, then the old name removed.
Renamed linkNoReplace(int fromFolder, const QByteArray &from, int toFolder, const QByteArray &to,
                      int *error);

} // namespace Platform
