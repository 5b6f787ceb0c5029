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

struct WriterEngine::Flight {
    enum class Phase { Admitting, ForTool, InTool, Publishing };
    WriteJob job;
    Phase phase = Phase::Admitting;
    QByteArray output;    // the tool's output in the run folder
    bool toolRan = false;
    QString noteWords;
    QString noteLines;
    std::int64_t size = 0; // the source's
};

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
    connect(m_files.get(), &RunFiles::stalled, this, [this](quint64 serial, const QString &reason) {
        resolve(serial, FileOutcome::Kind::Failed, reason);
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
    m_flights.clear();
    m_forTool.clear();
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

// Whether another file may be taken in. Files on their way to a tool are
// enough to keep every tool fed; copies waiting for the disk get more room,
// so a slow sync never starves the tools. Either way a long list costs no memory.
bool WriterEngine::roomForAnotherFile() const
{
    const int tools = m_toolCount;
    const auto publishing = std::count_if(m_flights.cbegin(), m_flights.cend(), [](const auto &entry) {
        return entry.second.phase == Flight::Phase::Publishing;
    });
    const int feeding = int(m_flights.size() - size_t(publishing));
    return feeding < tools * (m_options.commandsPerWorker + 1)
        && int(m_flights.size()) < tools * (m_options.commandsPerWorker + 8);
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
    m_closeDeadline.stop();
    if (m_tools)
        m_tools->killAll();
    if (m_files)
        m_files->abandon();
    m_flights.clear();
    m_forTool.clear();
    m_names.clear();
}

int WriterEngine::oldestInFlight() const
{
    int oldest = 0;
    for (const auto &entry : m_flights)
        if (entry.second.phase == Flight::Phase::InTool
            && (oldest == 0 || entry.second.job.position < oldest))
            oldest = entry.second.job.position;
    return oldest;
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
        if (!roomForAnotherFile())
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
        for (quint64 serial : std::exchange(m_forTool, {}))
            resolve(serial, FileOutcome::Kind::Failed, why);
        return;
    }
    while (!m_forTool.isEmpty() && m_tools->hasRoom())
        send(m_forTool.takeFirst());
}

// Takes the file into the run; its source and final name are looked at on a
// worker thread.
void WriterEngine::admit(const WriteJob &job)
{
    const quint64 serial = m_nextSerial++;
    Flight &flight = m_flights[serial];
    flight.job = job;

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

    m_files->admit(serial, job.sourcePath, nameOf(job.finalPath));
}

void WriterEngine::onAdmitted(quint64 serial, const Admission &admission)
{
    auto found = m_flights.find(serial);
    if (found == m_flights.end() || found->second.phase != Flight::Phase::Admitting)
        return;
    Flight &flight = found->second;
    if (!admission.refusal.isEmpty()) {
        resolve(serial, FileOutcome::Kind::Failed, admission.refusal);
    } else if (admission.finalTaken) {
        // Nothing to write: the copy there is checked, and kept as it is.
        flight.phase = Flight::Phase::Publishing;
        publishWhenFirst(serial);
    } else {
        flight.output = RunFolder::outputName(serial);
        flight.size = admission.size;
        queueForTool(serial);
    }
    pump();
}

void WriterEngine::queueForTool(quint64 serial)
{
    Flight &flight = m_flights.at(serial);
    flight.phase = Flight::Phase::ForTool;
    const auto later = std::find_if(m_forTool.begin(), m_forTool.end(), [&](quint64 other) {
        return m_flights.at(other).job.position > flight.job.position;
    });
    m_forTool.insert(later, serial);
}

void WriterEngine::send(quint64 serial)
{
    Flight &flight = m_flights.at(serial);
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
        queueForTool(serial);
        return;
    }
    flight.phase = Flight::Phase::InTool;
}

void WriterEngine::onAnswer(quint64 serial, const ToolResult &result, bool timedOut)
{
    auto found = m_flights.find(serial);
    if (found == m_flights.end())
        return;
    Flight &flight = found->second;

    if (result.processLost) {
        // The tool is gone, so whatever it left in the run folder is no copy.
        m_files->discard(flight.output);
        if (!result.begun && !timedOut) {
            // The tool never began it: it goes to the tool taking its place.
            queueForTool(serial);
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
    if (!verdict.written) {
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
    const Flight &flight = m_flights.at(serial);
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
    const QByteArray finalPath = m_flights.at(serial).job.finalPath;
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
    const Flight &flight = m_flights.at(serial);
    m_files->publish(serial, {flight.job.sourcePath, flight.output, nameOf(flight.job.finalPath),
                              flight.job.tagName,
                              flight.job.assignment ? flight.job.assignment->value : QString(),
                              flight.noteWords, flight.noteLines},
                     flight.size);
}

void WriterEngine::resolve(quint64 serial, FileOutcome::Kind kind, QString reason,
                           QString toolLine, QString group, QString detail)
{
    auto found = m_flights.find(serial);
    if (found == m_flights.end())
        return;
    const Flight flight = std::move(found->second);
    m_flights.erase(found);
    m_forTool.removeAll(serial);

    FileOutcome outcome;
    outcome.kind = kind;
    outcome.position = flight.job.position;
    outcome.source = flight.job.source;
    outcome.reason = std::move(reason);
    outcome.toolLine = std::move(toolLine);
    outcome.group = std::move(group);
    outcome.detail = std::move(detail);
    outcome.toolRan = flight.toolRan;
    emit fileDone(outcome);

    if (const quint64 next = m_names.release(nameKey(flight.job.finalPath), serial, countsAsWritten(kind),
                                             flight.job.source))
        publishWhenFirst(next);
}

void WriterEngine::checkFinished()
{
    if (!m_running || m_pulling || m_closing)
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
    m_files->close();
}
