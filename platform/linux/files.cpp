#include "platform/files.h"
#include "platform/posix/posixfiles.h"

#include <cerrno>
#include <fcntl.h>
#include <stdio.h>
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
    // File systems without that rename: a hard link fails as well when the
    // name is taken.
    if (*error == EINVAL || *error == ENOSYS || *error == ENOTSUP)
        return linkNoReplace(fromFolder, from, toFolder, to, error);
    if (*error == EPERM || *error == EOPNOTSUPP)
        return Renamed::Unsupported;
    return Renamed::Failed;
}

QByteArray Platform::descriptorPath(int fd)
{
    return "/proc/self/fd/" + QByteArray::number(fd);
}
