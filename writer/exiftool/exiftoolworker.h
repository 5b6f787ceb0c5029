#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QString>

#include "platform/toolprocess.h"

// What the tool said about one command.
struct ToolResult {
    int status = -1;       // the tool's ${status}; -1 when it never answered
    QString output;        // standard output of this command, markers removed
    QString errors;        // standard error of this command, markers removed
    bool processLost = false; // the tool ended or was killed before answering
    bool begun = true;     // with processLost: whether the tool had reached this command
};

// One resident ExifTool ("exiftool -stay_open True -@ -"). Several commands
// may wait in its input at once, so the tool never idles between files; the
// answers come back in the order the commands went in.
class ExifToolWorker : public QObject {
    Q_OBJECT
public:
    explicit ExifToolWorker(QString program, QObject *parent = nullptr);
    ~ExifToolWorker() override;

    // Relative output names given to the tool are read from this folder, held
    // by an open descriptor: the tool keeps the folder it was given even if
    // that folder is renamed or moved meanwhile.
    void setWorkingDirectory(int folderDescriptor) { m_folderDescriptor = folderDescriptor; }

    // Starts the tool. Event driven: started() or failed() follows.
    void start();
    bool isRunning() const;

    // Sends one command already in the tool's input form, without its closing
    // markers; finished() follows with the same id. Returns the id, 0 when
    // the tool is not running.
    int submit(const QByteArray &encodedArguments);

    // Asks the tool to end after the commands it has; does not wait.
    void stop();
    // Ends the tool at once, with what it started; commands in flight then
    // finish as lost. What comes back waits until none of them holds a file.
    Platform::ToolGone kill();

signals:
    void started();
    void failed(const QString &reason);
    void finished(int id, const ToolResult &result);
    // The tool's process has ended, for whatever reason (after stop() or
    // kill() too). A worker whose tool has ended can be deleted safely.
    void ended();

private:
    void readOutput();
    void readErrors();
    void tryComplete();
    void onProcessError(QProcess::ProcessError error);
    void onProcessFinished();

    QString m_program;
    int m_folderDescriptor = -1;
    QProcess *m_process; // owned; see the destructor
    int m_nextId = 1; // random per tool: a file name in the tool's output cannot fake a marker
    QList<int> m_pending; // ids in the order the tool runs them
    QByteArray m_out;
    QByteArray m_err;
    bool m_started = false;  // started() was emitted
    bool m_stopping = false; // stop() or kill() asked for the end
};
