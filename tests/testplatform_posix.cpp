#include "testplatform.h"

#include <QFile>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool makeSymbolicLink(const QString &target, const QString &link)
{
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0;
}

bool makeNamedPipe(const QString &path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0644) == 0;
}

bool runsAsSuperUser()
{
    return ::geteuid() == 0;
}

bool fileNamesAreBytes()
{
    return true;
}

bool makeFileNamedBytes(const QByteArray &path)
{
    const int fd = ::creat(path.constData(), 0644);
    return fd >= 0 && ::close(fd) == 0;
}

bool makeFolderNamedBytes(const QByteArray &path)
{
    return ::mkdir(path.constData(), 0755) == 0;
}
