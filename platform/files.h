#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstddef>
#include <cstdint>

// The file-system calls of a run, by open descriptor wherever a name could be
// swapped under the program's feet. Every call blocks: worker threads only.
// A call that fails returns -1 or false and leaves its error for lastError().
// Names and paths are the file system's bytes; on Windows they are UTF-8.
namespace Platform {

enum class FileKind { Regular, Folder, Pipe, Socket, Link, Device };

struct FileStatus {
    int error = 0; // 0 when the status was read
    FileKind kind = FileKind::Device;
    bool ownedByUser = false; // this process's effective user
    std::int64_t size = 0;
    std::int64_t modifiedSeconds = 0; // since the epoch
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool identified = true; // device and inode were read
    bool ok() const { return error == 0; }
    bool sameFileAs(const FileStatus &other) const
    {
        return identified && other.identified && device == other.device && inode == other.inode;
    }
};

// A status that says nothing of which file it is, nor whose.
inline FileStatus withoutIdentity(FileStatus status)
{
    status.identified = false;
    status.ownedByUser = false;
    status.device = 0;
    status.inode = 0;
    return status;
}

// The error of the last failed call on this thread, its words, and whether it
// says that nothing is under the name.
int lastError();
QString errorText(int error);
bool isMissing(int error);
// Whether it says that a file is under the name already.
bool isTaken(int error);

FileStatus statusOf(const QByteArray &path); // follows links
FileStatus statusOf(int fd);
FileStatus statusAt(int folder, const QByteArray &name); // a link as itself
// Kind, size and time of a file that is only read: no identity, no owner.
// Cheaper on Windows, where each of those is a question more to the system.
FileStatus statusForReading(const QByteArray &path); // follows links
FileStatus statusForReading(int fd);

// Read-only, never waiting on a pipe or a device, never a controlling terminal.
int openForReading(const QByteArray &path);
// The same, inside a folder, and never through a link.
int openForReadingAt(int folder, const QByteArray &name);
int openFolder(const QByteArray &path);
int openFolderAt(int folder, const QByteArray &name); // never through a link
int openLockAt(int folder, const QByteArray &name);   // an existing lock file
int createLockAt(int folder, const QByteArray &name); // a new one, 0600, never replacing
// A new, empty file for reading and writing, never replacing nor following a link.
int createExclusiveAt(int folder, const QByteArray &name);
// The error says the file system has no exclusive create at all.
bool refusesExclusiveCreate(int error);
void closeFile(int fd);

// Reads at an offset, past interruptions; the bytes read, 0 at the end, -1 on error.
std::int64_t readAt(int fd, void *into, std::size_t length, std::int64_t offset);
// Writes it all at an offset, past interruptions and short writes.
bool writeAt(int fd, const void *from, std::size_t length, std::int64_t offset);
bool truncateFile(int fd, std::int64_t length);
// An exclusive lock, without waiting: false when another holds it.
bool tryLock(int fd);
// The names in a folder, "." and ".." left out.
QList<QByteArray> namesIn(int folder);
bool removeFileAt(int folder, const QByteArray &name);
// On Windows a folder this process holds open goes when that descriptor closes.
bool removeFolderAt(int folder, const QByteArray &name);
// Makes a folder only this user can enter, named from the template's closing
// "XXXXXX", which it replaces.
bool makePrivateFolder(QByteArray *pathTemplate);

bool syncFile(int fd);
bool syncData(int fd); // the data, and what reading it back needs
// Starts writing the file to disk without waiting, where the system can.
void startWriteBack(int fd);

enum class Renamed { Done, Taken, Unsupported, Failed };
// Gives a file a name in another folder, atomically, never replacing what is
// there: Taken when the name is in use, Unsupported when the file system
// cannot do it this way.
Renamed renameNoReplace(int fromFolder, const QByteArray &from, int toFolder, const QByteArray &to,
                        int *error);
// The same through a hard link, then the old name removed.
Renamed linkNoReplace(int fromFolder, const QByteArray &from, int toFolder, const QByteArray &to,
                      int *error);
// A plain rename, which replaces a file under the new name.
bool renameReplacing(int fromFolder, const QByteArray &from, int toFolder, const QByteArray &to);

// The file system a folder lies on: its type as the system names it
// ("ext4", "vfat", "exfat", "fuse.sshfs"; for a FUSE mount of a disk, what
// the disk holds where that can be read) and where it is mounted from.
struct FileSystemType {
    QByteArray type;
    QByteArray source;
};
FileSystemType fileSystemOf(int fd);

// How an open descriptor can be named to a reader that takes paths.
QByteArray descriptorPath(int fd);

// Owns one descriptor.
class FileHandle {
public:
    explicit FileHandle(int fd = -1) : m_fd(fd) {}
    ~FileHandle() { closeFile(m_fd); }
    FileHandle(const FileHandle &) = delete;
    FileHandle &operator=(const FileHandle &) = delete;
    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    // Some FUSE file systems keep a removed file that is still open under a
    // hidden name: close first.
    void close()
    {
        closeFile(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
};

} // namespace Platform
