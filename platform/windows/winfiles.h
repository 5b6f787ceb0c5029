#pragma once

#include <QString>
#include <cstdint>
#include <vector>

#include <windows.h>

#include "platform/files.h"

// What the Windows files of the platform share: descriptors over handles,
// paths of held folders, owners and private folders.
namespace Platform::Win {

inline constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Held folders let nobody remove or rename them: see pathIn().
inline constexpr DWORD ShareHeldFolder = FILE_SHARE_READ | FILE_SHARE_WRITE;
inline constexpr DWORD FolderAccess =
    FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE;
// Folders open only with backup semantics; files are not affected by it.
inline constexpr DWORD OpenFlags = FILE_FLAG_BACKUP_SEMANTICS;
inline constexpr DWORD NoFollow = FILE_FLAG_OPEN_REPARSE_POINT;

inline const wchar_t *wide(const QString &text)
{
    return reinterpret_cast<const wchar_t *>(text.utf16());
}

HANDLE handleOf(int fd);
// Owns the handle from here on; -1 when no descriptor can be had.
int descriptorOf(HANDLE handle);
// The "\\?\" form, which takes a path as it is and past MAX_PATH.
QString finalPathOf(HANDLE handle);
// Paths that readers and child processes take: the plain form while it fits.
QString plainPath(const QString &path);
// A path from the caller (UTF-8): plain while short, else the "\\?\" form.
QString nativePath(const QByteArray &path);
QString joined(const QString &folder, const QString &name);
// A name inside a held folder; empty when the folder cannot be named (the
// error is then set).
QString pathIn(int folder, const QByteArray &name);
HANDLE openPath(const QString &path, DWORD access, DWORD share, DWORD disposition, DWORD flags,
                SECURITY_ATTRIBUTES *security = nullptr);
bool volumeOf(HANDLE handle, std::uint64_t *volume);
bool indexOf(HANDLE handle, std::uint64_t *index);
bool identityOf(HANDLE handle, std::uint64_t *volume, std::uint64_t *index);
// Reads or writes at an offset on a handle opened for synchronous I/O: the
// bytes moved, 0 when a read starts at or past the end, -1 with the error set.
std::int64_t transferAt(HANDLE handle, void *bytes, DWORD length, std::int64_t offset, bool write);
bool sameFile(HANDLE one, HANDLE other);
DWORD attributesOf(HANDLE handle, DWORD *reparseTag);
HANDLE failWith(HANDLE handle, DWORD error);
// O_NOFOLLOW for a handle opened with NoFollow; with folder, O_DIRECTORY too.
HANDLE refuseLinks(HANDLE handle, const QString &path, DWORD access, DWORD share, DWORD flags,
                   bool folder);

// Whether a file is this process's user's own.
bool ownedByUser(HANDLE handle);

// A security descriptor that lets only this process's user in, handed on to
// everything made inside, with nothing inherited from the folder above.
class PrivateSecurity {
public:
    PrivateSecurity();
    PrivateSecurity(const PrivateSecurity &) = delete;
    PrivateSecurity &operator=(const PrivateSecurity &) = delete;
    // Null when it could not be made: the error is then set.
    SECURITY_ATTRIBUTES *attributes() { return m_ok ? &m_attributes : nullptr; }

private:
    std::vector<BYTE> m_user;
    std::vector<BYTE> m_acl;
    SECURITY_DESCRIPTOR m_descriptor{};
    SECURITY_ATTRIBUTES m_attributes{};
    bool m_ok = false;
};

// Folder descriptors, which removeFolderAt may have to remove on closing.
int holdFolder(HANDLE handle, const QString &openedAs);
// A descriptor that knows the path it was opened by, for pathOfDescriptor;
// a file opened in a held folder is on that folder's volume.
int descriptorFor(HANDLE handle, const QString &openedAs, int inFolder = -1);
// A descriptor's volume, asked for once.
bool volumeOfDescriptor(int fd, std::uint64_t *volume);
// The "\\?\" form of a descriptor's path; where the system gives none
// (Wine, past MAX_PATH), the path it was opened by.
QString pathOfDescriptor(int fd);
bool removeHeldFolder(const QString &path);
void closeDescriptor(int fd);

// Another program (a virus scanner, an indexer, a cloud client) often opens
// a fresh file for a moment without letting others remove or rename it.
// Such a refusal is tried again for about a second before it is the answer;
// like every call here that touches files, for worker threads only.
template <typename Attempt>
bool retriedWhileShared(Attempt attempt)
{
    constexpr int Tries = 20;
    constexpr DWORD PauseMs = 50;
    for (int tried = 1;; ++tried) {
        if (attempt())
            return true;
        const DWORD error = GetLastError();
        if (error != ERROR_SHARING_VIOLATION || tried == Tries)
            return false;
        Sleep(PauseMs);
        SetLastError(error);
    }
}

// What a failed no-replace rename or link means. FAT and exFAT refuse links
// with the first of the unsupported errors, some redirectors with the second.
inline Renamed renamedAfter(int error)
{
    switch (error) {
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
        return Renamed::Taken;
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED:
        return Renamed::Unsupported;
    default:
        return Renamed::Failed;
    }
}

} // namespace Platform::Win
