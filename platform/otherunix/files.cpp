#include "platform/files.h"
#include "platform/posix/posixfiles.h"

#include <unistd.h>

bool Platform::syncData(int fd)
{
    return ::fsync(fd) == 0;
}

void Platform::startWriteBack(int)
{
}

Platform::Renamed Platform::renameNoReplace(int fromFolder, const QByteArray &from, int toFolder,
                                            const QByteArray &to, int *error)
{
    return linkNoReplace(fromFolder, from, toFolder, to, error);
}

QByteArray Platform::descriptorPath(int fd)
{
    return "/dev/fd/" + QByteArray::number(fd);
}
