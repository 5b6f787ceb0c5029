#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

// What the tool said about one command.
struct ToolResult {
    int status = -1;       // the tool's ${status}; -1 when it never answered
    QString output;        // standard output of this command, markers removed
    QString errors;        // standard error of this command, markers removed
    bool processLost = false; // the tool ended or failed before answering
};

// One resident ExifTool ("exiftool -stay_open True -@ -"), fed one command at
// a time through its input. A run may use several workers; each has at most
// one command in flight.
class ExifToolWorker : public QObject {
    Q_OBJECT
public:
    explicit ExifToolWorker(QString program, QObject *parent = nullptr);
    ~ExifToolWorker() override;

    // Starts the tool. Event driven: started() or failed() follows.
    void start();
    bool isRunning() const;

    // Sends one command; finished() follows with its result. False, with the
    // reason, when the arguments cannot be passed exactly or a command is
    // still in flight.
    bool submit(const QStringList &arguments, QString *whyNot = nullptr);
    bool isBusy() const { return m_currentId != 0; }

    // Asks the tool to end after its current command; does not wait.
    void stop();
    // Ends the tool at once (the window is closing).
    void kill();

signals:
    void started();
    void failed(const QString &reason);
    void finished(const ToolResult &result);
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
    QProcess m_process;
    int m_nextId = 1;
    int m_currentId = 0;
    QByteArray m_out;
    QByteArray m_err;
    bool m_started = false;  // started() was emitted
    bool m_stopping = false; // stop() or kill() asked for the end
};
