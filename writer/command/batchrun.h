#pragma once

#include <QByteArray>
#include <QFile>
#include <QFutureWatcher>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

#include "platform/filenames.h"
#include "writer/command/batchreport.h"
#include "writer/command/prerunchecks.h"
#include "writer/command/progresssink.h"
#include "writer/engine/fileoutcome.h"
#include "writer/engine/writerengine.h"
#include "writer/values/valueplan.h"

class Dialogs;
class ErrorGuard;
class WaitProgress;

// What the run reads from the window and shows on it. The list, the tag, the
// value and the results folder are read once, when "Start Changing" is
// pressed; what changes afterwards is for the next run.
class BatchHost : public ProgressSink {
public:
    virtual int entryCount() const = 0;
    virtual QString entryText(int position) const = 0; // 1-based
    virtual QByteArray entryPath(int position) const { return Platform::encodeName(entryText(position)); } // native bytes, 1-based
    virtual QString tagLabel() const = 0;
    virtual QString tagValue() const = 0;
    // How the value is used: one of the ways' labels.
    virtual QString valueWay() const { return wayLabel(ValueWay::AsTyped); }
    // Some entries bring their own values (from a spreadsheet): each entry's
    // own, or none, is then used in place of the typed value.
    virtual bool hasOwnValues() const { return false; }
    virtual std::optional<QString> entryValue(int /*position*/) const { return std::nullopt; } // 1-based
    virtual QString resultsFolder() const = 0;
    virtual void setBusyPointer(bool busy) = 0;
    // True from the moment the run has taken its inputs until it ends: the
    // window keeps them from being edited and offers to stop.
    virtual void setRunning(bool /*running*/) {}
    // Files finished, of those in the run.
    virtual void setRunProgress(int /*done*/, int /*total*/) {}
    // The value was refused before the run: the user goes on typing there.
    virtual void focusValue() {}
};

// What the run works from, as it stood when "Start Changing" was pressed.
struct RunInputs {
    QStringList texts;       // the list entries, in list order
    QList<QByteArray> paths; // their native bytes
    QString tagLabel;
    QString value;
    QString resultsFolder;
    ValuePlan plan;                         // how each file's value is made
    QList<std::optional<QString>> ownValues; // per entry, when the plan takes own values
};

// The "Start Changing" command: checks, messages, the bar and the pointer,
// and the numbered steps under the error trap. The writing itself is the
// engine's; the command hands it the listed files one at a time.
class BatchRun : public QObject, private JobSource {
    Q_OBJECT
public:
    BatchRun(BatchHost &host, Dialogs &dialogs, QObject *parent = nullptr);
    ~BatchRun() override;

    // The tool to run; by default "exiftool" found on PATH.
    void setToolProgram(const QString &program) { m_toolProgram = program; }
    // For tests: the poll interval of the wait shown on the bar, the number
    // of tools and the time a file may take.
    void setTickInterval(int ms) { m_tickMs = ms; }
    void setWorkerCount(int workers) { m_workers = workers; }
    void setFileTimeout(int ms) { m_fileTimeoutMs = ms; }
    void setVerifier(CopyVerifier verifier) { m_verifier = std::move(verifier); }

    // The click on "Start Changing". Does nothing while a run is going on.
    void PushButton3_Click();
    bool BatchBusy() const { return m_busy; }

    // Stop or Escape during a run: asks, and on Yes no further file starts.
    // The question closes by itself when the run ends first.
    void requestStop();

    // The window is closing: the tools end at once and no temporary file of
    // the run is left.
    void abandon();

signals:
    void runFinished(const BatchReport &report);

private:
    struct Dispatch {
        int tick = 0;
        QString caption;
        int value = 0;
        int count = 0;
    };

    bool step(int number, const std::function<void()> &work, bool *succeeded = nullptr);
    RunInputs takeInputs(int count) const;
    void onChecked();
    void startEngine(const QString &tool);
    std::optional<WriteJob> nextJob() override;
    std::optional<WriteJob> prepare(int position);
    void onFileDone(const FileOutcome &outcome);
    void onTick();
    void onFailedToStart(const QString &reason);
    void finishRun();
    void closeOpenQuestion();

    BatchHost &m_host;
    Dialogs &m_dialogs;
    QString m_toolProgram;
    int m_tickMs;
    int m_workers = 0;
    int m_fileTimeoutMs = FileTimeoutMs;
    CopyVerifier m_verifier;
    bool m_busy = false;

    RunInputs m_inputs;
    QFutureWatcher<RunChecks> m_checks;
    quint64 m_checkedRun = 0;
    bool m_asking = false; // the stop question is open

    std::shared_ptr<ErrorGuard> m_guard;
    std::unique_ptr<WriterEngine> m_engine;
    quint64 m_runId = 0;
    QString m_toolPath;
    int m_turn = 0;
    int m_bound = 0;
    bool m_stopped = false;
    std::optional<Assignment> m_assignment; // none when no tag is chosen
    QList<FileOutcome> m_outcomes;

    // The bar's wait follows the file longest in a tool.
    QTimer m_ticker;
    int m_ticks = 0;
    QHash<int, Dispatch> m_dispatched;
    int m_followed = 0;
    std::unique_ptr<WaitProgress> m_wait;
    QString m_lastCaption;
    int m_lastValue = 0;
};
