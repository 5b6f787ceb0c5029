#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <memory>
#include <mutex>

#include "writer/output/claimjournal.h"
#include "writer/output/destination.h"
#include "platform/files.h"

// A run's private folder inside the results folder, made with mkdtemp (mode
// 0700), so nobody else can plant a link or a pipe where the tools write.
// Both folders are held by descriptors from the start: a results folder
// renamed or moved during the run still gets its copies, and still loses the
// run folder at the end. A lock file inside tells later runs that this one is
// alive; the folders of runs that died are swept by the next run.
//
// Every call blocks on the file system: worker threads only.
class RunFolder {
public:
    ~RunFolder(); // closes the descriptors; removes nothing

    RunFolder(const RunFolder &) = delete;
    RunFolder &operator=(const RunFolder &) = delete;

    // Opens the results folder, sweeps what dead runs left there and makes
    // this run's folder. Null, with the reason, when the folder cannot take it.
    static std::unique_ptr<RunFolder> create(const QByteArray &resultsFolder, QString *whyNot);

    int resultsDescriptor() const { return m_results; }
    int runDescriptor() const { return m_run; }
    // What the results folder's file system can do, found when the run folder was made.
    const Destination &destination() const { return m_destination; }
    // Where final names are claimed (Destination::Way::Claim); null otherwise.
    ClaimJournal *journal() const { return m_journal.get(); }
    // Claims not yet finished, removed at the end of the run while still unfilled.
    void rememberClaim(const QByteArray &name, const Platform::FileStatus &made, const QByteArray &mark) const;
    void forgetClaim(const QByteArray &name) const;
    // What earlier runs that died had left here, found when this one began;
    // after finish(), also whether this run's own folder had to be kept.
    const LeftBehind &leftBehind() const { return m_leftBehind; }

    // A fresh name for a tool's output in the run folder: free of "%", and
    // with an extension that ExifTool does not take for a sidecar.
    static QByteArray outputName(quint64 serial);

    // What lies under a name in the results folder, without following links.
    enum class Entry { Missing, File, Folder, Other, Unknown };
    Entry resultsEntry(const QByteArray &name, int *error = nullptr) const;
    // The name in the results folder that this one is taken for, where case
    // does not count; empty when none differs from it.
    QByteArray otherCaseThere(const QByteArray &name) const;

    // Removes a tool's output from the run folder.
    void discard(const QByteArray &outputName) const;

    // Makes the published names durable, then removes the run folder with
    // whatever is left in it.
    void finish();

private:
    RunFolder() = default;
    enum class TakenFolder { Taken, Swept, NoExclusiveCreate, Failed };
    // A new run folder, made and locked; Swept when a run starting beside
    // this one took it for a dead run's first.
    TakenFolder takeNewRunFolder(const QByteArray &resultsFolder, int *error);
    void dropUnfinishedClaims();

    Destination m_destination;
    std::unique_ptr<ClaimJournal> m_journal;
    mutable std::mutex m_claimsLock;
    struct Claim {
        Platform::FileStatus made;
        QByteArray mark;
    };
    mutable QHash<QByteArray, Claim> m_claims;
    LeftBehind m_leftBehind;
    int m_results = -1;
    int m_run = -1;
    int m_lock = -1;
    QByteArray m_runName;
};

QByteArray joinPath(const QByteArray &folder, const QByteArray &name);
