#include "writer/exiftool/exiftoolworker.h"

#include <QRandomGenerator>

#include "platform/toolprocess.h"
#include "writer/report/reasons.h"

namespace {

// Where a whole line equal to marker starts in buffer, or -1. Markers count
// only as whole lines: a file name in an error message may hold the same text.
qsizetype findLine(const QByteArray &buffer, const QByteArray &marker, qsizetype *lineEnd)
{
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = buffer.indexOf(marker, from);
        if (at < 0)
            return -1;
        qsizetype end = at + marker.size();
        if (end < buffer.size() && buffer.at(end) == '\r')
            ++end;
        const bool startsLine = at == 0 || buffer.at(at - 1) == '\n';
        if (startsLine && end < buffer.size() && buffer.at(end) == '\n') {
            *lineEnd = end + 1;
            return at;
        }
        from = at + 1;
    }
}

// Takes the last "{status=N}" line out of the command's output.
int takeStatus(QByteArray *output)
{
    static const QByteArray prefix("{status=");
    qsizetype searchEnd = output->size();
    while (searchEnd > 0) {
        const qsizetype at = output->lastIndexOf(prefix, searchEnd - 1);
        if (at < 0)
            break;
        const qsizetype close = output->indexOf('}', at);
        const bool startsLine = at == 0 || output->at(at - 1) == '\n';
        if (startsLine && close > at) {
            bool ok = false;
            const int status = output->mid(at + prefix.size(), close - at - prefix.size()).toInt(&ok);
            qsizetype end = close + 1;
            if (end < output->size() && output->at(end) == '\r')
                ++end;
            if (end < output->size() && output->at(end) == '\n')
                ++end;
            if (ok) {
                output->remove(at, end - at);
                return status;
            }
        }
        searchEnd = at;
    }
    return -1;
}

} // namespace

ExifToolWorker::ExifToolWorker(QString program, QObject *parent)
    : QObject(parent)
    , m_program(std::move(program))
    , m_process(new QProcess)
    , m_nextId(100000000 + int(QRandomGenerator::global()->bounded(900000000)))
{
    connect(m_process, &QProcess::readyReadStandardOutput, this, &ExifToolWorker::readOutput);
    connect(m_process, &QProcess::readyReadStandardError, this, &ExifToolWorker::readErrors);
    connect(m_process, &QProcess::errorOccurred, this, &ExifToolWorker::onProcessError);
    connect(m_process, &QProcess::finished, this, &ExifToolWorker::onProcessFinished);
    connect(m_process, &QProcess::started, this, [this] {
        m_started = true;
        emit started();
    });
}

ExifToolWorker::~ExifToolWorker()
{
    disconnect(m_process, nullptr, this, nullptr);
    if (m_process->state() != QProcess::NotRunning) {
        // Deleting a running QProcess would wait for it on this thread, and a
        // tool stuck on a file system that stopped answering may take long
        // to end: it goes once it has ended. Whoever needs it gone waits
        // for that elsewhere (see kill()).
        Platform::endTool(*m_process);
        connect(m_process, &QProcess::finished, m_process, &QObject::deleteLater);
        return;
    }
    delete m_process;
}

void ExifToolWorker::start()
{
    m_stopping = false;
    Platform::runInFolder(*m_process, m_folderDescriptor);
    m_process->start(m_program, {QStringLiteral("-stay_open"), QStringLiteral("True"),
                                QStringLiteral("-@"), QStringLiteral("-")});
}

bool ExifToolWorker::isRunning() const
{
    return m_process->state() == QProcess::Running && !m_stopping;
}

int ExifToolWorker::submit(const QByteArray &encodedArguments)
{
    if (!isRunning())
        return 0;
    const int id = m_nextId++;
    const QByteArray number = QByteArray::number(id);
    m_pending.append(id);
    m_process->write(encodedArguments + "-echo3\n{status=${status}}\n-echo4\n{end" + number
                    + "}\n-execute" + number + '\n');
    return id;
}

void ExifToolWorker::stop()
{
    if (m_process->state() == QProcess::NotRunning || m_stopping)
        return;
    m_stopping = true;
    // Closing the input alone does not end a resident ExifTool.
    m_process->write("-stay_open\nFalse\n");
    m_process->closeWriteChannel();
}

Platform::ToolGone ExifToolWorker::kill()
{
    m_stopping = true;
    return Platform::endTool(*m_process);
}

void ExifToolWorker::readOutput()
{
    m_out += m_process->readAllStandardOutput();
    tryComplete();
}

void ExifToolWorker::readErrors()
{
    m_err += m_process->readAllStandardError();
    tryComplete();
}

void ExifToolWorker::tryComplete()
{
    while (!m_pending.isEmpty()) {
        const int id = m_pending.first();
        const QByteArray number = QByteArray::number(id);
        qsizetype outEnd = 0;
        qsizetype errEnd = 0;
        const qsizetype ready = findLine(m_out, "{ready" + number + '}', &outEnd);
        if (ready < 0)
            return;
        const qsizetype end = findLine(m_err, "{end" + number + '}', &errEnd);
        if (end < 0)
            return;

        QByteArray output = m_out.left(ready);
        ToolResult result;
        result.status = takeStatus(&output);
        result.output = QString::fromUtf8(output);
        result.errors = QString::fromUtf8(m_err.left(end));
        m_out.remove(0, outEnd);
        m_err.remove(0, errEnd);
        m_pending.removeFirst();
        // The listener may kill or stop this worker; the loop then ends
        // because nothing new arrives in the buffers.
        emit finished(id, result);
    }
}

void ExifToolWorker::onProcessError(QProcess::ProcessError error)
{
    // Every other error ends in finished(), which tells the rest.
    if (error != QProcess::FailedToStart)
        return;
    emit failed(QStringLiteral("%1: %2").arg(m_program, m_process->errorString()));
    emit ended();
}

void ExifToolWorker::onProcessFinished()
{
    m_out += m_process->readAllStandardOutput();
    m_err += m_process->readAllStandardError();
    tryComplete();
    const QList<int> lost = m_pending;
    m_pending.clear();
    bool first = true;
    for (int id : lost) {
        ToolResult result;
        result.processLost = true;
        result.begun = first;
        if (first) {
            result.output = QString::fromUtf8(m_out);
            result.errors = QString::fromUtf8(m_err);
        }
        first = false;
        emit finished(id, result);
    }
    m_out.clear();
    m_err.clear();
    if (lost.isEmpty() && !m_stopping) {
        emit failed(m_process->exitStatus() == QProcess::CrashExit
                        ? because(Reason::ToolStoppedUnexpectedly)
                        : because(Reason::ToolEndedUnexpectedly, QString::number(m_process->exitCode())));
    }
    emit ended();
}
