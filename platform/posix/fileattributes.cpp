#include "platform/fileattributes.h"

#include <QFile>
#include <sys/stat.h>

int Platform::attributesOf(const QByteArray &nativePath)
{
    // A closing separator would make lstat look through a link.
    QByteArray native = nativePath;
    while (native.size() > 1 && native.endsWith('/'))
        native.chop(1);
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0)
        return -1;
    int value = 0;
    if (S_ISLNK(info.st_mode)) {
        value |= Attr::ReparsePoint;
        if (::stat(native.constData(), &info) != 0)
            info.st_mode = 0; // dangling: a link to nothing
    }
    if (S_ISDIR(info.st_mode))
        value |= Attr::Folder;
    else if (S_ISREG(info.st_mode))
        value |= Attr::Archive;
    if (native.mid(native.lastIndexOf('/') + 1).startsWith('.'))
        value |= Attr::Hidden;
    return value;
}

int Platform::attributesOf(const QString &path)
{
    return attributesOf(QFile::encodeName(path));
}
