#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <vector>

#include "platform/toolprocess.h"

class ExifToolWorker;
struct ToolResult;

// The run's resident ExifTools, one per slot, each holding a few commands so
// that it never waits between files. A tool that ends while idle is replaced
// (three times in a row at most); one that hangs on a file past the time
// limit is killed and replaced. Answers come back by the file they belong to.
class ToolPool : public QObject {
    Q_OBJECT
public:
    ToolPool(QString toolPath, int commandsPerTool, int timeoutMs, QObject *parent = nullptr);
    ~ToolPool() override;

    // Starts the tools, each working in the folder held by the descriptor.
    void start(int tools, int folderDescriptor);
    // Sends the file's command to the tool with the fewest; false when none has room.
    bool submit(quint64 file, const QByteArray &encodedCommand);
    bool hasRoom() const { return roomiestSlot() >= 0; }
    int size() const { return int(m_slots.size()); }
    // Whether a tool is running or on its way; when none is, failure() says why.
    bool anyAlive() const;
    QString failure() const { return m_failure; }

    // The run is stopping: no tool takes another file, and each is killed
    // once it has answered the file it is on. The files it held behind that
    // one are handed back, not begun.
    QList<quint64> windDown();
    // The stop's grace is over: the tools still on a file are killed.
    void killBusy();
    // Asks every tool to end after its commands; ended() follows.
    void endAll();
    // The program is closing: every tool is killed. What comes back waits,
    // on any thread, for each to be gone.
    std::vector<Platform::ToolGone> killAll();

signals:
    void ready();                      // a tool has room, or none is left
    void answered(quint64 file, const ToolResult &result, bool timedOut);
    void failedToStart(const QString &reason); // not one tool could be started
    void ended();                      // after endAll(): every tool has ended

private:
    struct Slot {
        ExifToolWorker *worker = nullptr;
        bool ready = false;
        int idleEnds = 0;         // tools that ended unasked since the last answer
        QElapsedTimer headSince;  // since the tool began the first command it holds
    };

    void startTool(int slotIndex);
    void onStarted(int slotIndex, ExifToolWorker *worker);
    void onFailed(int slotIndex, ExifToolWorker *worker, const QString &why);
    void onAnswer(ExifToolWorker *worker, const ToolResult &result);
    void retire(ExifToolWorker *worker, bool kill);
    int roomiestSlot() const;
    void checkWatch();

    QString m_toolPath;
    int m_commandsPerTool;
    int m_timeoutMs;
    int m_folderDescriptor = -1;
    std::vector<Slot> m_slots;
    QHash<ExifToolWorker *, QList<quint64>> m_files; // per tool, in the order it runs them
    QSet<quint64> m_timedOut;
    QList<ExifToolWorker *> m_retiring;
    QTimer m_watch;
    QString m_failure;
    bool m_anyStarted = false;
    bool m_ending = false;
    bool m_windingDown = false; // no tool takes a file, none is replaced
};
