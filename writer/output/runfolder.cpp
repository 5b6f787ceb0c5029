#include "writer/output/runfolder.h"

#include <QHash>
#include <QList>
#include <ctime>

#include "platform/filenames.h"
#include "platform/files.h"
#include "platform/toolprocess.h"
#include "writer/output/claimjournal.h"
#include "writer/output/claimsweep.h"
#include "writer/report/reasons.h"

using Platform::FileHandle;

namespace {

const QByteArray RunPrefix(".ostrell-run-");
const QByteArray LockName("lock");
// A run folder without its lock is only that young while its run starts.
constexpr std::int64_t UnlockedGraceSeconds = 60;

// Names earlier versions left in the results folder itself.
const QByteArray LegacyPrefix(".ostrell-");
const QByteArray LegacyTemporarySuffix(".tmp");
const QByteArray LegacyLockSuffix(".lock");

// Empties a run folder of files but the one named; a folder inside (planted
// by nobody but this user) is left, and so is the run folder then. Gives
// what is left.
QList<QByteArray> emptyFolder(int folder, const QByteArray &except = QByteArray())
{
    QList<QByteArray> kept;
    for (const QByteArray &name : Platform::namesIn(folder))
        if (name != except && !Platform::removeFileAt(folder, name))
            kept.append(name);
    return kept;
}

// A run folder whose lock anybody can take belongs to a run that ended
// without tidying up: a crash, a kill, a power cut.
void sweepDeadRun(int results, const QByteArray &name, bool stableFileNumbers, LeftBehind *found)
{
    const FileHandle folder(Platform::openFolderAt(results, name));
    if (!folder.isOpen())
        return;
    const Platform::FileStatus info = Platform::statusOf(folder.get());
    if (!info.ok() || info.kind != Platform::FileKind::Folder || !info.ownedByUser)
        return;
    FileHandle lock(Platform::openLockAt(folder.get(), LockName));
    bool dead = false;
    if (lock.isOpen())
        dead = Platform::tryLock(lock.get());
    else
        dead = Platform::isMissing(Platform::lastError())
            && info.modifiedSeconds + UnlockedGraceSeconds < std::int64_t(std::time(nullptr));
    if (dead) {
        // Its name goes while the lock is still held: a run that made this
        // folder a moment ago and takes the lock next then finds it gone,
        // and starts again in a folder of its own (RunFolder::create).
        if (lock.isOpen())
            Platform::removeFileAt(folder.get(), LockName);
        sweepDeadClaims(folder.get(), results, stableFileNumbers, found);
        lock.close(); // see FileHandle::close
        emptyFolder(folder.get());
        Platform::removeFolderAt(results, name);
    }
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
        const FileHandle lock(Platform::openLockAt(results, lockName));
        if (!lock.isOpen())
            continue;
        const Platform::FileStatus info = Platform::statusOf(lock.get());
        if (info.ok() && info.kind == Platform::FileKind::Regular && info.ownedByUser
            && Platform::tryLock(lock.get())) {
            for (const QByteArray &name : temporaries.value(token))
                Platform::removeFileAt(results, name);
            Platform::removeFileAt(results, lockName);
        }
    }
}

void sweepDeadRuns(int results, bool stableFileNumbers, LeftBehind *found)
{
    const QList<QByteArray> names = Platform::namesIn(results);
    for (const QByteArray &name : names)
        if (name.startsWith(RunPrefix))
            sweepDeadRun(results, name, stableFileNumbers, found);
    sweepLegacy(results, names);
}

} // namespace

QByteArray joinPath(const QByteArray &folder, const QByteArray &name)
{
    return Platform::joinedPath(folder, name);
}

RunFolder::~RunFolder()
{
    m_journal.reset();
    for (int fd : {m_lock, m_run, m_results})
        Platform::closeFile(fd);
}

std::unique_ptr<RunFolder> RunFolder::create(const QByteArray &resultsFolder, QString *whyNot)
{
    const auto fail = [whyNot](int error) {
        *whyNot = because(Reason::ResultsNotWritable, systemWords(error));
        return nullptr;
    };
    std::unique_ptr<RunFolder> folder(new RunFolder);
    folder->m_results = Platform::openFolder(resultsFolder);
    if (folder->m_results < 0)
        return fail(Platform::lastError());
    const QByteArray type = Platform::fileSystemOf(folder->m_results).type;
    sweepDeadRuns(folder->m_results, rulesForType(type).stableFileNumbers, &folder->m_leftBehind);
    const auto noExclusiveCreate = [&](int error) {
        *whyNot = because(Reason::NoExclusiveCreate, rulesForType(type).shownType(), Platform::errorText(error));
        folder->finish();
        return nullptr;
    };

    // Between making its folder and locking it, a run looks dead to one
    // that starts beside it; the folder may then be swept, and a new one is
    // made.
    for (int attempt = 1;; ++attempt) {
        int error = 0;
        const TakenFolder taken = folder->takeNewRunFolder(resultsFolder, &error);
        if (taken == TakenFolder::Taken)
            break;
        if (taken == TakenFolder::NoExclusiveCreate)
            return noExclusiveCreate(error);
        if (taken == TakenFolder::Failed || attempt == 3) {
            folder->finish();
            return fail(error);
        }
    }
    if (!Platform::toolCanWorkIn(folder->m_run)) {
        *whyNot = because(Reason::ResultsPathTooLong, QString::number(Platform::decodeName(resultsFolder).size()));
        folder->finish();
        return nullptr;
    }
    folder->m_destination = probeDestination(folder->m_run, type);
    if (folder->m_destination.way == Destination::Way::None)
        return noExclusiveCreate(folder->m_destination.error);
    if (folder->m_destination.way == Destination::Way::Claim) {
        folder->m_journal = ClaimJournal::create(folder->m_run);
        if (!folder->m_journal) {
            const int error = Platform::lastError();
            folder->finish();
            return fail(error);
        }
    }
    return folder;
}

RunFolder::TakenFolder RunFolder::takeNewRunFolder(const QByteArray &resultsFolder, int *error)
{
    QByteArray path = joinPath(resultsFolder, RunPrefix + "XXXXXX");
    if (!Platform::makePrivateFolder(&path)) {
        *error = Platform::lastError();
        return TakenFolder::Failed;
    }
    m_runName = Platform::nameOfPath(path);
    // Opened by its name right after mkdtemp made it 0700: nobody else can
    // have put anything else there.
    m_run = Platform::openFolderAt(m_results, m_runName);
    if (m_run < 0) {
        *error = Platform::lastError();
        Platform::removeFolderAt(m_results, m_runName);
        return TakenFolder::Failed;
    }
    m_lock = Platform::createLockAt(m_run, LockName);
    if (m_lock < 0) {
        *error = Platform::lastError();
        return Platform::refusesExclusiveCreate(*error) ? TakenFolder::NoExclusiveCreate : TakenFolder::Failed;
    }
    const Platform::FileStatus held = Platform::statusOf(m_lock);
    if (Platform::tryLock(m_lock)) {
        const Platform::FileStatus named = Platform::statusAt(m_run, LockName);
        if (held.ok() && named.ok() && held.sameFileAs(named))
            return TakenFolder::Taken;
    }
    // The run that took it empties and removes it.
    *error = Platform::lastError();
    Platform::closeFile(m_lock);
    Platform::closeFile(m_run);
    m_lock = m_run = -1;
    return TakenFolder::Swept;
}

QByteArray RunFolder::outputName(quint64 serial)
{
    return QByteArray::number(serial) + ".tmp";
}

RunFolder::Entry RunFolder::resultsEntry(const QByteArray &name, int *error) const
{
    const Platform::FileStatus info = Platform::statusAt(m_results, name);
    if (!info.ok()) {
        if (error)
            *error = info.error;
        return Platform::isMissing(info.error) ? Entry::Missing : Entry::Unknown;
    }
    if (info.kind == Platform::FileKind::Regular)
        return Entry::File;
    if (info.kind == Platform::FileKind::Folder)
        return Entry::Folder;
    return Entry::Other;
}

QByteArray RunFolder::otherCaseThere(const QByteArray &name) const
{
    if (!m_destination.caseInsensitive)
        return QByteArray();
    const QString folded = foldedName(name);
    for (const QByteArray &there : Platform::namesIn(m_results))
        if (there != name && foldedName(there) == folded)
            return there;
    return QByteArray();
}

void RunFolder::rememberClaim(const QByteArray &name, const Platform::FileStatus &made,
                              const QByteArray &mark) const
{
    const std::lock_guard<std::mutex> locked(m_claimsLock);
    m_claims.insert(name, {made, mark});
}

void RunFolder::forgetClaim(const QByteArray &name) const
{
    const std::lock_guard<std::mutex> locked(m_claimsLock);
    m_claims.remove(name);
}

// Claims whose publication was given up (a stalled disk): still unfilled and
// still this run's, they go with the run.
void RunFolder::dropUnfinishedClaims()
{
    const std::lock_guard<std::mutex> locked(m_claimsLock);
    for (auto claim = m_claims.cbegin(); claim != m_claims.cend(); ++claim) {
        const Platform::FileStatus there = Platform::statusAt(m_results, claim.key());
        if (!there.ok() || there.kind != Platform::FileKind::Regular)
            continue;
        if ((there.sameFileAs(claim->made) && there.size == 0)
            || ClaimJournal::holdsMark(m_results, claim.key(), claim->mark))
            Platform::removeFileAt(m_results, claim.key());
    }
    m_claims.clear();
}

void RunFolder::discard(const QByteArray &outputName) const
{
    Platform::removeFileAt(m_run, outputName);
}

void RunFolder::finish()
{
    if (m_results < 0 || m_run < 0)
        return;
    dropUnfinishedClaims();
    // The renames are durable once the folder that holds them is.
    Platform::syncFile(m_results);
    if (m_journal)
        m_journal->close();
    // Closed before its name goes (see FileHandle::close); a run that sweeps
    // the folder meanwhile finds nothing of this one's to keep.
    if (m_lock >= 0) {
        Platform::closeFile(m_lock);
        m_lock = -1;
    }
    // A folder that has to stay keeps its lock, free, so that the next run
    // takes it for a dead run's at once.
    const QList<QByteArray> kept = emptyFolder(m_run, LockName);
    if (kept.isEmpty())
        Platform::removeFileAt(m_run, LockName);
    // Only the folder this run made: someone who can write the results
    // folder may have renamed it and put another in its place.
    const Platform::FileStatus own = Platform::statusOf(m_run);
    const Platform::FileStatus named = Platform::statusAt(m_results, m_runName);
    const bool ours = own.ok() && named.ok() && own.sameFileAs(named);
    if (ours)
        Platform::removeFolderAt(m_results, m_runName);
    Platform::closeFile(m_run);
    m_run = -1;
    // Another program may hold a file in it, or the folder itself, open
    // where the system removes nothing held: said in the report.
    const Platform::FileStatus still = ours ? Platform::statusAt(m_results, m_runName) : Platform::FileStatus();
    if (ours && still.ok() && still.sameFileAs(own)) {
        m_leftBehind.runFolderKept = m_runName;
        m_leftBehind.filesKept = kept;
        if (kept.isEmpty()) {
            // The folder itself was held: it gets its lock again.
            const FileHandle again(Platform::openFolderAt(m_results, m_runName));
            if (again.isOpen())
                Platform::closeFile(Platform::createLockAt(again.get(), LockName));
        }
    }
}
