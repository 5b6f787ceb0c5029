#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

#include "writer/engine/fileoutcome.h"
#include "writer/engine/filesinflight.h"
#include "writer/engine/nameclaims.h"
#include "writer/engine/writejob.h"
#include "writer/output/claimjournal.h"
#include "writer/output/destination.h"
#include "writer/output/publication.h"

class RunFiles;
class ToolPool;
struct Admission;
struct ToolResult;

// A file that gets no answer for this long (from the tool, or from the file
// system while it is looked at, checked or published) is given up.
inline constexpr int FileTimeoutMs = 2 * 60 * 1000;
// After a stop, how long the files being written may take to finish. A
// slow share takes seconds per copy: the end must not wait for them all.
inline constexpr int StopGraceMs = 3000;

// Writes the copies: resident ExifTools (one per core by default), each kept
// fed with several commands, writing into a private run folder; every copy
// is checked, synced and published under its final name without ever
// replacing a file, in the strongest way the results folder allows. The engine's own thread only dispatches: every
// file-system call runs on worker threads. Only a few files per tool are
// unresolved at any time, so memory stays flat however long the list.
// Headless: the window, the benchmark and the tests drive it alike.
class WriterEngine : public QObject {
    Q_OBJECT
public:
    struct Options {
        QString toolPath;
        QString resultsFolder;     // where the copies go; every job's final path is in it
        int workers = 0;           // 0: one per core
        int commandsPerWorker = 3;
        int fileTimeoutMs = FileTimeoutMs;
        CopyVerifier verifier;     // none: the tool's word is taken
        bool syncCopies = true;    // off only to measure what the sync costs
    };

    WriterEngine(JobSource &source, Options options, QObject *parent = nullptr);
    ~WriterEngine() override;

    // Makes the run folder and starts the tools (no more than fileCount); the
    // files follow as soon as a tool is ready. failedToStart() or finished()
    // ends the run.
    void start(int fileCount);
    // No further file starts, and only the files a tool has begun may still
    // be written: the rest end as stopped at once. What is still being
    // written when the grace runs out is given up.
    void stop();
    // At once (the program is closing): the tools are killed and the run
    // folder goes, waiting for the file system for a second at most.
    void abandon();
    bool isRunning() const { return m_running; }

    // The position of the file that has been in a tool longest, 0 when none.
    int oldestInFlight() const;
    // What runs that died had left in the results folder, and this one cleared.
    LeftBehind leftBehind() const;

signals:
    void failedToStart(const QString &reason);
    void fileDone(const FileOutcome &outcome);
    void finished();

private:

    void onFolderOpened(bool ok, const QString &whyNot);
    void onToolsFailedToStart(const QString &why);
    QString noToolReason() const;
    void onAnswer(quint64 serial, const ToolResult &result, bool timedOut);
    void cutStopShort();
    void pump();
    void feedTools();
    void admit(const WriteJob &job);
    void onAdmitted(quint64 serial, const Admission &admission);
    void send(quint64 serial);
    void publishWhenFirst(quint64 serial);
    void turnAway(quint64 serial);
    void startPublication(quint64 serial);
    // Takes its texts by value: they may come from the flight it ends.
    void resolve(quint64 serial, FileOutcome::Kind kind, QString reason,
                 QString toolLine = QString(), QString group = QString(),
                 QString detail = QString());
    QByteArray nameKey(const QByteArray &finalPath) const;
    void checkFinished();
    void closeRun();

    JobSource &m_source;
    Options m_options;
    std::unique_ptr<ToolPool> m_tools;
    int m_toolCount = 1;
    FilesInFlight m_flights;
    NameClaims m_names;
    Destination m_destination;
    std::unique_ptr<RunFiles> m_files;
    QTimer m_closeDeadline;
    QTimer m_stopGrace;
    QString m_folderFailure;
    quint64 m_nextSerial = 1;
    quint64 m_generation = 0;
    bool m_running = false;
    bool m_folderOpening = false;
    bool m_exhausted = false;
    bool m_stopping = false;
    bool m_cutShort = false;  // the stop's grace is over: nothing more is published
    bool m_pulling = false;
    bool m_closing = false;   // every file is resolved; the tools are asked to end
    bool m_finishing = false; // the run folder is going
};
