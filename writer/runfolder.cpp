#include "writer/runfolder.h"

#include <QHash>
#include <QList>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray RunPrefix(".ostrell-run-");
const QByteArray LockName("lock");
// A run folder without its lock is only that young while its run starts.
constexpr time_t UnlockedGraceSeconds = 60;

// Names earlier versions left in the results folder itself.
const QByteArray LegacyPrefix(".ostrell-");
const QByteArray LegacyTemporarySuffix(".tmp");
const QByteArray LegacyLockSuffix(".lock");

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QList<QByteArray> namesIn(int folder)
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

// Empties a run folder of files; a folder inside (planted by nobody but this
// user) is left, and so is the run folder then.
void emptyFolder(int folder)
{
    for (const QByteArray &name : namesIn(folder))
        ::unlinkat(folder, name.constData(), 0);
}

bool isOwnFolder(const struct stat &info)
{
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid();
}

// A run folder whose lock anybody can take belongs to a run that ended
// without tidying up: a crash, a kill, a power cut.
void sweepDeadRun(int results, const QByteArray &name)
{
    const int folder =
        ::openat(results, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0)
        return;
    struct stat info {};
    if (::fstat(folder, &info) != 0 || !isOwnFolder(info)) {
        ::close(folder);
        return;
    }
    const int lock = ::openat(folder, LockName.constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    bool dead = false;
    if (lock >= 0)
        dead = ::flock(lock, LOCK_EX | LOCK_NB) == 0;
    else
        dead = errno == ENOENT && info.st_mtime + UnlockedGraceSeconds < ::time(nullptr);
    if (dead) {
        emptyFolder(folder);
        ::unlinkat(results, name.constData(), AT_REMOVEDIR);
    }
    if (lock >= 0)
        ::close(lock);
    ::close(folder);
}

// ".ostrell-<token>-<n>.tmp" -> "<token>"; empty for any other name.
QByteArray legacyTokenOfTemporary(const QByteArray &name)
{
    if (!name.startsWith(LegacyPrefix) || !name.endsWith(LegacyTemporarySuffix))
        return QByteArray();
    const QByteArray middle = name.mid(LegacyPrefix.size(),
                                       name.size() - LegacyPrefix.size() - LegacyTemporarySuffix.size());
    const qsizetype dash = middle.lastIndexOf('-');
    return dash > 0 ? middle.left(dash) : QByteArray();
}

QByteArray legacyTokenOfLock(const QByteArray &name)
{
    if (!name.startsWith(LegacyPrefix) || !name.endsWith(LegacyLockSuffix))
        return QByteArray();
    return name.mid(LegacyPrefix.size(), name.size() - LegacyPrefix.size() - LegacyLockSuffix.size());
}

// Earlier versions kept their temporary files beside the copies, with a lock
// file per run; what their dead runs left goes as well.
void sweepLegacy(int results, const QList<QByteArray> &names)
{
    QList<QByteArray> locks;
    QHash<QByteArray, QList<QByteArray>> temporaries;
    for (const QByteArray &name : names) {
        const QByteArray lockToken = legacyTokenOfLock(name);
        if (!lockToken.isEmpty())
            locks.append(lockToken);
        const QByteArray tempToken = legacyTokenOfTemporary(name);
        if (!tempToken.isEmpty())
            temporaries[tempToken].append(name);
    }
    for (const QByteArray &token : locks) {
        const QByteArray lockName = LegacyPrefix + token + LegacyLockSuffix;
        const int fd = ::openat(results, lockName.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            continue;
        struct stat info {};
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid()
            && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            for (const QByteArray &name : temporaries.value(token))
                ::unlinkat(results, name.constData(), 0);
            ::unlinkat(results, lockName.constData(), 0);
        }
        ::close(fd);
    }
}

void sweepDeadRuns(int results)
{
    const QList<QByteArray> names = namesIn(results);
    for (const QByteArray &name : names)
        if (name.startsWith(RunPrefix))
            sweepDeadRun(results, name);
    sweepLegacy(results, names);
}

} // namespace

QByteArray joinPath(const QByteArray &folder, const QByteArray &name)
{
    if (folder.endsWith('/'))
        return folder + name;
    return folder + '/' + name;
}

QByteArray descriptorPath(int fd)
{
    return "/proc/self/fd/" + QByteArray::number(fd);
}

RunFolder::~RunFolder()
{
    for (int fd : {m_lock, m_run, m_results})
        if (fd >= 0)
            ::close(fd);
}

std::unique_ptr<RunFolder> RunFolder::create(const QByteArray &resultsFolder, QString *whyNot)
{
    const auto fail = [whyNot](int error) {
        *whyNot = QStringLiteral("The results folder cannot be written to (%1).").arg(systemError(error));
        return nullptr;
    };
    std::unique_ptr<RunFolder> folder(new RunFolder);
    folder->m_results = ::open(resultsFolder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder->m_results < 0)
        return fail(errno);
    sweepDeadRuns(folder->m_results);

    QByteArray path = joinPath(resultsFolder, RunPrefix + "XXXXXX");
    if (!::mkdtemp(path.data()))
        return fail(errno);
    folder->m_runName = path.mid(path.lastIndexOf('/') + 1);
    // Opened by its name right after mkdtemp made it 0700: nobody else can
    // have put anything else there.
    folder->m_run = ::openat(folder->m_results, folder->m_runName.constData(),
                             O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder->m_run < 0) {
        const int error = errno;
        ::unlinkat(folder->m_results, folder->m_runName.constData(), AT_REMOVEDIR);
        return fail(error);
    }
    folder->m_lock = ::openat(folder->m_run, LockName.constData(),
                              O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (folder->m_lock < 0 || ::flock(folder->m_lock, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        folder->finish();
        return fail(error);
    }
    return folder;
}

QByteArray RunFolder::outputName(quint64 serial)
{
    return QByteArray::number(serial) + ".tmp";
}

RunFolder::Entry RunFolder::resultsEntry(const QByteArray &name, int *error) const
{
    struct stat info {};
    if (::fstatat(m_results, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        if (error)
            *error = errno;
        return errno == ENOENT ? Entry::Missing : Entry::Unknown;
    }
    if (S_ISREG(info.st_mode))
        return Entry::File;
    if (S_ISDIR(info.st_mode))
        return Entry::Folder;
    return Entry::Other;
}

void RunFolder::discard(const QByteArray &outputName) const
{
    ::unlinkat(m_run, outputName.constData(), 0);
}

void RunFolder::finish()
{
    if (m_results < 0 || m_run < 0)
        return;
    // The renames are durable once the folder that holds them is.
    ::fsync(m_results);
    emptyFolder(m_run);
    if (m_lock >= 0) {
        ::close(m_lock);
        m_lock = -1;
    }
    // Only the folder this run made: someone who can write the results
    // folder may have renamed it and put another in its place.
    struct stat own {};
    struct stat named {};
    if (::fstat(m_run, &own) == 0
        && ::fstatat(m_results, m_runName.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0
        && own.st_dev == named.st_dev && own.st_ino == named.st_ino)
        ::unlinkat(m_results, m_runName.constData(), AT_REMOVEDIR);
    ::close(m_run);
    m_run = -1;
}
