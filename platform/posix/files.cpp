#include "platform/files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

Platform::FileKind kindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return Platform::FileKind::Regular;
    if (S_ISDIR(mode))
        return Platform::FileKind::Folder;
    if (S_ISFIFO(mode))
        return Platform::FileKind::Pipe;
    if (S_ISSOCK(mode))
        return Platform::FileKind::Socket;
    if (S_ISLNK(mode))
        return Platform::FileKind::Link;
    return Platform::FileKind::Device;
}

Platform::FileStatus fromStat(int result, const struct stat &info)
{
    Platform::FileStatus status;
    if (result != 0) {
        status.error = errno;
        return status;
    }
    status.kind = kindOf(info.st_mode);
    status.ownedByUser = info.st_uid == ::geteuid();
    status.size = std::int64_t(info.st_size);
    status.modifiedSeconds = std::int64_t(info.st_mtime);
    status.device = std::uint64_t(info.st_dev);
    status.inode = std::uint64_t(info.st_ino);
    return status;
}

constexpr int ReadFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

} // namespace

int Platform::lastError()
{
    return errno;
}

QString Platform::errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool Platform::isMissing(int error)
{
    return error == ENOENT;
}

bool Platform::isTaken(int error)
{
    return error == EEXIST;
}

Platform::FileStatus Platform::statusOf(const QByteArray &path)
{
    struct stat info {};
    const int result = ::stat(path.constData(), &info);
    return fromStat(result, info);
}

Platform::FileStatus Platform::statusOf(int fd)
{
    struct stat info {};
    const int result = ::fstat(fd, &info);
    return fromStat(result, info);
}

Platform::FileStatus Platform::statusForReading(const QByteArray &path)
{
    return withoutIdentity(statusOf(path));
}

Platform::FileStatus Platform::statusForReading(int fd)
{
    return withoutIdentity(statusOf(fd));
}

Platform::FileStatus Platform::statusAt(int folder, const QByteArray &name)
{
    struct stat info {};
    const int result = ::fstatat(folder, name.constData(), &info, AT_SYMLINK_NOFOLLOW);
    return fromStat(result, info);
}

int Platform::openForReading(const QByteArray &path)
{
    return ::open(path.constData(), ReadFlags);
}

int Platform::openForReadingAt(int folder, const QByteArray &name)
{
    return ::openat(folder, name.constData(), ReadFlags | O_NOFOLLOW);
}

int Platform::openFolder(const QByteArray &path)
{
    return ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

int Platform::openFolderAt(int folder, const QByteArray &name)
{
    return ::openat(folder, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

int Platform::openLockAt(int folder, const QByteArray &name)
{
    return ::openat(folder, name.constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
}

int Platform::createLockAt(int folder, const QByteArray &name)
{
    return ::openat(folder, name.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
}

void Platform::closeFile(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

std::int64_t Platform::readAt(int fd, void *into, std::size_t length, std::int64_t offset)
{
    ssize_t got = -1;
    do
        got = ::pread(fd, into, length, off_t(offset));
    while (got < 0 && errno == EINTR);
    return std::int64_t(got);
}

bool Platform::tryLock(int fd)
{
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0;
}

QList<QByteArray> Platform::namesIn(int folder)
{
    QList<QByteArray> names;
    const int copy = ::dup(folder);
    if (copy < 0)
        return names;
    DIR *dir = ::fdopendir(copy);
    if (!dir) {
        ::close(copy);
        return names;
    }
    ::rewinddir(dir);
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names.append(name);
    }
    ::closedir(dir);
    return names;
}

bool Platform::removeFileAt(int folder, const QByteArray &name)
{
    return ::unlinkat(folder, name.constData(), 0) == 0;
}

bool Platform::removeFolderAt(int folder, const QByteArray &name)
{
    return ::unlinkat(folder, name.constData(), AT_REMOVEDIR) == 0;
}

bool Platform::makePrivateFolder(QByteArray *pathTemplate)
{
    return ::mkdtemp(pathTemplate->data()) != nullptr;
}

bool Platform::syncFile(int fd)
{
    return ::fsync(fd) == 0;
}

Platform::Renamed Platform::linkNoReplace(int fromFolder, const QByteArray &from, int toFolder,
                                          const QByteArray &to, int *error)
{
    if (::linkat(fromFolder, from.constData(), toFolder, to.constData(), 0) == 0) {
        ::unlinkat(fromFolder, from.constData(), 0);
        return Renamed::Done;
    }
    *error = errno;
    if (*error == EEXIST)
        return Renamed::Taken;
    if (*error == EPERM || *error == ENOTSUP || *error == EOPNOTSUPP || *error == ENOSYS)
        return Renamed::Unsupported;
    return Renamed::Failed;
}

bool Platform::renameReplacing(int fromFolder, const QByteArray &from, int toFolder, const QByteArray &to)
{
    return ::renameat(fromFolder, from.constData(), toFolder, to.constData()) == 0;
}

int Platform::createExclusiveAt(int folder, const QByteArray &name)
{
    // The claim becomes the copy where a rename cannot replace it, so it
    // takes the mode a new file of this user gets.
    return ::openat(folder, name.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
}

bool Platform::writeAt(int fd, const void *from, std::size_t length, std::int64_t offset)
{
    const char *bytes = static_cast<const char *>(from);
    while (length > 0) {
        const ssize_t put = ::pwrite(fd, bytes, length, off_t(offset));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        bytes += put;
        length -= std::size_t(put);
        offset += put;
    }
    return true;
}

bool Platform::truncateFile(int fd, std::int64_t length)
{
    return ::ftruncate(fd, off_t(length)) == 0;
}

bool Platform::refusesExclusiveCreate(int error)
{
    return error == EPERM || error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS || error == EINVAL;
}
