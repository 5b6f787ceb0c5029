#include "writer/writerengine.h"

#include <QFile>
#include <QMetaObject>
#include <QThread>

#include <cerrno>
#include <unistd.h>

#include "writer/admission.h"
#include "writer/exiftoolworker.h"
#include "writer/runoutputs.h"
#include "writer/stayopen.h"
#include "writer/tooljudge.h"


struct WriterEngine::Flight {
    WriteJob job;
    QByteArray temporaryPath;
    int attempts = 0;
    bool inTool = false;
    bool timedOut = false;
    bool finalExisted = false; // the name was taken before the tool was asked
    QString noteWords;
    QString noteLines;
};

struct WriterEngine::Slot {
    ExifToolWorker *worker = nullptr;
    bool ready = false;
    bool dead = false; // its tool could not be started
    int idleEnds = 0;  // tools that ended without being asked since the last answer
    QElapsedTimer headSince; // since the tool began the first command it holds
};


WriterEngine::WriterEngine(JobSource &source, Options options, QObject *parent)
    : QObject(parent)
    , m_source(source)
    , m_options(std::move(options))
    , m_cancelled(std::make_shared<std::atomic_bool>(false))
{
    if (m_options.workers <= 0)
        m_options.workers = QThread::idealThreadCount();
    m_options.commandsPerWorker = qMax(1, m_options.commandsPerWorker);
    m_pool.setMaxThreadCount(qMax(1, QThread::idealThreadCount()));
    m_watch.setInterval(qBound(10, m_options.fileTimeoutMs / 4, 1000));
    connect(&m_watch, &QTimer::timeout, this, &WriterEngine::checkWatch);
}

WriterEngine::~WriterEngine()
{
    abandon();
    m_pool.waitForDone();
}

QString WriterEngine::timeoutReason(int timeoutMs)
{
    if (timeoutMs % 60000 == 0)
        return QStringLiteral("ExifTool did not finish this file within %1 minute%2.")
            .arg(timeoutMs / 60000)
            .arg(timeoutMs == 60000 ? QString() : QStringLiteral("s"));
    return QStringLiteral("ExifTool did not finish this file within %1 seconds.")
        .arg(QString::number(timeoutMs / 1000.0));
}

void WriterEngine::start(int fileCount)
{
    if (m_running)
        return;
    m_running = true;
    m_anyStarted = false;
    m_exhausted = false;
    m_stopping = false;
    m_toolError.clear();
    m_cancelled = std::make_shared<std::atomic_bool>(false);
    m_outputs = std::make_unique<RunOutputs>();
    m_names.clear();
    m_slots.assign(size_t(qBound(1, fileCount, m_options.workers)), Slot());
    for (int i = 0; i < int(m_slots.size()); ++i)
        startWorker(i);
    m_watch.start();
}

void WriterEngine::startWorker(int slotIndex)
{
    auto *worker = new ExifToolWorker(m_options.toolPath, this);
    if (!m_options.workingFolder.isEmpty())
        worker->setWorkingDirectory(m_options.workingFolder);
    Slot &slot = m_slots[size_t(slotIndex)];
    slot.worker = worker;
    slot.ready = false;
    connect(worker, &ExifToolWorker::started, this,
            [this, slotIndex, worker] { onWorkerStarted(slotIndex, worker); });
    connect(worker, &ExifToolWorker::failed, this, [this, slotIndex, worker](const QString &why) {
        onWorkerFailed(slotIndex, worker, why);
    });
    connect(worker, &ExifToolWorker::finished, this,
            [this, worker](int id, const ToolResult &result) { onAnswer(worker, id, result); });
    worker->start();
}

void WriterEngine::onWorkerStarted(int slotIndex, ExifToolWorker *worker)
{
    Slot &slot = m_slots[size_t(slotIndex)];
    if (slot.worker != worker)
        return;
    slot.ready = true;
    m_anyStarted = true;
    pump();
}

void WriterEngine::onWorkerFailed(int slotIndex, ExifToolWorker *worker, const QString &why)
{
    if (size_t(slotIndex) >= m_slots.size() || m_slots[size_t(slotIndex)].worker != worker)
        return;
    Slot &slot = m_slots[size_t(slotIndex)];
    const bool hadStarted = slot.ready;
    retire(worker, false);
    slot.worker = nullptr;
    slot.ready = false;
    if (!m_running)
        return;
    // Ended while idle: a new tool takes its place, unless they keep ending.
    if (hadStarted && ++slot.idleEnds < 3) {
        startWorker(slotIndex);
        return;
    }
    slot.dead = true;
    m_toolError = hadStarted ? QStringLiteral("ExifTool keeps ending on its own (%1)").arg(why)
                             : QStringLiteral("ExifTool could not be started (%1).").arg(why);
    if (!m_anyStarted && !anyLiveWorker()) {
        m_running = false;
        m_watch.stop();
        m_outputs.reset();
        emit failedToStart(why);
        return;
    }
    pump();
}

// The ready tool with the fewest commands, if one has room for another; -1 if none.
int WriterEngine::roomiestSlot() const
{
    int best = -1;
    int bestLoad = m_options.commandsPerWorker;
    for (int i = 0; i < int(m_slots.size()); ++i) {
        const Slot &slot = m_slots[size_t(i)];
        if (!slot.ready || !slot.worker)
            continue;
        const int load = int(m_inTool.value(slot.worker).size());
        if (load < bestLoad) {
            best = i;
            bestLoad = load;
        }
    }
    return best;
}

bool WriterEngine::anyLiveWorker() const
{
    for (const Slot &slot : m_slots)
        if (slot.worker && !slot.dead)
            return true;
    return false;
}

void WriterEngine::retire(ExifToolWorker *worker, bool kill)
{
    if (!worker || m_retiring.contains(worker))
        return;
    m_retiring.append(worker);
    disconnect(worker, &ExifToolWorker::started, this, nullptr);
    disconnect(worker, &ExifToolWorker::failed, this, nullptr);
    connect(worker, &ExifToolWorker::ended, this, [this, worker] {
        m_retiring.removeAll(worker);
        m_inTool.remove(worker);
        worker->deleteLater();
        checkFinished();
    });
    if (kill)
        worker->kill();
    else
        worker->stop();
}

void WriterEngine::stop()
{
    if (!m_running)
        return;
    m_stopping = true;
    checkFinished();
}

void WriterEngine::abandon()
{
    if (!m_running)
        return;
    m_running = false;
    ++m_generation;
    m_cancelled->store(true);
    m_watch.stop();
    QList<ExifToolWorker *> workers = m_retiring;
    for (Slot &slot : m_slots)
        if (slot.worker)
            workers.append(slot.worker);
    m_slots.clear();
    m_retiring.clear();
    for (ExifToolWorker *worker : workers) {
        disconnect(worker, nullptr, this, nullptr);
        delete worker; // kills the tool and waits for it, so its file is closed
    }
    m_pool.waitForDone();
    for (const auto &entry : m_flights)
        if (!entry.second.temporaryPath.isEmpty())
            ::unlink(entry.second.temporaryPath.constData());
    m_flights.clear();
    m_inTool.clear();
    m_retry.clear();
    m_names.clear();
    m_outputs.reset();
}

int WriterEngine::oldestInFlight() const
{
    int oldest = 0;
    for (const auto &entry : m_flights)
        if (entry.second.inTool && (oldest == 0 || entry.second.job.position < oldest))
            oldest = entry.second.job.position;
    return oldest;
}

void WriterEngine::pump()
{
    if (!m_running || m_pulling)
        return;
    m_pulling = true;
    const quint64 generation = m_generation;
    for (;;) {
        const bool anyTool = anyLiveWorker();
        const int best = anyTool ? roomiestSlot() : -1;
        if (!anyTool) {
            // No tool can be started any more: what is left fails with the reason.
            for (quint64 serial : std::exchange(m_retry, {}))
                resolve(serial, FileOutcome::Kind::Failed, m_toolError);
        } else if (best < 0) {
            break;
        } else if (!m_retry.isEmpty()) {
            send(best, m_retry.takeFirst());
            continue;
        }
        if (m_exhausted || m_stopping)
            break;
        std::optional<WriteJob> job = m_source.nextJob();
        if (generation != m_generation)
            return;
        if (!job) {
            m_exhausted = true;
            break;
        }
        if (!anyTool && job->refusal.isEmpty())
            job->refusal = m_toolError;
        const quint64 serial = m_nextSerial;
        if (!admit(*job) || !anyTool)
            continue;
        // The slot may have lost its tool while the job was being read.
        if (m_slots[size_t(best)].ready)
            send(best, serial);
        else
            m_retry.prepend(serial);
    }
    m_pulling = false;
    checkFinished();
}

// Takes the file into the run; false when it needs no tool (refused at once,
// or its name is taken already).
bool WriterEngine::admit(const WriteJob &job)
{
    const quint64 serial = m_nextSerial++;
    Flight &flight = m_flights[serial];
    flight.job = job;

    Admission admission;
    admission.refusal = job.refusal;
    if (admission.refusal.isEmpty())
        admission = admitSource(job.sourcePath, job.finalPath);
    if (admission.refusal.isEmpty() && !m_names.writtenBy(job.finalPath).isEmpty()) {
        turnAway(serial);
        return false;
    }
    if (admission.refusal.isEmpty())
        m_outputs->enterFolder(job.resultsFolder, &admission.refusal);
    if (!admission.refusal.isEmpty()) {
        resolve(serial, FileOutcome::Kind::Failed, admission.refusal);
        return false;
    }
    m_names.claim(job.finalPath, serial);
    if (admission.finalTaken) {
        // Nothing to write: the copy there is checked, and kept as it is.
        flight.finalExisted = true;
        publishWhenFirst(serial);
        return false;
    }
    flight.temporaryPath = joinPath(job.resultsFolder, m_outputs->temporaryName());
    return true;
}

bool WriterEngine::send(int slotIndex, quint64 serial)
{
    Slot &slot = m_slots[size_t(slotIndex)];
    Flight &flight = m_flights.at(serial);
    // Named relatively, an output in the tools' own folder escapes ExifTool's
    // "%" name codes, whatever that folder is called.
    QByteArray workingFolder = QFile::encodeName(m_options.workingFolder);
    while (workingFolder.size() > 1 && workingFolder.endsWith('/'))
        workingFolder.chop(1);
    const bool relative = !workingFolder.isEmpty() && flight.job.resultsFolder == workingFolder;
    WriteCommand command;
    command.output = relative ? flight.temporaryPath.mid(flight.temporaryPath.lastIndexOf('/') + 1)
                              : flight.temporaryPath;
    command.assignment = flight.job.assignment;
    command.source = flight.job.sourcePath;
    QByteArray encoded;
    QString whyNot;
    if (!encodeWriteCommand(command, &encoded, &whyNot)) {
        resolve(serial, FileOutcome::Kind::Failed, whyNot);
        return false;
    }
    const int id = slot.worker->submit(encoded);
    if (id == 0) {
        slot.ready = false;
        m_retry.prepend(serial);
        return false;
    }
    QList<quint64> &queue = m_inTool[slot.worker];
    queue.append(serial);
    if (queue.size() == 1)
        slot.headSince.start();
    ++flight.attempts;
    flight.inTool = true;
    return true;
}

void WriterEngine::onAnswer(ExifToolWorker *worker, int, const ToolResult &result)
{
    QList<quint64> &queue = m_inTool[worker];
    if (queue.isEmpty())
        return;
    const quint64 serial = queue.takeFirst();
    for (Slot &slot : m_slots) {
        if (slot.worker != worker)
            continue;
        if (!result.processLost)
            slot.idleEnds = 0;
        if (!queue.isEmpty())
            slot.headSince.start();
    }
    auto found = m_flights.find(serial);
    if (found == m_flights.end())
        return;
    Flight &flight = found->second;
    flight.inTool = false;

    if (result.processLost) {
        // The tool is gone, so whatever it left under the temporary name is no copy.
        ::unlink(flight.temporaryPath.constData());
        if (flight.timedOut) {
            resolve(serial, FileOutcome::Kind::Failed, timeoutReason(m_options.fileTimeoutMs));
        } else if (!result.begun && flight.attempts < 2) {
            m_retry.append(serial);
            std::sort(m_retry.begin(), m_retry.end(), [this](quint64 a, quint64 b) {
                return m_flights.at(a).job.position < m_flights.at(b).job.position;
            });
        } else {
            const ToolVerdict verdict =
                judgeToolResult(result, flight.job.tagName, false);
            resolve(serial, FileOutcome::Kind::Failed, verdict.reason, verdict.toolLine);
        }
        // A slot whose tool died gets a new one.
        for (int i = 0; i < int(m_slots.size()); ++i) {
            Slot &slot = m_slots[size_t(i)];
            if (slot.worker == worker && m_running) {
                retire(worker, false);
                startWorker(i);
            }
        }
        pump();
        return;
    }

    const bool copyIsResult =
        !flight.job.assignment || flight.job.assignment->value.isEmpty();
    const ToolVerdict verdict = judgeToolResult(result, flight.job.tagName, copyIsResult);
    if (!verdict.written) {
        ::unlink(flight.temporaryPath.constData());
        resolve(serial, FileOutcome::Kind::Failed, verdict.reason, verdict.toolLine);
    } else if (::access(flight.temporaryPath.constData(), F_OK) != 0) {
        resolve(serial, FileOutcome::Kind::Failed,
                QStringLiteral("ExifTool reported success, but the result file is missing."));
    } else {
        flight.noteWords = verdict.noteWords;
        flight.noteLines = verdict.noteLines;
        publishWhenFirst(serial);
    }
    pump();
}

// Of several listed files with one final name, the first in list order is
// published first, whatever the tools' timing.
void WriterEngine::publishWhenFirst(quint64 serial)
{
    const Flight &flight = m_flights.at(serial);
    if (!m_names.mayPublish(flight.job.finalPath, serial))
        return;
    if (!m_names.writtenBy(flight.job.finalPath).isEmpty()) {
        if (!flight.temporaryPath.isEmpty())
            ::unlink(flight.temporaryPath.constData());
        turnAway(serial);
        return;
    }
    startPublication(serial);
}

void WriterEngine::turnAway(quint64 serial)
{
    const QString winner = m_names.writtenBy(m_flights.at(serial).job.finalPath);
    resolve(serial, FileOutcome::Kind::Failed, NameClaims::sameNameReason(winner), QString(),
            NameClaims::sameNameGroup(), QStringLiteral("%1 came first").arg(winner));
}

void WriterEngine::startPublication(quint64 serial)
{
    const Flight &flight = m_flights.at(serial);
    PublishInput input{flight.job.sourcePath, flight.temporaryPath, flight.job.finalPath,
                       flight.job.tagName,
                       flight.job.assignment ? flight.job.assignment->value : QString(),
                       flight.noteWords, flight.noteLines};
    const CopyVerifier verifier = m_options.verifier;
    const std::shared_ptr<std::atomic_bool> cancelled = m_cancelled;
    m_pool.start([this, serial, input, verifier, cancelled] {
        const Publication publication = publishCopy(input, verifier, *cancelled);
        QMetaObject::invokeMethod(
            this, [this, serial, publication] { onPublished(serial, publication); },
            Qt::QueuedConnection);
    });
}

void WriterEngine::onPublished(quint64 serial, const Publication &publication)
{
    if (m_flights.find(serial) == m_flights.end())
        return;
    resolve(serial, publication.kind, publication.reason, publication.toolLine, publication.group);
    pump();
}

void WriterEngine::resolve(quint64 serial, FileOutcome::Kind kind, const QString &reason,
                           const QString &toolLine, const QString &group, const QString &detail)
{
    auto found = m_flights.find(serial);
    if (found == m_flights.end())
        return;
    const Flight flight = std::move(found->second);
    m_flights.erase(found);
    m_retry.removeAll(serial);

    FileOutcome outcome;
    outcome.kind = kind;
    outcome.position = flight.job.position;
    outcome.source = flight.job.source;
    outcome.reason = reason;
    outcome.toolLine = toolLine;
    outcome.commandLine = flight.job.commandLine;
    outcome.group = group;
    outcome.detail = detail;
    emit fileDone(outcome);

    if (const quint64 next = m_names.release(flight.job.finalPath, serial, countsAsWritten(kind),
                                             flight.job.source))
        publishWhenFirst(next);
}

void WriterEngine::checkWatch()
{
    for (int i = 0; i < int(m_slots.size()); ++i) {
        Slot &slot = m_slots[size_t(i)];
        if (!slot.worker)
            continue;
        const QList<quint64> queue = m_inTool.value(slot.worker);
        if (queue.isEmpty() || slot.headSince.elapsed() < m_options.fileTimeoutMs)
            continue;
        // The tool hangs on this file: it is killed and replaced, and the
        // files queued behind it go to the new one.
        auto found = m_flights.find(queue.first());
        if (found != m_flights.end())
            found->second.timedOut = true;
        ExifToolWorker *stuck = slot.worker;
        slot.worker = nullptr;
        slot.ready = false;
        retire(stuck, true);
        startWorker(i);
    }
}

void WriterEngine::checkFinished()
{
    if (!m_running || m_pulling)
        return;
    if (!(m_exhausted || m_stopping) || !m_flights.empty())
        return;
    m_running = false;
    m_watch.stop();
    for (Slot &slot : m_slots)
        if (slot.worker)
            retire(slot.worker, false);
    m_slots.clear();
    m_outputs.reset(); // its lock files go; no temporary file of the run is left
    emit finished();
}
