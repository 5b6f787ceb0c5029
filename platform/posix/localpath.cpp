#include "platform/localpath.h"

#include <QFile>

QByteArray Platform::nativeLocalPath(const QUrl &url)
{
    // toLocalFile() decodes the name as text and loses bytes that are not;
    // the encoded path keeps them.
    if (!url.host().isEmpty())
        return QFile::encodeName(url.toLocalFile());
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
}
