#include "platform/folderidentity.h"

#include <QFile>
#include <sys/stat.h>

QByteArray Platform::folderIdentity(const QString &folder)
{
    struct stat info {};
    if (::stat(QFile::encodeName(folder).constData(), &info) != 0)
        return QByteArray();
    QByteArray key;
    key.append(reinterpret_cast<const char *>(&info.st_dev), sizeof info.st_dev);
    key.append(reinterpret_cast<const char *>(&info.st_ino), sizeof info.st_ino);
    return key;
}
