#include "writer/publication.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "writer/runoutputs.h"

namespace {

QString fileNameOf(const QByteArray &path)
{
    return QString::fromUtf8(path.mid(path.lastIndexOf('/') + 1));
}


QString nameTakenReason(const QByteArray &finalPath)
{
    return QStringLiteral("A file named %1 is already in the results folder; it was left as it is.")
        .arg(fileNameOf(finalPath));
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

} // namespace

QString nameTakenGroup()
{
    return QStringLiteral("A file of the same name is already in the results folder; it was left "
                          "as it is.");
}

Publication publishCopy(const PublishInput &input, const CopyVerifier &verifier,
                        const std::atomic_bool &cancelled)
{
    givePriorityToTheWindow();
    Publication publication;
    // A copy made earlier with this very value counts as written, so a second
    // run finishes what the first left.
    const auto judgeTaken = [&] {
        const bool same = verifier
            && verifier(input.source, input.final, input.tagName, input.value).wrong.isEmpty();
        publication.kind = same ? FileOutcome::Kind::AlreadyThere : FileOutcome::Kind::Failed;
        publication.reason = same ? QString() : nameTakenReason(input.final);
        publication.group = same ? QString() : nameTakenGroup();
        return publication;
    };
    if (input.temporary.isEmpty())
        return judgeTaken();

    const auto failWith = [&](const QString &reason) {
        ::unlink(input.temporary.constData());
        publication.kind = FileOutcome::Kind::Failed;
        publication.reason = reason;
        return publication;
    };
    const CopyCheck check =
        verifier ? verifier(input.source, input.temporary, input.tagName, input.value) : CopyCheck{};
    if (!check.wrong.isEmpty())
        return failWith(check.wrong);
    // Files with the same notes, ExifTool's and the check's, make one group.
    const QString notes = input.noteWords.isEmpty() || check.note.isEmpty()
        ? input.noteWords + check.note
        : input.noteWords + QStringLiteral(". ") + check.note;
    if (cancelled.load())
        return failWith(QStringLiteral("The run was stopped."));
    QString whyNot;
    switch (publishNoReplace(input.temporary, input.final, &whyNot)) {
    case PublishResult::Published:
        publication.kind = notes.isEmpty() ? FileOutcome::Kind::Written
                                           : FileOutcome::Kind::WrittenWithNotes;
        publication.reason = notes;
        publication.toolLine = input.noteLines;
        return publication;
    case PublishResult::NameTaken:
        ::unlink(input.temporary.constData());
        return judgeTaken();
    case PublishResult::Failed:
        break;
    }
    return failWith(whyNot);
}

