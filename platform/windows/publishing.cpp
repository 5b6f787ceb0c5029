#include "platform/files.h"
#include "platform/windows/winfiles.h"

#include <algorithm>
#include <cstddef>
#include <vector>

// What a copy needs on its way into a results folder that has no no-replace
// rename: hard links, and claims (names created empty and exclusively, then
// filled or renamed over).

using namespace Platform::Win;

namespace {

// FileRenameInfoEx and FILE_RENAME_INFO as Windows 10 has them, with flags
// in place of ReplaceIfExists; the headers show both only to builds for a
// later Windows 10 than the program asks for.
constexpr auto RenameInfoExClass = FILE_INFO_BY_HANDLE_CLASS(22);
constexpr DWORD RenameReplaceIfExists = 0x1; // FILE_RENAME_FLAG_REPLACE_IF_EXISTS
constexpr DWORD RenamePosixSemantics = 0x2;  // FILE_RENAME_FLAG_POSIX_SEMANTICS
static_assert(FileRenameInfo == 3 && FileIdExtdDirectoryRestartInfo == 20,
              "FILE_INFO_BY_HANDLE_CLASS has changed its numbering");
struct RenameInfoEx {
    DWORD Flags;
    HANDLE RootDirectory;
    DWORD FileNameLength;
    WCHAR FileName[1];
};
static_assert(offsetof(RenameInfoEx, RootDirectory) == offsetof(FILE_RENAME_INFO, RootDirectory)
                  && offsetof(RenameInfoEx, FileName) == offsetof(FILE_RENAME_INFO, FileName),
              "FILE_RENAME_INFO has changed its layout");

// A rename by handle: POSIX semantics replace a file that is still open (a
// claim is held open while it is renamed over), which the plain rename
// refuses. Only NTFS on Windows 10 has them; false with the error otherwise.
bool renameReplacingOpen(const QString &source, const QString &target)
{
    const HANDLE handle = openPath(source, DELETE | SYNCHRONIZE, ShareAll, OPEN_EXISTING, OpenFlags | NoFollow);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const std::size_t nameBytes = std::size_t(target.size()) * sizeof(WCHAR);
    std::vector<std::byte> buffer(sizeof(RenameInfoEx) + nameBytes);
    auto *info = reinterpret_cast<RenameInfoEx *>(buffer.data());
    info->Flags = RenameReplaceIfExists | RenamePosixSemantics;
    info->RootDirectory = nullptr;
    info->FileNameLength = DWORD(nameBytes);
    std::copy_n(wide(target), target.size(), info->FileName);
    const bool renamed = SetFileInformationByHandle(handle, RenameInfoExClass, info, DWORD(buffer.size()));
    const DWORD error = GetLastError();
    CloseHandle(handle);
    SetLastError(error);
    return renamed;
}

} // namespace

int Platform::createExclusiveAt(int folder, const QByteArray &name)
{
    // CREATE_NEW fails on any name that is taken, a link to nothing included.
    // The claim becomes the copy where a rename cannot replace it, so it takes
    // the security a new file in that folder gets; it is shared for deleting
    // so that the run may remove it, or rename over it, while it is open.
    const QString path = pathIn(folder, name);
    return descriptorFor(openPath(path, GENERIC_READ | GENERIC_WRITE, ShareAll, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL | NoFollow),
                         path, folder);
}

bool Platform::refusesExclusiveCreate(int error)
{
    // Every Windows file system creates exclusively (it is how the system
    // opens any new file); a redirector or filter that cannot says one of
    // these. ERROR_INVALID_PARAMETER is left out: it says too many things.
    return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION || error == ERROR_CALL_NOT_IMPLEMENTED;
}

bool Platform::writeAt(int fd, const void *from, std::size_t length, std::int64_t offset)
{
    const HANDLE handle = handleOf(fd);
    const char *bytes = static_cast<const char *>(from);
    while (length > 0) {
        const DWORD asked = DWORD(std::min<std::size_t>(length, std::size_t(1) << 30));
        const std::int64_t put = transferAt(handle, const_cast<char *>(bytes), asked, offset, true);
        if (put < 0)
            return false;
        if (put == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        bytes += put;
        length -= put;
        offset += put;
    }
    return true;
}

bool Platform::truncateFile(int fd, std::int64_t length)
{
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = length;
    return SetFileInformationByHandle(handleOf(fd), FileEndOfFileInfo, &end, sizeof end) != 0;
}

Platform::Renamed Platform::linkNoReplace(int fromFolder, const QByteArray &from, int toFolder,
                                          const QByteArray &to, int *error)
{
    // The source lies in the run's private folder, where nobody else can
    // plant a link for CreateHardLinkW to follow.
    const QString source = pathIn(fromFolder, from);
    const QString target = source.isEmpty() ? source : pathIn(toFolder, to);
    if (!target.isEmpty() && CreateHardLinkW(wide(target), wide(source), nullptr)) {
        DeleteFileW(wide(source));
        return Renamed::Done;
    }
    *error = int(GetLastError());
    return Win::renamedAfter(*error);
}

bool Platform::renameReplacing(int fromFolder, const QByteArray &from, int toFolder, const QByteArray &to)
{
    const QString source = pathIn(fromFolder, from);
    const QString target = source.isEmpty() ? source : pathIn(toFolder, to);
    if (target.isEmpty())
        return false;
    if (renameReplacingOpen(source, target))
        return true;
    const DWORD error = GetLastError();
    // Older systems and other file systems know no POSIX semantics; anything
    // else (a target held open elsewhere, no right to it) is the answer.
    if (error != ERROR_INVALID_PARAMETER && error != ERROR_NOT_SUPPORTED && error != ERROR_INVALID_FUNCTION)
        return false;
    // Without MOVEFILE_COPY_ALLOWED it never copies, so it stays a rename.
    return MoveFileExW(wide(source), wide(target), MOVEFILE_REPLACE_EXISTING) != 0;
}
