#include "writer/platform/files.h"
#include "writer/platform/toolprocess.h"

#include <cerrno>
#include <fcntl.h>
#include <stdio.h>
#include <csignal>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
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

void Platform::lowerThisThreadsPriority()
{
    // Linux gives each thread its own nice value; once per thread is enough.
    static thread_local const bool lowered =
        ::setpriority(PRIO_PROCESS, id_t(::syscall(SYS_gettid)), 5) == 0;
    Q_UNUSED(lowered)
}

void Platform::endWithThisProgram()
{
    const pid_t parent = ::getppid();
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The program may have ended before the line above.
    if (::getppid() != parent)
        ::_exit(127);
}
