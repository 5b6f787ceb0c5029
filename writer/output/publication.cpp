#include "writer/output/publication.h"

#include "platform/files.h"
#include "platform/threadpriority.h"
#include "writer/output/claimedname.h"
#include "writer/output/runfolder.h"
#include "writer/report/reasons.h"

using Platform::FileHandle;

namespace {

bool isRegularFile(int fd)
{
    const Platform::FileStatus status = Platform::statusOf(fd);
    return status.ok() && status.kind == Platform::FileKind::Regular;
}

} // namespace

Publication publishCopy(const PublishInput &input, const CopyVerifier &verifier,
                        const RunFolder &folder, PublishGate &gate, const std::atomic_bool &cancelled)
{
    // Checking copies is background work, like the tools' own: the window comes first.
    Platform::lowerThisThreadsPriority();
    Publication publication;
    // A copy made earlier with this very value counts as written, so a second
    // run finishes what the first left. A link there is never followed.
    const auto judgeTaken = [&] {
        const FileHandle there(Platform::openForReadingAt(folder.resultsDescriptor(), input.finalName));
        const bool same = verifier && there.isOpen() && isRegularFile(there.get())
            && verifier(input.source, Platform::descriptorPath(there.get()), input.tagName, input.value)
                   .wrong.isEmpty();
        publication.kind = same ? FileOutcome::Kind::AlreadyThere : FileOutcome::Kind::Failed;
        publication.reason = same ? QString() : because(Reason::NameTaken, QString::fromUtf8(input.finalName));
        publication.group = same ? QString() : because(Reason::NameTakenGroup);
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
    FileHandle copy(Platform::openForReadingAt(folder.runDescriptor(), input.output));
    if (!copy.isOpen()) {
        const int error = Platform::lastError();
        return failWith(Platform::isMissing(error) ? because(Reason::ResultMissing)
                                                   : because(Reason::CopyUnopened, systemWords(error)));
    }
    const Platform::FileStatus info = Platform::statusOf(copy.get());
    if (!info.ok() || info.kind != Platform::FileKind::Regular || !info.ownedByUser)
        return failWith(because(Reason::NotPlainOwnFile));
    // Write-back starts now, so the sync after the check finds little left to do.
    if (input.sync)
        Platform::startWriteBack(copy.get());
    // Where the name cannot be given without replacing, it is held first, so
    // no other writer can take it while the copy is checked.
    std::unique_ptr<ClaimedName> claim;
    if (folder.destination().way == Destination::Way::Claim) {
        claim = std::make_unique<ClaimedName>(folder, input.finalName);
        int error = 0;
        switch (claim->make(&error)) {
        case ClaimedName::Made::Claimed:
            break;
        case ClaimedName::Made::Taken:
            folder.discard(input.output);
            return judgeTaken();
        case ClaimedName::Made::Failed:
            return failWith(because(Reason::NotNamed, systemWords(error)));
        }
    }
    const CopyCheck check = verifier
        ? verifier(input.source, Platform::descriptorPath(copy.get()), input.tagName, input.value)
        : CopyCheck{};
    if (!check.wrong.isEmpty())
        return failWith(check.wrong);
    // Files with the same notes, ExifTool's and the check's, make one group.
    const QString notes = input.noteWords.isEmpty() || check.note.isEmpty()
        ? input.noteWords + check.note
        : input.noteWords + QStringLiteral(". ") + check.note;
    if (cancelled.load())
        return failWith(because(Reason::RunStopped));
    // Without this a power cut can leave an empty file under the final name.
    if (input.sync && !Platform::syncData(copy.get()))
        return failWith(because(Reason::NotSavedToDisk, systemWords(Platform::lastError())));
    if (!gate.enterRename())
        return failWith(because(Reason::RunGaveUp));

    const auto written = [&] {
        publication.kind = notes.isEmpty() ? FileOutcome::Kind::Written : FileOutcome::Kind::WrittenWithNotes;
        publication.reason = notes;
        publication.toolLine = input.noteLines;
        return publication;
    };
    int error = 0;
    if (claim) {
        if (!claim->stillOurs()) {
            claim->letGo();
            return failWith(because(Reason::ClaimChanged));
        }
        if (folder.destination().renameOverClaim) {
            if (!claim->renameOver(input.output, &error))
                return failWith(because(Reason::NotNamed, systemWords(error)));
            claim->finish(false);
            return written();
        }
        // The file system will not rename over a file: the claim takes the bytes.
        if (!claim->fill(copy.get(), input.output, info.size, &error, gate.cut())) {
            if (!gate.cut())
                return failWith(because(Reason::NotSavedToDisk, systemWords(error)));
            publication = failWith(because(Reason::StoppedWhileWriting));
            publication.kind = FileOutcome::Kind::Stopped;
            return publication;
        }
        if (!claim->stillHoldsFilled()) {
            claim->letGo();
            return failWith(because(Reason::ClaimChanged));
        }
        const CopyCheck again = verifier
            ? verifier(input.source, Platform::descriptorPath(claim->descriptor()), input.tagName, input.value)
            : CopyCheck{};
        if (!again.wrong.isEmpty())
            return failWith(again.wrong);
        claim->finish(true);
        copy.close();
        folder.discard(input.output);
        return written();
    }
    const Platform::Renamed renamed = folder.destination().way == Destination::Way::Link
        ? Platform::linkNoReplace(folder.runDescriptor(), input.output, folder.resultsDescriptor(),
                                  input.finalName, &error)
        : Platform::renameNoReplace(folder.runDescriptor(), input.output, folder.resultsDescriptor(),
                                    input.finalName, &error);
    switch (renamed) {
    case Platform::Renamed::Done:
        return written();
    case Platform::Renamed::Taken:
        folder.discard(input.output);
        return judgeTaken();
    case Platform::Renamed::Unsupported:
        return failWith(because(Reason::NoSafeRename, systemWords(error)));
    case Platform::Renamed::Failed:
        break;
    }
    return failWith(because(Reason::NotNamed, systemWords(error)));
}
