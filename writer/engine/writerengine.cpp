#include "writer/engine/writerengine.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <algorithm>

#include "platform/filenames.h"
#include "writer/engine/runfiles.h"
#include "writer/engine/toolpool.h"
#include "writer/exiftool/argumentencoding.h"
#include "writer/exiftool/exiftoolworker.h"
#include "writer/exiftool/toolverdict.h"
#include "writer/output/runfolder.h"
#include "writer/report/reasons.h"

namespace {

// How long the end of a run waits for tools asked to end.
constexpr int ToolEndWaitMs = 5000;
// A copy takes the source's size and the tag: a disk with less room is full.
constexpr std::int64_t CopyRoomBytes = 64 * 1024;

QByteArray nameOf(const QByteArray &path)
{
    return Platform::nameOfPath(path);
}

QByteArray withoutClosingSeparator(QByteArray folder)
{
    while (folder.size() > 1 && Platform::isSeparator(folder.back()) && Platform::folderOfPath(folder) != folder)
        folder.chop(1);
    return folder;
}

} // namespace

WriterEngine::WriterEngine(JobSource &source, Options options, QObject *parent)
    : QObject(parent)
    , m_source(source)
    , m_options(std::move(options))
{
    if (m_options.workers <= 0)
        m_options.workers = QThread::idealThreadCount();
    m_options.commandsPerWorker = qMax(1, m_options.commandsPerWorker);
    m_closeDeadline.setSingleShot(true);
    connect(&m_closeDeadline, &QTimer::timeout, this, &WriterEngine::closeRun);
    m_stopGrace.setSingleShot(true);
    connect(&m_stopGrace, &QTimer::timeout, this, &WriterEngine::cutStopShort);
}

WriterEngine::~WriterEngine()
{
    abandon();
}

void WriterEngine::start(int fileCount)
{
    if (m_running)
        return;
    m_running = true;
    m_exhausted = false;
    m_stopping = false;
    m_cutShort = false;
    m_closing = false;
    m_finishing = false;
    m_folderFailure.clear();
    m_destination = Destination();
    m_names.clear();
    m_files = std::make_unique<RunFiles>(Platform::encodeName(m_options.resultsFolder), m_options.verifier,
                                         m_options.syncCopies, m_options.fileTimeoutMs, this);
    connect(m_files.get(), &RunFiles::opened, this, &WriterEngine::onFolderOpened);
    connect(m_files.get(), &RunFiles::admitted, this, &WriterEngine::onAdmitted);
    connect(m_files.get(), &RunFiles::published, this, [this](quint64 serial, const Publication &publication) {
        resolve(serial, publication.kind, publication.reason, publication.toolLine, publication.group);
        pump();
    });
    connect(m_files.get(), &RunFiles::failed, this,
            [this](quint64 serial, const QString &reason, const QString &toolLine) {
                resolve(serial, FileOutcome::Kind::Failed, reason, toolLine);
                pump();
            });
    connect(m_files.get(), &RunFiles::closed, this, [this] {
        m_running = false;
        emit finished();
    });
    m_tools = std::make_unique<ToolPool>(m_options.toolPath, m_options.commandsPerWorker,
                                         m_options.fileTimeoutMs, this);
    connect(m_tools.get(), &ToolPool::ready, this, &WriterEngine::pump);
    connect(m_tools.get(), &ToolPool::answered, this, &WriterEngine::onAnswer);
    connect(m_tools.get(), &ToolPool::failedToStart, this, &WriterEngine::onToolsFailedToStart);
    connect(m_tools.get(), &ToolPool::ended, this, &WriterEngine::closeRun);
    m_toolCount = qBound(1, fileCount, m_options.workers);
    m_folderOpening = true;
    m_files->open();
}

void WriterEngine::onFolderOpened(bool ok, const QString &whyNot)
{
    m_folderOpening = false;
    if (ok) {
        m_destination = m_files->destination();
        if (!m_stopping)
            m_tools->start(m_toolCount, m_files->runFolderDescriptor());
    }
    else {
        m_folderFailure = whyNot; // every file fails with it; no tool is needed
    }
    pump();
}

void WriterEngine::onToolsFailedToStart(const QString &why)
{
    m_running = false;
    ++m_generation;
    m_stopGrace.stop();
    m_flights.clear();
    m_files->close();
    m_files->disconnect(this);
    emit failedToStart(why);
}

// Why no tool will take a file any more; empty while one may.
QString WriterEngine::noToolReason() const
{
    if (m_folderOpening)
        return QString();
    if (!m_folderFailure.isEmpty())
        return m_folderFailure;
    return m_tools->anyAlive() ? QString() : m_tools->failure();
}

void WriterEngine::stop()
{
    if (!m_running || m_stopping)
        return;
    m_stopping = true;
    const QList<quint64> notBegun = m_tools->windDown() + m_flights.serials([](const Flight &flight) {
        return flight.phase == Flight::Phase::Admitting || flight.phase == Flight::Phase::ForTool;
    });
    for (quint64 serial : notBegun)
        resolve(serial, FileOutcome::Kind::Stopped, QString());
    m_stopGrace.start(StopGraceMs);
    checkFinished();
}

// The stop's grace is over: the files still being written are given up.
// Their outputs lie in the run folder only, which goes with the run. A copy
// past its publication's gate is answered by it: renamed whole, or stopped
// while it was filled into its claimed name, which then goes.
void WriterEngine::cutStopShort()
{
    if (!m_running || m_closing)
        return;
    m_cutShort = true;
    m_tools->killBusy();
    const QSet<quint64> stillComing = m_files->giveUpPublications();
    for (quint64 serial : m_flights.serials([](const Flight &) { return true; }))
        if (!stillComing.contains(serial))
            resolve(serial, FileOutcome::Kind::Stopped, because(Reason::StoppedWhileWriting));
    checkFinished();
}

void WriterEngine::abandon()
{
    if (!m_running)
        return;
    m_running = false;
    ++m_generation;
    m_closeDeadline.stop();
    m_stopGrace.stop();
    // Killed first, and gone before the run folder goes: on Windows a file
    // a tool still holds open cannot be removed, and would be left there.
    std::vector<Platform::ToolGone> toolsGone;
    if (m_tools)
        toolsGone = m_tools->killAll();
    if (m_files)
        m_files->abandon(std::move(toolsGone));
    m_flights.clear();
    m_names.clear();
}

LeftBehind WriterEngine::leftBehind() const
{
    return m_files ? m_files->leftBehind() : LeftBehind();
}

int WriterEngine::oldestInFlight() const
{
    return m_flights.oldestInTool();
}

void WriterEngine::pump()
{
    if (!m_running || m_pulling || m_closing)
        return;
    m_pulling = true;
    const quint64 generation = m_generation;
    for (;;) {
        feedTools();
        if (m_folderOpening || m_exhausted || m_stopping)
            break;
        if (!m_flights.roomForAnother(m_toolCount, m_options.commandsPerWorker))
            break;
        std::optional<WriteJob> job = m_source.nextJob();
        if (generation != m_generation)
            return;
        if (!job) {
            m_exhausted = true;
            break;
        }
        admit(*job);
    }
    m_pulling = false;
    checkFinished();
}

void WriterEngine::feedTools()
{
    if (const QString why = noToolReason(); !why.isEmpty()) {
        for (quint64 serial : m_flights.takeAllForTool())
            resolve(serial, FileOutcome::Kind::Failed, why);
        return;
    }
    while (m_flights.anyForTool() && m_tools->hasRoom())
        send(m_flights.takeForTool());
}

// Takes the file into the run; its source and final name are looked at on a
// worker thread.
void WriterEngine::admit(const WriteJob &job)
{
    const quint64 serial = m_nextSerial++;
    Flight &flight = m_flights.add(serial, job);
    if (m_stopping) {
        // Taken from the list just as the stop came.
        resolve(serial, FileOutcome::Kind::Stopped, QString());
        return;
    }

    if (job.refusal.isEmpty())
        flight.job.refusal = noToolReason();
    if (flight.job.refusal.isEmpty()
        && withoutClosingSeparator(job.resultsFolder)
            != withoutClosingSeparator(Platform::encodeName(m_options.resultsFolder)))
        flight.job.refusal = because(Reason::OutsideResultsFolder);
    if (!flight.job.refusal.isEmpty()) {
        resolve(serial, FileOutcome::Kind::Failed, flight.job.refusal);
        return;
    }
    if (!m_names.writtenBy(nameKey(job.finalPath)).isEmpty()) {
        turnAway(serial);
        return;
    }
    m_names.claim(nameKey(job.finalPath), serial);

    m_files->admit(serial, job.sourcePath, nameOf(job.finalPath), job.makeValue);
}

void WriterEngine::onAdmitted(quint64 serial, const Admission &admission)
{
    Flight *found = m_flights.find(serial);
    if (!found || found->phase != Flight::Phase::Admitting)
        return;
    Flight &flight = *found;
    flight.job.madeValue = admission.value;
    if (admission.value && flight.job.assignment)
        flight.job.assignment->value = *admission.value;
    if (!admission.refusal.isEmpty()) {
        resolve(serial, FileOutcome::Kind::Failed, admission.refusal);
    } else if (admission.finalTaken) {
        // Nothing to write: the copy there is checked, and kept as it is.
        flight.phase = Flight::Phase::Publishing;
        publishWhenFirst(serial);
    } else {
        flight.output = RunFolder::outputName(serial);
        flight.size = admission.size;
        m_flights.queueForTool(serial);
    }
    pump();
}

void WriterEngine::send(quint64 serial)
{
    Flight &flight = *m_flights.find(serial);
    WriteCommand command;
    command.output = flight.output;
    command.assignment = flight.job.assignment;
    command.source = flight.job.sourcePath;
    QByteArray encoded;
    QString whyNot;
    if (!encodeWriteCommand(command, &encoded, &whyNot)) {
        resolve(serial, FileOutcome::Kind::Failed, whyNot);
        return;
    }
    if (!m_tools->submit(serial, encoded)) {
        m_flights.queueForTool(serial);
        return;
    }
    flight.phase = Flight::Phase::InTool;
}

void WriterEngine::onAnswer(quint64 serial, const ToolResult &result, bool timedOut)
{
    Flight *found = m_flights.find(serial);
    if (!found)
        return;
    Flight &flight = *found;

    if (result.processLost) {
        // The tool is gone, so whatever it left in the run folder is no copy.
        m_files->discard(flight.output);
        if (!result.begun && !timedOut) {
            // The tool never began it: it goes to the tool taking its place.
            if (m_stopping)
                resolve(serial, FileOutcome::Kind::Stopped, QString());
            else
                m_flights.queueForTool(serial);
        } else {
            flight.toolRan = true;
            const ToolVerdict verdict = judgeToolResult(result, flight.job.tagName, false);
            resolve(serial, FileOutcome::Kind::Failed,
                    timedOut ? because(Reason::ToolTimedOut, timeLimitText(m_options.fileTimeoutMs)) : verdict.reason,
                    timedOut ? QString() : verdict.toolLine);
        }
        pump();
        return;
    }

    flight.toolRan = true;
    const bool copyIsResult = !flight.job.assignment || flight.job.assignment->value.isEmpty();
    const ToolVerdict verdict = judgeToolResult(result, flight.job.tagName, copyIsResult);
    if (!verdict.written && verdict.askTheDisk) {
        flight.phase = Flight::Phase::AskingDisk;
        // Each tool may have been writing a copy when the disk filled up.
        m_files->discardAndAskDisk(serial, flight.output, (flight.size + CopyRoomBytes) * m_toolCount,
                                   verdict.reason, verdict.toolLine);
    } else if (!verdict.written) {
        m_files->discard(flight.output);
        resolve(serial, FileOutcome::Kind::Failed, verdict.reason, verdict.toolLine);
    } else {
        flight.noteWords = verdict.noteWords;
        flight.noteLines = verdict.noteLines;
        flight.phase = Flight::Phase::Publishing;
        publishWhenFirst(serial);
    }
    pump();
}

// Of several listed files with one final name, the first in list order is
// published first, whatever the tools' timing.
void WriterEngine::publishWhenFirst(quint64 serial)
{
    const Flight *found = m_flights.find(serial);
    if (!found || m_cutShort)
        return;
    const Flight &flight = *found;
    if (!m_names.mayPublish(nameKey(flight.job.finalPath), serial))
        return;
    if (!m_names.writtenBy(nameKey(flight.job.finalPath)).isEmpty()) {
        m_files->discard(flight.output);
        turnAway(serial);
        return;
    }
    startPublication(serial);
}

void WriterEngine::turnAway(quint64 serial)
{
    const QByteArray finalPath = m_flights.find(serial)->job.finalPath;
    const QString winner = m_names.writtenBy(nameKey(finalPath));
    // The winner's copy bears its source's name.
    if (m_destination.caseInsensitive && QFileInfo(winner).fileName() != QFile::decodeName(nameOf(finalPath))) {
        resolve(serial, FileOutcome::Kind::Failed,
                because(Reason::CaseClashInRun, winner, m_destination.shownType()), QString(),
                because(Reason::CaseClashGroup), because(Reason::CameFirst, winner));
        return;
    }
    resolve(serial, FileOutcome::Kind::Failed, because(Reason::SameNameFirst, winner), QString(),
            because(Reason::SameNameGroup), because(Reason::CameFirst, winner));
}

void WriterEngine::startPublication(quint64 serial)
{
    const Flight &flight = *m_flights.find(serial);
    m_files->publish(serial, {flight.job.sourcePath, flight.output, nameOf(flight.job.finalPath),
                              flight.job.tagName,
                              flight.job.assignment ? flight.job.assignment->value : QString(),
                              flight.noteWords, flight.noteLines},
                     flight.size);
}

void WriterEngine::resolve(quint64 serial, FileOutcome::Kind kind, QString reason,
                           QString toolLine, QString group, QString detail)
{
    const std::optional<Flight> taken = m_flights.take(serial);
    if (!taken)
        return;
    const Flight &flight = *taken;

    FileOutcome outcome;
    outcome.kind = kind;
    outcome.position = flight.job.position;
    outcome.source = flight.job.source;
    outcome.reason = std::move(reason);
    outcome.toolLine = std::move(toolLine);
    outcome.group = std::move(group);
    outcome.detail = std::move(detail);
    outcome.toolRan = flight.toolRan;
    outcome.value = flight.job.madeValue;
    emit fileDone(outcome);

    if (const quint64 next = m_names.release(nameKey(flight.job.finalPath), serial, countsAsWritten(kind),
                                             flight.job.source))
        publishWhenFirst(next);
}

void WriterEngine::checkFinished()
{
    // A run folder still being made is waited for, so that it goes too.
    if (!m_running || m_pulling || m_closing || m_folderOpening)
        return;
    if (!(m_exhausted || m_stopping) || !m_flights.empty())
        return;
    m_closing = true;
    m_closeDeadline.start(ToolEndWaitMs);
    m_tools->endAll();
}

// Listed files whose names the results folder takes for one share one place.
QByteArray WriterEngine::nameKey(const QByteArray &finalPath) const
{
    return m_destination.caseInsensitive ? foldedName(finalPath).toUtf8() : finalPath;
}

// Once the tools have ended, the run folder goes and the copies' names are
// made durable; then the run is over.
void WriterEngine::closeRun()
{
    if (!m_running || !m_closing || m_finishing)
        return;
    m_finishing = true;
    m_closeDeadline.stop();
    m_stopGrace.stop();
    m_files->close();
}
