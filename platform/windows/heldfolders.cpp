#include "platform/windows/winfiles.h"

#include <QMutex>
#include <io.h>
#include <map>

using namespace Platform::Win;

namespace {

// Windows removes no folder while a handle without FILE_SHARE_DELETE is open
// on it, and this process holds its folders that way: asked to remove one it
// holds, it removes it when that descriptor closes, after checking that the
// name still leads to the same folder.
struct HeldFolders {
    QMutex mutex;
    std::map<int, bool> removeOnClose; // every held folder descriptor
    std::map<int, QString> openedAs;   // the path a descriptor was opened by
    std::map<int, QString> heldPaths;  // held folders: their final path, named once
    // Volumes as asked for: under Wine each question is a round trip to
    // the mount manager.
    std::map<int, std::uint64_t> volumes;
};

HeldFolders &heldFolders()
{
    static HeldFolders held;
    return held;
}

} // namespace

int Platform::Win::descriptorFor(HANDLE handle, const QString &openedAs, int inFolder)
{
    // Only a file: a folder inside may be where another disk is mounted.
    std::uint64_t volume = 0;
    const bool knownVolume = inFolder >= 0 && volumeOfDescriptor(inFolder, &volume);
    const int fd = descriptorOf(handle);
    if (fd >= 0) {
        const QMutexLocker locker(&heldFolders().mutex);
        heldFolders().openedAs[fd] = openedAs;
        if (knownVolume)
            heldFolders().volumes[fd] = volume;
    }
    return fd;
}

bool Platform::Win::volumeOfDescriptor(int fd, std::uint64_t *volume)
{
    {
        const QMutexLocker locker(&heldFolders().mutex);
        const auto known = heldFolders().volumes.find(fd);
        if (known != heldFolders().volumes.end()) {
            *volume = known->second;
            return true;
        }
    }
    if (!volumeOf(handleOf(fd), volume))
        return false;
    const QMutexLocker locker(&heldFolders().mutex);
    heldFolders().volumes[fd] = *volume;
    return true;
}

int Platform::Win::holdFolder(HANDLE handle, const QString &openedAs)
{
    // Every name opened in a held folder needs its path; asking Windows each
    // time costs a round trip to the mount manager under Wine.
    const QString path = handle == INVALID_HANDLE_VALUE ? QString() : finalPathOf(handle);
    const int fd = descriptorFor(handle, openedAs);
    if (fd >= 0) {
        const QMutexLocker locker(&heldFolders().mutex);
        heldFolders().removeOnClose[fd] = false;
        heldFolders().heldPaths[fd] = path;
    }
    return fd;
}

QString Platform::Win::pathOfDescriptor(int fd)
{
    {
        const QMutexLocker locker(&heldFolders().mutex);
        const auto held = heldFolders().heldPaths.find(fd);
        if (held != heldFolders().heldPaths.end() && !held->second.isEmpty())
            return held->second;
    }
    const QString path = finalPathOf(handleOf(fd));
    if (!path.isEmpty())
        return path;
    // Wine gives no final path past MAX_PATH. The path a folder was opened
    // by names it as well, since nobody can rename it, or a folder above it,
    // while it is held; the run renames its files only when done with them.
    const QMutexLocker locker(&heldFolders().mutex);
    const auto opened = heldFolders().openedAs.find(fd);
    return opened == heldFolders().openedAs.end() ? path : opened->second;
}

bool Platform::Win::removeHeldFolder(const QString &path)
{
    const HANDLE target = openPath(path, FILE_READ_ATTRIBUTES, ShareAll, OPEN_EXISTING, OpenFlags | NoFollow);
    if (target == INVALID_HANDLE_VALUE)
        return false;
    bool found = false;
    {
        const QMutexLocker locker(&heldFolders().mutex);
        for (auto &[fd, remove] : heldFolders().removeOnClose)
            if (!found && sameFile(handleOf(fd), target))
                found = remove = true;
    }
    CloseHandle(target);
    if (!found)
        SetLastError(ERROR_SHARING_VIOLATION);
    return found;
}

namespace {

void removeNow(const QString &path, std::uint64_t volume, std::uint64_t index)
{
    // A tool that has just ended may still hold it as its working folder.
    HANDLE handle = INVALID_HANDLE_VALUE;
    retriedWhileShared([&] {
        handle = openPath(path, DELETE | FILE_READ_ATTRIBUTES, ShareAll, OPEN_EXISTING, OpenFlags | NoFollow);
        return handle != INVALID_HANDLE_VALUE;
    });
    if (handle == INVALID_HANDLE_VALUE)
        return;
    std::uint64_t nowVolume = 0, nowIndex = 0;
    FILE_DISPOSITION_INFO gone{};
    gone.DeleteFile = TRUE;
    if (identityOf(handle, &nowVolume, &nowIndex) && nowVolume == volume && nowIndex == index)
        SetFileInformationByHandle(handle, FileDispositionInfo, &gone, sizeof gone);
    CloseHandle(handle);
}

} // namespace

void Platform::Win::closeDescriptor(int fd)
{
    if (fd < 0)
        return;
    QString removedPath;
    std::uint64_t volume = 0, index = 0;
    {
        const QMutexLocker locker(&heldFolders().mutex);
        const auto held = heldFolders().removeOnClose.find(fd);
        if (held != heldFolders().removeOnClose.end()) {
            if (held->second && identityOf(handleOf(fd), &volume, &index)) {
                removedPath = finalPathOf(handleOf(fd));
                if (removedPath.isEmpty())
                    removedPath = heldFolders().openedAs[fd];
            }
            heldFolders().removeOnClose.erase(held);
            heldFolders().heldPaths.erase(fd);
        }
        heldFolders().openedAs.erase(fd);
        heldFolders().volumes.erase(fd);
    }
    _close(fd);
    if (!removedPath.isEmpty())
        removeNow(removedPath, volume, index);
}
