#include "platform/localpath.h"

#include <QDir>

QByteArray Platform::nativeLocalPath(const QUrl &url)
{
    // Windows names are UTF-16, so the URL's text keeps them all; they go on
    // as UTF-8, as every name in the platform's interfaces does here.
    return QDir::toNativeSeparators(url.toLocalFile()).toUtf8();
}
