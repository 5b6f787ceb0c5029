#pragma once

#include <QFile>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

#include "writer/commandline.h"
#include "writer/progresssink.h"

class Dialogs;
class ExifToolWorker;
class WaitProgress;
struct ToolResult;

// What the run reads from the window and shows on it. Values are read at the
// moment each file's turn comes, so changes during a run apply from the next file.
class BatchHost : public ProgressSink {
public:
    virtual int entryCount() const = 0;
    virtual QString entryText(int position) const = 0; // 1-based
    virtual QByteArray entryPath(int position) const { return QFile::encodeName(entryText(position)); } // native bytes, 1-based
    virtual QString tagLabel() const = 0;
    virtual QString tagValue() const = 0;
    virtual QString resultsFolder() const = 0;
    virtual void setBusyPointer(bool busy) = 0;
};

// One file the run could not write, with the tool's reason.
struct FileFailure {
    QString source;
    QString output;
    QString reason;
    QString commandLine; // the command as it would be typed, for display
};

struct BatchReport {
    int total = 0;
    QList<FileFailure> failures;
};

// The "Start Changing" command: writes the chosen tag into a new copy of every
// listed file, one after the other, through a resident ExifTool. Driven by the
// tool's signals and a 100 ms timer, so the window never blocks.
class BatchRun : public QObject {
    Q_OBJECT
public:
    BatchRun(BatchHost &host, Dialogs &dialogs, QObject *parent = nullptr);
    ~BatchRun() override;

    // The tool to run; by default "exiftool" found on PATH.
    void setToolProgram(const QString &program) { m_toolProgram = program; }
    // For tests: the poll interval of the wait shown on the bar.
    void setTickInterval(int ms) { m_tickMs = ms; }

    // The click on "Start Changing". Does nothing while a run is going on.
    void PushButton3_Click();
    bool BatchBusy() const { return m_busy; }

    // The window is closing: stop the tool at once and remove a result file
    // that this run created and did not finish.
    void abandon();

    // The message the run ends with: "Done." when every file was written.
    static QString doneMessage(const BatchReport &report);
    static QString failureDetails(const BatchReport &report);

signals:
    void runFinished(const BatchReport &report);

private:
    struct State;
    struct Slot;
    struct FileJob;

    // Runs one numbered step under the run's error trap. False when the run
    // was abandoned or replaced meanwhile (a report box runs its own event
    // loop), so the caller must not go on with it.
    bool step(int number, const std::function<void()> &work, bool *succeeded = nullptr);
    void scheduleAdvance();
    void advance();
    bool prepare(Slot &slot, int position);
    void dispatch(Slot &slot);
    void startWorker(Slot &slot);
    void retireWorker(Slot &slot, bool killNow);
    void onWorkerStarted(Slot &slot);
    void onWorkerFailed(Slot &slot, const QString &reason);
    void onFileFinished(Slot &slot, const ToolResult &result);
    void onTick(Slot &slot);
    void failFile(const FileJob &job, const QString &reason);
    void finishRun();

    std::unique_ptr<State> d;
    BatchHost &m_host;
    Dialogs &m_dialogs;
    QString m_toolProgram;
    int m_tickMs;
    bool m_busy = false;
};
