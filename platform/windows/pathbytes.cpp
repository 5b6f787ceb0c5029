#include "platform/filenames.h"

namespace {
bool isDriveLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
// "C:\" and "C:/": a drive's root.
bool startsWithDriveRoot(const QByteArray &path)
{
    return path.size() >= 3 && isDriveLetter(path[0]) && path[1] == ':' && Platform::isSeparator(path[2]);
}
} // namespace

bool Platform::isSeparator(char c)
{
    return c == '\\' || c == '/';
}

qsizetype Platform::lastSeparator(const QByteArray &path)
{
    return qMax(path.lastIndexOf('\\'), path.lastIndexOf('/'));
}

// A drive's root or a share ("\\server\share", also the "\\?\" form);
// "\x" alone is relative to the current drive, "C:x" to that drive's
// current folder: neither says where it is.
bool Platform::isFullPath(const QByteArray &path)
{
    return startsWithDriveRoot(path)
        || (path.size() > 2 && isSeparator(path[0]) && isSeparator(path[1]));
}

QByteArray Platform::folderOfPath(const QByteArray &path)
{
    const qsizetype cut = lastSeparator(path);
    if (cut == 2 && startsWithDriveRoot(path))
        return path.left(3);
    return path.left(qMax(qsizetype(1), cut));
}

QByteArray Platform::nameOfPath(const QByteArray &path)
{
    return path.mid(lastSeparator(path) + 1);
}

QByteArray Platform::joinedPath(const QByteArray &folder, const QByteArray &name)
{
    return !folder.isEmpty() && isSeparator(folder.back()) ? folder + name : folder + '\\' + name;
}
