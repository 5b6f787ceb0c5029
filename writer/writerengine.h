#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QThreadPool>
#include <QTimer>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "writer/commandline.h"
#include "writer/fileoutcome.h"
#include "writer/nameclaims.h"
#include "writer/publication.h"

class ExifToolWorker;
class RunOutputs;
struct ToolResult;

// A file that gets no answer from the tool for this long is given up.
inline constexpr int FileTimeoutMs = 2 * 60 * 1000;

// One listed file, ready to be written.
struct WriteJob {
    int position = 0;          // in the list, 1-based: decides who wins a shared name
    QString source;            // the list entry's text, for reports
    QByteArray sourcePath;     // the file system's own bytes
    QByteArray resultsFolder;
    QByteArray finalPath;
    std::optional<Assignment> assignment;
    QString tagName;           // ExifTool's name of the tag; empty without an assignment
    QString commandLine;       // as it would be typed, for reports
    QString refusal;           // set when the file must not reach the tool
};

// Hands the engine its files, one at a time, in list order.
class JobSource {
public:
    virtual ~JobSource() = default;
    // The next file, or nothing when the list is done. May show a report box,
    // and so run a nested event loop.
    virtual std::optional<WriteJob> nextJob() = 0;
};


// Writes the copies: resident ExifTools (one per core by default), each kept
// fed with more than one command, every copy written under a temporary name
// of the run's own, checked, and published under its final name by an atomic
// rename that never replaces a file. Headless: the window, the benchmark and
// the tests drive it alike.
class WriterEngine : public QObject {
    Q_OBJECT
public:
    struct Options {
        QString toolPath;
        int workers = 0;           // 0: one per core
        int commandsPerWorker = 2;
        int fileTimeoutMs = FileTimeoutMs;
        QString workingFolder;     // the tools start here; outputs here are named relatively
        CopyVerifier verifier;     // none: the tool's word is taken
    };

    WriterEngine(JobSource &source, Options options, QObject *parent = nullptr);
    ~WriterEngine() override;

    // Starts the tools (no more than fileCount); the files follow as soon as
    // one is ready. failedToStart() or finished() ends the run.
    void start(int fileCount);
    // No further file starts; the files in flight finish.
    void stop();
    // At once (the program is closing): the tools are killed, and no
    // temporary file of the run is left behind.
    void abandon();
    bool isRunning() const { return m_running; }

    // The position of the file that has been in a tool longest, 0 when none.
    int oldestInFlight() const;

    static QString timeoutReason(int timeoutMs);


signals:
    void failedToStart(const QString &reason);
    void fileDone(const FileOutcome &outcome);
    void finished();

private:
    struct Flight;
    struct Slot;

    void startWorker(int slotIndex);
    void onWorkerStarted(int slotIndex, ExifToolWorker *worker);
    void onWorkerFailed(int slotIndex, ExifToolWorker *worker, const QString &reason);
    void onAnswer(ExifToolWorker *worker, int id, const ToolResult &result);
    void retire(ExifToolWorker *worker, bool kill);
    void pump();
    bool admit(const WriteJob &job);
    bool send(int slotIndex, quint64 serial);
    void checkWatch();
    void publishWhenFirst(quint64 serial);
    void turnAway(quint64 serial);
    void startPublication(quint64 serial);
    void onPublished(quint64 serial, const Publication &publication);
    void resolve(quint64 serial, FileOutcome::Kind kind, const QString &reason,
                 const QString &toolLine = QString(), const QString &group = QString(),
                 const QString &detail = QString());
    int roomiestSlot() const;
    bool anyLiveWorker() const;
    void checkFinished();

    JobSource &m_source;
    Options m_options;
    std::vector<Slot> m_slots;
    std::map<quint64, Flight> m_flights; // every file not yet resolved
    QHash<ExifToolWorker *, QList<quint64>> m_inTool;
    QList<quint64> m_retry;
    NameClaims m_names;
    QList<ExifToolWorker *> m_retiring;
    std::unique_ptr<RunOutputs> m_outputs;
    std::shared_ptr<std::atomic_bool> m_cancelled;
    QThreadPool m_pool;
    QTimer m_watch;
    QString m_toolError;
    quint64 m_nextSerial = 1;
    quint64 m_generation = 0;
    bool m_running = false;
    bool m_anyStarted = false;
    bool m_exhausted = false;
    bool m_stopping = false;
    bool m_pulling = false;
};
