#include "platform/filenames.h"

#include <QFile>

QByteArray Platform::encodeName(const QString &name)
{
    return QFile::encodeName(name);
}

QString Platform::decodeName(const QByteArray &name)
{
    return QFile::decodeName(name);
}

bool Platform::refusesWindowsNames()
{
    return false;
}
