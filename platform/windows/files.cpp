#include "platform/files.h"
#include "platform/windows/winfiles.h"

#include <QRandomGenerator>
#include <algorithm>

// Names cross this interface as UTF-8 on Windows. The file system's names are
// UTF-16, and UTF-8 keeps every one of them, where QFile::encodeName gives the
// ANSI code page and loses what it cannot hold.

using namespace Platform::Win;

namespace {

constexpr DWORD StatusAccess = FILE_READ_ATTRIBUTES | READ_CONTROL;

// A file only read needs no identity and no owner, each a question more to
// the system; under Wine the volume is a round trip to the mount manager.
enum class Asked { Everything, ForReading };

// volume: the one the file is on, where it is known.
Platform::FileStatus statusOfHandle(HANDLE handle, const std::uint64_t *volume, Asked asked = Asked::Everything)
{
    Platform::FileStatus status;
    const DWORD type = GetFileType(handle);
    if (type == FILE_TYPE_UNKNOWN && GetLastError() != NO_ERROR) {
        status.error = int(GetLastError());
        return status;
    }
    if (type != FILE_TYPE_DISK) {
        status.kind = type == FILE_TYPE_PIPE ? Platform::FileKind::Pipe : Platform::FileKind::Device;
        return status;
    }
    // Not GetFileInformationByHandle: under Wine it asks the mount manager
    // for the volume twice, where the volume is mostly known here.
    FILE_BASIC_INFO basic{};
    FILE_STANDARD_INFO standard{};
    if (volume)
        status.device = *volume;
    const bool identify = asked == Asked::Everything;
    if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)
        || !GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard)
        || (identify && !indexOf(handle, &status.inode))
        || (identify && !volume && !volumeOf(handle, &status.device))) {
        status.error = int(GetLastError());
        return status;
    }
    status.kind = (basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? Platform::FileKind::Folder
                                                                      : Platform::FileKind::Regular;
    DWORD tag = 0;
    if ((basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        && attributesOf(handle, &tag) != INVALID_FILE_ATTRIBUTES) {
        if (tag == DWORD(IO_REPARSE_TAG_AF_UNIX))
            status.kind = Platform::FileKind::Socket;
        else if (IsReparseTagNameSurrogate(tag))
            status.kind = Platform::FileKind::Link;
    }
    if (identify)
        status.ownedByUser = ownedByUser(handle);
    else
        status = Platform::withoutIdentity(status);
    status.size = standard.EndOfFile.QuadPart;
    // FILETIME counts 100 ns steps from 1601.
    status.modifiedSeconds = (basic.LastWriteTime.QuadPart - 116444736000000000LL) / 10000000;
    return status;
}

// A status from a handle opened for the purpose; one that may not read the
// owner still gives the rest, and then is not the user's (an owner may
// always read its owner).
Platform::FileStatus statusOfPath(const QString &path, DWORD flags, const std::uint64_t *volume = nullptr,
                                  Asked asked = Asked::Everything)
{
    HANDLE handle = openPath(path, asked == Asked::Everything ? StatusAccess : FILE_READ_ATTRIBUTES, ShareAll,
                             OPEN_EXISTING, flags);
    if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED)
        handle = openPath(path, FILE_READ_ATTRIBUTES, ShareAll, OPEN_EXISTING, flags);
    if (handle == INVALID_HANDLE_VALUE) {
        Platform::FileStatus status;
        status.error = int(GetLastError());
        return status;
    }
    const Platform::FileStatus status = statusOfHandle(handle, volume, asked);
    CloseHandle(handle);
    return status;
}

} // namespace

int Platform::lastError()
{
    return int(GetLastError());
}

QString Platform::errorText(int error)
{
    wchar_t *text = nullptr;
    const DWORD flags =
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    const DWORD length =
        FormatMessageW(flags, nullptr, DWORD(error), 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    const QString message = length ? QString::fromWCharArray(text, int(length)).trimmed()
                                   : QStringLiteral("error %1").arg(error);
    LocalFree(text);
    return message;
}

bool Platform::isMissing(int error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool Platform::isTaken(int error)
{
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

Platform::FileStatus Platform::statusOf(const QByteArray &path)
{
    return statusOfPath(nativePath(path), OpenFlags);
}

Platform::FileStatus Platform::statusOf(int fd)
{
    std::uint64_t volume = 0;
    return statusOfHandle(handleOf(fd), volumeOfDescriptor(fd, &volume) ? &volume : nullptr);
}

Platform::FileStatus Platform::statusForReading(const QByteArray &path)
{
    return statusOfPath(nativePath(path), OpenFlags, nullptr, Asked::ForReading);
}

Platform::FileStatus Platform::statusForReading(int fd)
{
    return statusOfHandle(handleOf(fd), nullptr, Asked::ForReading);
}

Platform::FileStatus Platform::statusAt(int folder, const QByteArray &name)
{
    const QString path = pathIn(folder, name);
    if (path.isEmpty()) {
        FileStatus status;
        status.error = int(GetLastError());
        return status;
    }
    // A folder here may be where another disk is mounted: its own volume.
    std::uint64_t volume = 0;
    const bool knownVolume = volumeOfDescriptor(folder, &volume);
    FileStatus status = statusOfPath(path, OpenFlags | NoFollow, knownVolume ? &volume : nullptr);
    if (knownVolume && status.kind == FileKind::Folder)
        status = statusOfPath(path, OpenFlags | NoFollow);
    return status;
}

// Opening a pipe or a device never waits on Windows (a busy pipe fails), and
// there is no controlling terminal to catch.
int Platform::openForReading(const QByteArray &path)
{
    const QString native = nativePath(path);
    return descriptorFor(openPath(native, GENERIC_READ, ShareAll, OPEN_EXISTING, OpenFlags), native);
}

int Platform::openForReadingAt(int folder, const QByteArray &name)
{
    const QString path = pathIn(folder, name);
    const DWORD flags = OpenFlags | NoFollow;
    const HANDLE handle = openPath(path, GENERIC_READ, ShareAll, OPEN_EXISTING, flags);
    return descriptorFor(refuseLinks(handle, path, GENERIC_READ, ShareAll, flags, false), path, folder);
}

int Platform::openFolder(const QByteArray &path)
{
    const QString native = nativePath(path);
    const HANDLE handle = openPath(native, FolderAccess, ShareHeldFolder, OPEN_EXISTING, OpenFlags);
    return holdFolder(refuseLinks(handle, native, FolderAccess, ShareHeldFolder, OpenFlags, true), native);
}

int Platform::openFolderAt(int folder, const QByteArray &name)
{
    const QString path = pathIn(folder, name);
    const DWORD flags = OpenFlags | NoFollow;
    const HANDLE handle = openPath(path, FolderAccess, ShareHeldFolder, OPEN_EXISTING, flags);
    return holdFolder(refuseLinks(handle, path, FolderAccess, ShareHeldFolder, flags, true), path);
}

// Lock files may go while they are held: the run removes its own before
// closing it.
int Platform::openLockAt(int folder, const QByteArray &name)
{
    const QString path = pathIn(folder, name);
    const DWORD access = GENERIC_READ | GENERIC_WRITE;
    const DWORD flags = FILE_ATTRIBUTE_NORMAL | NoFollow;
    const HANDLE handle = openPath(path, access, ShareAll, OPEN_EXISTING, flags);
    return descriptorFor(refuseLinks(handle, path, access, ShareAll, flags, false), path, folder);
}

int Platform::createLockAt(int folder, const QByteArray &name)
{
    PrivateSecurity security;
    if (!security.attributes())
        return -1;
    // CREATE_NEW fails on any name that is taken, a link to nothing included.
    const QString path = pathIn(folder, name);
    return descriptorFor(openPath(path, GENERIC_READ | GENERIC_WRITE, ShareAll, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL | NoFollow, security.attributes()),
                         path, folder);
}

void Platform::closeFile(int fd)
{
    closeDescriptor(fd);
}

std::int64_t Platform::readAt(int fd, void *into, std::size_t length, std::int64_t offset)
{
    const DWORD asked = DWORD(std::min<std::size_t>(length, std::size_t(1) << 30));
    return transferAt(handleOf(fd), into, asked, offset, false);
}

bool Platform::tryLock(int fd)
{
    // A lock on every byte stands for flock: it belongs to this handle and
    // goes with it, a crash included.
    OVERLAPPED from{};
    const DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY;
    return LockFileEx(handleOf(fd), flags, 0, MAXDWORD, MAXDWORD, &from) != 0;
}

QList<QByteArray> Platform::namesIn(int folder)
{
    QList<QByteArray> names;
    const QString path = pathOfDescriptor(folder);
    if (path.isEmpty())
        return names;
    WIN32_FIND_DATAW entry{};
    const HANDLE find = FindFirstFileExW(wide(joined(path, QStringLiteral("*"))), FindExInfoBasic, &entry,
                                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        const wchar_t *n = entry.cFileName;
        if (!(n[0] == L'.' && (n[1] == 0 || (n[1] == L'.' && n[2] == 0))))
            names.append(QString::fromWCharArray(n).toUtf8());
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    return names;
}

bool Platform::removeFileAt(int folder, const QByteArray &name)
{
    const QString path = pathIn(folder, name);
    return !path.isEmpty() && retriedWhileShared([&] { return DeleteFileW(wide(path)) != 0; });
}

bool Platform::removeFolderAt(int folder, const QByteArray &name)
{
    const QString path = pathIn(folder, name);
    if (path.isEmpty())
        return false;
    if (RemoveDirectoryW(wide(path)))
        return true;
    return GetLastError() == ERROR_SHARING_VIOLATION && removeHeldFolder(path);
}

bool Platform::makePrivateFolder(QByteArray *pathTemplate)
{
    if (!pathTemplate->endsWith("XXXXXX")) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    PrivateSecurity security;
    if (!security.attributes())
        return false;
    // One case only: names differing in case are one name here.
    static const char Characters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        QByteArray path = *pathTemplate;
        for (qsizetype i = path.size() - 6; i < path.size(); ++i)
            path[i] = Characters[QRandomGenerator::system()->bounded(int(sizeof Characters - 1))];
        if (CreateDirectoryW(wide(nativePath(path)), security.attributes())) {
            *pathTemplate = path;
            return true;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    }
    return false;
}

bool Platform::syncFile(int fd)
{
    const HANDLE handle = handleOf(fd);
    if (FlushFileBuffers(handle))
        return true;
    if (GetLastError() != ERROR_ACCESS_DENIED)
        return false;
    DWORD tag = 0;
    const DWORD attributes = attributesOf(handle, &tag);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    // Only a handle that may write can flush. A file opened for reading (a
    // copy being checked) is opened again through its own handle, so it is
    // the same file whatever its name meanwhile. A folder is flushed through
    // its path, which the held handle keeps naming it.
    const HANDLE writable = (attributes & FILE_ATTRIBUTE_DIRECTORY)
        ? openPath(pathOfDescriptor(fd), GENERIC_WRITE, ShareAll, OPEN_EXISTING, OpenFlags)
        : ReOpenFile(handle, GENERIC_WRITE, ShareAll, 0);
    if (writable == INVALID_HANDLE_VALUE)
        return false;
    const bool flushed = FlushFileBuffers(writable);
    const DWORD error = GetLastError();
    CloseHandle(writable);
    SetLastError(error);
    return flushed;
}

bool Platform::syncData(int fd)
{
    // Windows has no data-only flush: the metadata goes along.
    return syncFile(fd);
}

void Platform::startWriteBack(int)
{
    // The cache manager starts writing dirty pages within about a second on
    // its own, and Windows has no call that starts it without waiting.
}

Platform::Renamed Platform::renameNoReplace(int fromFolder, const QByteArray &from, int toFolder,
                                            const QByteArray &to, int *error)
{
    // Without MOVEFILE_REPLACE_EXISTING the file system refuses a taken name
    // in the rename itself; without MOVEFILE_COPY_ALLOWED it never copies.
    const QString source = pathIn(fromFolder, from);
    const QString target = source.isEmpty() ? source : pathIn(toFolder, to);
    if (!target.isEmpty() && retriedWhileShared([&] { return MoveFileExW(wide(source), wide(target), 0) != 0; }))
        return Renamed::Done;
    *error = int(GetLastError());
    return Win::renamedAfter(*error);
}

QByteArray Platform::descriptorPath(int fd)
{
    return plainPath(pathOfDescriptor(fd)).toUtf8();
}
