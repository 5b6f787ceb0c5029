#include "platform/filenames.h"

QByteArray Platform::encodeName(const QString &name)
{
    return name.toUtf8();
}

QString Platform::decodeName(const QByteArray &name)
{
    return QString::fromUtf8(name);
}
