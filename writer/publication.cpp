#include "writer/publication.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "writer/runfolder.h"

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString fileNameOf(const QByteArray &name)
{
    return QString::fromUtf8(name);
}

QString nameTakenReason(const QByteArray &finalName)
{
    return QStringLiteral("A file named %1 is already in the results folder; it was left as it is.")
        .arg(fileNameOf(finalName));
}

// Checking copies is background work, like the tools' own: the window comes first.
void givePriorityToTheWindow()
{
#ifdef Q_OS_LINUX
    static thread_local const bool lowered =
        ::setpriority(PRIO_PROCESS, id_t(::syscall(SYS_gettid)), 5) == 0;
    Q_UNUSED(lowered)
#endif
}

class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// Opens a file without following a link and without waiting on a pipe.
int openPlain(int folder, const QByteArray &name)
{
    return ::openat(folder, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
}

enum class Named { Done, Taken, Failed };

// Gives the output its final name, atomically, never replacing a file.
Named renameNoReplace(const RunFolder &folder, const PublishInput &input, int *error)
{
    const int run = folder.runDescriptor();
    const int results = folder.resultsDescriptor();
#ifdef RENAME_NOREPLACE
    if (::renameat2(run, input.output.constData(), results, input.finalName.constData(),
                    RENAME_NOREPLACE)
        == 0)
        return Named::Done;
    *error = errno;
    if (*error == EEXIST)
        return Named::Taken;
    if (*error != EINVAL && *error != ENOSYS && *error != ENOTSUP)
        return Named::Failed;
#endif
    // File systems without that rename: a hard link fails as well when the
    // name is taken.
    if (::linkat(run, input.output.constData(), results, input.finalName.constData(), 0) == 0) {
        ::unlinkat(run, input.output.constData(), 0);
        return Named::Done;
    }
    *error = errno;
    return *error == EEXIST ? Named::Taken : Named::Failed;
}

} // namespace

QString nameTakenGroup()
{
    return QStringLiteral("A file of the same name is already in the results folder; it was left "
                          "as it is.");
}

Publication publishCopy(const PublishInput &input, const CopyVerifier &verifier,
                        const RunFolder &folder, PublishGate &gate, const std::atomic_bool &cancelled)
{
    givePriorityToTheWindow();
    Publication publication;
    // A copy made earlier with this very value counts as written, so a second
    // run finishes what the first left. A link there is never followed.
    const auto judgeTaken = [&] {
        const Descriptor there(openPlain(folder.resultsDescriptor(), input.finalName));
        struct stat info {};
        const bool same = verifier && there.get() >= 0 && ::fstat(there.get(), &info) == 0
            && S_ISREG(info.st_mode)
            && verifier(input.source, descriptorPath(there.get()), input.tagName, input.value).wrong.isEmpty();
        publication.kind = same ? FileOutcome::Kind::AlreadyThere : FileOutcome::Kind::Failed;
        publication.reason = same ? QString() : nameTakenReason(input.finalName);
        publication.group = same ? QString() : nameTakenGroup();
        return publication;
    };
    if (input.output.isEmpty())
        return judgeTaken();

    const auto failWith = [&](const QString &reason) {
        folder.discard(input.output);
        publication.kind = FileOutcome::Kind::Failed;
        publication.reason = reason;
        return publication;
    };
    const Descriptor copy(openPlain(folder.runDescriptor(), input.output));
    if (copy.get() < 0)
        return failWith(errno == ENOENT
                            ? QStringLiteral("ExifTool reported success, but the result file is missing.")
                            : QStringLiteral("The copy cannot be read (%1).").arg(systemError(errno)));
    struct stat info {};
    if (::fstat(copy.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
        return failWith(QStringLiteral("ExifTool's result is not a plain file of this user's."));
#ifdef Q_OS_LINUX
    // Write-back starts now, so the sync after the check finds little left to do.
    if (input.sync)
        ::sync_file_range(copy.get(), 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
    const CopyCheck check = verifier
        ? verifier(input.source, descriptorPath(copy.get()), input.tagName, input.value)
        : CopyCheck{};
    if (!check.wrong.isEmpty())
        return failWith(check.wrong);
    // Files with the same notes, ExifTool's and the check's, make one group.
    const QString notes = input.noteWords.isEmpty() || check.note.isEmpty()
        ? input.noteWords + check.note
        : input.noteWords + QStringLiteral(". ") + check.note;
    if (cancelled.load())
        return failWith(QStringLiteral("The run was stopped."));
    // Without this a power cut can leave an empty file under the final name.
    if (input.sync && ::fdatasync(copy.get()) != 0)
        return failWith(QStringLiteral("The copy could not be saved to disk (%1).").arg(systemError(errno)));
    if (!gate.enterRename())
        return failWith(QStringLiteral("The run gave up on this file."));

    int error = 0;
    switch (renameNoReplace(folder, input, &error)) {
    case Named::Done:
        publication.kind = notes.isEmpty() ? FileOutcome::Kind::Written : FileOutcome::Kind::WrittenWithNotes;
        publication.reason = notes;
        publication.toolLine = input.noteLines;
        return publication;
    case Named::Taken:
        folder.discard(input.output);
        return judgeTaken();
    case Named::Failed:
        break;
    }
    if (error == EPERM || error == ENOTSUP || error == EOPNOTSUPP)
        return failWith(QStringLiteral("The results folder cannot give the copy its name without "
                                       "risking to replace a file there (its file system has no "
                                       "safe way to do it: %1).")
                            .arg(systemError(error)));
    return failWith(QStringLiteral("The copy could not be given its name (%1).").arg(systemError(error)));
}
