#include "platform/filenames.h"

bool Platform::isSeparator(char c)
{
    return c == '/';
}

qsizetype Platform::lastSeparator(const QByteArray &path)
{
    return path.lastIndexOf('/');
}

bool Platform::isFullPath(const QByteArray &path)
{
    return path.startsWith('/');
}

QByteArray Platform::folderOfPath(const QByteArray &path)
{
    return path.left(qMax(qsizetype(1), lastSeparator(path)));
}

QByteArray Platform::nameOfPath(const QByteArray &path)
{
    return path.mid(lastSeparator(path) + 1);
}

QByteArray Platform::joinedPath(const QByteArray &folder, const QByteArray &name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}
