#include "platform/files.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

bool Platform::syncData(int fd)
{
    return ::fdatasync(fd) == 0;
}

void Platform::startWriteBack(int fd)
{
    ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
}

Platform::Renamed Platform::renameNoReplace(int fromFolder, const QByteArray &from, int toFolder,
                                            const QByteArray &to, int *error)
{
    if (::renameat2(fromFolder, from.constData(), toFolder, to.constData(), RENAME_NOREPLACE) == 0)
        return Renamed::Done;
    *error = errno;
    if (*error == EEXIST)
        return Renamed::Taken;
    // FUSE, some network and older file systems have no rename flags.
    if (*error == EINVAL || *error == ENOSYS || *error == ENOTSUP || *error == EPERM
        || *error == EOPNOTSUPP)
        return Renamed::Unsupported;
    return Renamed::Failed;
}

QByteArray Platform::descriptorPath(int fd)
{
    return "/proc/self/fd/" + QByteArray::number(fd);
}
