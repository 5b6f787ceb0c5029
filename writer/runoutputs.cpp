#include "writer/runoutputs.h"

#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray Prefix(".ostrell-");
const QByteArray TemporarySuffix(".tmp");
const QByteArray LockSuffix(".lock");

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// ".ostrell-<token>-<n>.tmp" -> "<token>"; empty for any other name.
QByteArray tokenOfTemporary(const QByteArray &name)
{
    if (!name.startsWith(Prefix) || !name.endsWith(TemporarySuffix))
        return QByteArray();
    const QByteArray middle =
        name.mid(Prefix.size(), name.size() - Prefix.size() - TemporarySuffix.size());
    const qsizetype dash = middle.lastIndexOf('-');
    return dash > 0 ? middle.left(dash) : QByteArray();
}

QByteArray tokenOfLock(const QByteArray &name)
{
    if (!name.startsWith(Prefix) || !name.endsWith(LockSuffix))
        return QByteArray();
    return name.mid(Prefix.size(), name.size() - Prefix.size() - LockSuffix.size());
}

// Removes temporary files and locks of runs whose lock nobody holds any more.
void sweepDeadRuns(const QByteArray &folder, const QByteArray &ownToken)
{
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return;
    QList<QByteArray> locks;
    QHash<QByteArray, QList<QByteArray>> temporaries;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (!name.startsWith(Prefix))
            continue;
        const QByteArray lockToken = tokenOfLock(name);
        if (!lockToken.isEmpty() && lockToken != ownToken)
            locks.append(lockToken);
        const QByteArray tempToken = tokenOfTemporary(name);
        if (!tempToken.isEmpty() && tempToken != ownToken)
            temporaries[tempToken].append(name);
    }
    ::closedir(dir);

    for (const QByteArray &token : locks) {
        const QByteArray lockPath = joinPath(folder, Prefix + token + LockSuffix);
        const int fd = ::open(lockPath.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            continue;
        // A lock that can be taken belongs to a run that has ended without
        // tidying up: a crash or a kill.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            for (const QByteArray &name : temporaries.value(token))
                ::unlink(joinPath(folder, name).constData());
            ::unlink(lockPath.constData());
        }
        ::close(fd);
    }
}

} // namespace

QByteArray folderOf(const QByteArray &path)
{
    const qsizetype cut = path.lastIndexOf('/');
    if (cut < 0)
        return QByteArray(".");
    if (cut == 0)
        return QByteArray("/");
    return path.left(cut);
}

QByteArray joinPath(const QByteArray &folder, const QByteArray &name)
{
    if (folder.endsWith('/'))
        return folder + name;
    return folder + '/' + name;
}

RunOutputs::RunOutputs()
{
    m_token = QByteArray::number(qint64(::getpid())) + '-'
        + QByteArray::number(QRandomGenerator::global()->generate64(), 36);
}

RunOutputs::~RunOutputs()
{
    release();
}

bool RunOutputs::isTemporaryName(const QByteArray &name)
{
    return !tokenOfTemporary(name).isEmpty();
}

bool RunOutputs::enterFolder(const QByteArray &folder, QString *whyNot)
{
    if (m_locks.contains(folder))
        return true;
    const QByteArray lockPath = joinPath(folder, Prefix + m_token + LockSuffix);
    const int fd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        *whyNot = QStringLiteral("The results folder cannot be written to (%1).")
                      .arg(systemError(errno));
        return false;
    }
    ::flock(fd, LOCK_EX | LOCK_NB);
    m_locks.insert(folder, fd);
    sweepDeadRuns(folder, m_token);
    return true;
}

QByteArray RunOutputs::temporaryName()
{
    return Prefix + m_token + '-' + QByteArray::number(++m_serial) + TemporarySuffix;
}

void RunOutputs::release()
{
    for (auto it = m_locks.cbegin(); it != m_locks.cend(); ++it) {
        // Our own temporary files that are still there were never published.
        DIR *dir = ::opendir(it.key().constData());
        if (dir) {
            QList<QByteArray> leftovers;
            while (const dirent *entry = ::readdir(dir)) {
                const QByteArray name(entry->d_name);
                if (tokenOfTemporary(name) == m_token)
                    leftovers.append(name);
            }
            ::closedir(dir);
            for (const QByteArray &name : leftovers)
                ::unlink(joinPath(it.key(), name).constData());
        }
        ::unlink(joinPath(it.key(), Prefix + m_token + LockSuffix).constData());
        ::close(it.value());
    }
    m_locks.clear();
}

PublishResult publishNoReplace(const QByteArray &temporaryPath, const QByteArray &finalPath,
                               QString *whyNot)
{
    const auto failed = [whyNot](int error) {
        *whyNot = QStringLiteral("The copy could not be given its name (%1).").arg(systemError(error));
        return PublishResult::Failed;
    };
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, temporaryPath.constData(), AT_FDCWD, finalPath.constData(),
                    RENAME_NOREPLACE)
        == 0)
        return PublishResult::Published;
    if (errno == EEXIST)
        return PublishResult::NameTaken;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return failed(errno);
#endif
    // File systems without that rename: a hard link fails as well when the
    // name is taken.
    if (::link(temporaryPath.constData(), finalPath.constData()) == 0) {
        ::unlink(temporaryPath.constData());
        return PublishResult::Published;
    }
    if (errno == EEXIST)
        return PublishResult::NameTaken;
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP)
        return failed(errno);
    // No hard links either (FAT): claim the name with an empty file of our
    // own, then put the copy in its place.
    const int fd = ::open(finalPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (errno == EEXIST)
            return PublishResult::NameTaken;
        return failed(errno);
    }
    ::close(fd);
    if (::rename(temporaryPath.constData(), finalPath.constData()) == 0)
        return PublishResult::Published;
    const int error = errno;
    ::unlink(finalPath.constData());
    return failed(error);
}
