#pragma once

#include <QByteArray>
#include <QString>

namespace Platform {

// A key that is the same for every path that leads to one folder, links
// included; empty when the folder cannot be looked at.
QByteArray folderIdentity(const QString &folder);

} // namespace Platform
