#include "platform/files.h"

#include <cerrno>
#include <sys/mount.h>
#include <sys/param.h>
#include <unistd.h>

bool Platform::syncData(int fd)
{
    return ::fsync(fd) == 0;
}

void Platform::startWriteBack(int)
{
}

// No rename flags here: the run falls back on a hard link.
Platform::Renamed Platform::renameNoReplace(int, const QByteArray &, int, const QByteArray &, int *error)
{
    *error = ENOTSUP;
    return Renamed::Unsupported;
}

Platform::FileSystemType Platform::fileSystemOf(int fd)
{
    FileSystemType found;
#if defined(__APPLE__) || defined(__FreeBSD__) || defined(__OpenBSD__) || defined(__NetBSD__)
    struct statfs info {};
    if (::fstatfs(fd, &info) == 0) {
        found.type = QByteArray(info.f_fstypename);
        found.source = QByteArray(info.f_mntfromname);
    }
#else
    Q_UNUSED(fd)
#endif
    return found;
}

QByteArray Platform::descriptorPath(int fd)
{
    return "/dev/fd/" + QByteArray::number(fd);
}
