#include "platform/filenames.h"

#include <QDir>

// Windows takes "/" for "\" in most calls but not in the "\\?\" form that
// long paths need, and a path typed with "/" must compare equal to the same
// path from a dialog: every path is kept with "\".
QByteArray Platform::encodeName(const QString &name)
{
    return QDir::toNativeSeparators(name).toUtf8();
}

QString Platform::decodeName(const QByteArray &name)
{
    return QString::fromUtf8(name);
}

bool Platform::refusesWindowsNames()
{
    return true;
}
