#include "platform/windows/winfiles.h"

#include <QDir>
#include <QStringList>

#include <fcntl.h>
#include <io.h>
#include <winternl.h>

// Windows has no openat. The "...At(folder, name)" calls name the entry by the
// held folder's final path: folders are held without FILE_SHARE_DELETE, so
// nobody can rename or remove them while they are held (nor a folder above
// them: Windows refuses to rename a folder with open handles below it), and
// that path keeps naming the very folder the descriptor holds.

using namespace Platform::Win;

namespace {

// Whether the plain form of a path names something else than its "\\?\"
// form: a name Windows opens as a device ("CON", "nul.jpg", "COM1.tar.gz",
// "con .jpg"), or one whose closing dots and blanks it drops ("a.jpg.").
// Such files come from cameras, Linux disks and archives.
bool plainFormAltersName(const QString &path)
{
    static const QStringList devices{QStringLiteral("CON"), QStringLiteral("PRN"), QStringLiteral("AUX"),
                                     QStringLiteral("NUL"), QStringLiteral("CONIN$"), QStringLiteral("CONOUT$")};
    static const QString ports = QStringLiteral("0123456789\u00B9\u00B2\u00B3");
    for (const QString &name : path.split(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
        if (name == QLatin1String(".") || name == QLatin1String(".."))
            continue;
        if (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' ')))
            return true;
        QString stem = name.left(name.indexOf(QLatin1Char('.')));
        while (stem.endsWith(QLatin1Char(' ')))
            stem.chop(1);
        stem = stem.toUpper();
        if (devices.contains(stem)
            || (stem.size() == 4 && (stem.startsWith(QLatin1String("COM")) || stem.startsWith(QLatin1String("LPT")))
                && ports.contains(stem.at(3))))
            return true;
    }
    return false;
}

} // namespace

HANDLE Platform::Win::handleOf(int fd)
{
    // _get_osfhandle calls the invalid-parameter handler for a bad descriptor.
    return fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

int Platform::Win::descriptorOf(HANDLE handle)
{
    if (handle == INVALID_HANDLE_VALUE)
        return -1;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        SetLastError(ERROR_TOO_MANY_OPEN_FILES);
    }
    return fd;
}

QString Platform::Win::finalPathOf(HANDLE handle)
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetFinalPathNameByHandleW(handle, buffer.data(), DWORD(buffer.size()),
                                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0)
            return QString();
        if (length < buffer.size())
            return QString::fromWCharArray(buffer.data(), int(length));
        buffer.resize(length);
    }
}

QString Platform::Win::plainPath(const QString &path)
{
    if (path.size() >= MAX_PATH - 12 || plainFormAltersName(path.mid(4)))
        return path;
    if (path.startsWith(QLatin1String("\\\\?\\UNC\\")))
        return QLatin1String("\\\\") + path.mid(8);
    if (path.startsWith(QLatin1String("\\\\?\\")))
        return path.mid(4);
    return path;
}

QString Platform::Win::nativePath(const QByteArray &path)
{
    const QString text = QDir::toNativeSeparators(QString::fromUtf8(path));
    if ((text.size() < MAX_PATH - 12 && !plainFormAltersName(text)) || text.startsWith(QLatin1String("\\\\?\\"))
        || text.startsWith(QLatin1String("\\\\.\\")))
        return text;
    const QString clean = QDir::toNativeSeparators(QDir::cleanPath(QDir::fromNativeSeparators(text)));
    if (clean.startsWith(QLatin1String("\\\\")))
        return QLatin1String("\\\\?\\UNC\\") + clean.mid(2);
    if (clean.size() > 2 && clean.at(1) == QLatin1Char(':'))
        return QLatin1String("\\\\?\\") + clean;
    return text;
}

QString Platform::Win::joined(const QString &folder, const QString &name)
{
    return folder.endsWith(QLatin1Char('\\')) ? folder + name : folder + QLatin1Char('\\') + name;
}

QString Platform::Win::pathIn(int folder, const QByteArray &name)
{
    const QString path = pathOfDescriptor(folder);
    return path.isEmpty() ? path : joined(path, QString::fromUtf8(name));
}

HANDLE Platform::Win::openPath(const QString &path, DWORD access, DWORD share, DWORD disposition, DWORD flags,
                SECURITY_ATTRIBUTES *security)
{
    if (path.isEmpty())
        return INVALID_HANDLE_VALUE;
    return CreateFileW(wide(path), access, share, security, disposition, flags, nullptr);
}

bool Platform::Win::volumeOf(HANDLE handle, std::uint64_t *volume)
{
    // One query where GetFileInformationByHandle makes two, each a round
    // trip to the mount manager under Wine. The serial is cut to the 32 bits
    // the older call gives, so that both name a volume alike.
    FILE_ID_INFO id{};
    if (GetFileInformationByHandleEx(handle, FileIdInfo, &id, sizeof id)) {
        *volume = id.VolumeSerialNumber & 0xffffffffu;
        return true;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info))
        return false;
    *volume = info.dwVolumeSerialNumber;
    return true;
}

bool Platform::Win::indexOf(HANDLE handle, std::uint64_t *index)
{
    // The number GetFileInformationByHandle gives, without the volume.
    struct {
        LARGE_INTEGER IndexNumber;
    } internal{};
    constexpr auto FileInternalInformation = FILE_INFORMATION_CLASS(6);
    IO_STATUS_BLOCK io{};
    const NTSTATUS status = NtQueryInformationFile(handle, &io, &internal, sizeof internal, FileInternalInformation);
    if (status < 0) {
        SetLastError(RtlNtStatusToDosError(status));
        return false;
    }
    *index = std::uint64_t(internal.IndexNumber.QuadPart);
    return true;
}

// ReadFile and WriteFile with an OVERLAPPED for the offset also post a
// completion for it, which under Wine is a round trip to the server at
// every call; these calls with no completion context post none.
extern "C" NTSTATUS NTAPI NtReadFile(HANDLE file, HANDLE event, PVOID apcRoutine, PVOID apcContext,
                                     PIO_STATUS_BLOCK io, PVOID buffer, ULONG length, PLARGE_INTEGER offset,
                                     PULONG key);
extern "C" NTSTATUS NTAPI NtWriteFile(HANDLE file, HANDLE event, PVOID apcRoutine, PVOID apcContext,
                                      PIO_STATUS_BLOCK io, PVOID buffer, ULONG length, PLARGE_INTEGER offset,
                                      PULONG key);

std::int64_t Platform::Win::transferAt(HANDLE handle, void *bytes, DWORD length, std::int64_t offset, bool write)
{
    constexpr NTSTATUS Pending = NTSTATUS(0x00000103L);
    constexpr NTSTATUS EndOfFile = NTSTATUS(0xC0000011L);
    IO_STATUS_BLOCK io{};
    LARGE_INTEGER at{};
    at.QuadPart = offset;
    NTSTATUS status = write ? NtWriteFile(handle, nullptr, nullptr, nullptr, &io, bytes, length, &at, nullptr)
                            : NtReadFile(handle, nullptr, nullptr, nullptr, &io, bytes, length, &at, nullptr);
    if (status == Pending) {
        // Only a handle opened for overlapped I/O answers later; none is here.
        WaitForSingleObject(handle, INFINITE);
        status = io.Status;
    }
    if (!write && status == EndOfFile)
        return 0;
    if (status < 0) {
        SetLastError(RtlNtStatusToDosError(status));
        return -1;
    }
    return std::int64_t(io.Information);
}

bool Platform::Win::identityOf(HANDLE handle, std::uint64_t *volume, std::uint64_t *index)
{
    return volumeOf(handle, volume) && indexOf(handle, index);
}

bool Platform::Win::sameFile(HANDLE one, HANDLE other)
{
    std::uint64_t volumes[2] = {}, indexes[2] = {};
    return identityOf(one, &volumes[0], &indexes[0]) && identityOf(other, &volumes[1], &indexes[1])
        && volumes[0] == volumes[1] && indexes[0] == indexes[1];
}

DWORD Platform::Win::attributesOf(HANDLE handle, DWORD *reparseTag)
{
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag))
        return INVALID_FILE_ATTRIBUTES;
    *reparseTag = (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? tag.ReparseTag : 0;
    return tag.FileAttributes;
}

HANDLE Platform::Win::failWith(HANDLE handle, DWORD error)
{
    CloseHandle(handle);
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

// What O_NOFOLLOW does, for a handle opened with FILE_FLAG_OPEN_REPARSE_POINT:
// a symbolic link or a junction is refused (POSIX says ELOOP). Other reparse
// points (cloud placeholders, deduplicated files) are files whose contents
// come through their filter, so they are opened again without the flag and
// kept only while that is still the same file.
HANDLE Platform::Win::refuseLinks(HANDLE handle, const QString &path, DWORD access, DWORD share, DWORD flags,
                                  bool folder)
{
    if (handle == INVALID_HANDLE_VALUE)
        return handle;
    DWORD tag = 0;
    const DWORD attributes = attributesOf(handle, &tag);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return failWith(handle, GetLastError());
    if (folder && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return failWith(handle, ERROR_DIRECTORY);
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return handle;
    if (IsReparseTagNameSurrogate(tag))
        return failWith(handle, ERROR_CANT_RESOLVE_FILENAME);
    const HANDLE through = openPath(path, access, share, OPEN_EXISTING, flags & ~NoFollow);
    if (through == INVALID_HANDLE_VALUE)
        return failWith(handle, GetLastError());
    const bool same = sameFile(handle, through);
    CloseHandle(handle);
    return same ? through : failWith(through, ERROR_CANT_RESOLVE_FILENAME);
}

