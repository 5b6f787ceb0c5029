#include "writer/command/batchrun.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <QtConcurrent/QtConcurrentRun>
#include <cmath>

#include "app/details/picturevalue.h"
#include "app/shared/dialogs.h"
#include "app/shared/errorreport.h"
#include "app/shared/paths.h"
#include "platform/filenames.h"
#include "platform/toolprocess.h"
#include "writer/command/prerunchecks.h"
#include "writer/command/waitprogress.h"
#include "writer/exiftool/displaycommand.h"
#include "writer/output/runfolder.h"
#include "writer/report/reasons.h"
#include "writer/tags/tagcatalogue.h"
#include "writer/verify/verifier.h"

namespace {

const char NoFilesText[] = "No files added.";
const char IdleBarText[] = "Progress Bar";
const char StopQuestion[] = "Stop the run? Files already written are kept.";

// The bar takes whole numbers; the default rounding mode sends halves to the
// even neighbour.
int roundHalfEven(double value)
{
    return static_cast<int>(std::nearbyint(value));
}

} // namespace

BatchRun::BatchRun(BatchHost &host, Dialogs &dialogs, QObject *parent)
    : QObject(parent)
    , m_host(host)
    , m_dialogs(dialogs)
    , m_toolProgram(QStringLiteral("exiftool"))
    , m_tickMs(WaitTickMs)
    , m_verifier([](const QByteArray &source, const QByteArray &copy, const QString &tagName,
                    const QString &value) { return verifyCopy(source, copy, {tagName, value}); })
{
    connect(&m_ticker, &QTimer::timeout, this, &BatchRun::onTick);
    connect(&m_checks, &QFutureWatcherBase::finished, this, &BatchRun::onChecked);
}

BatchRun::~BatchRun()
{
    abandon();
}

bool BatchRun::step(int number, const std::function<void()> &work, bool *succeeded)
{
    const quint64 run = m_runId;
    const std::shared_ptr<ErrorGuard> guard = m_guard;
    const bool ok = guard->step(number, work);
    if (succeeded)
        *succeeded = ok;
    // A report box runs its own event loop: the run may have been abandoned meanwhile.
    return run == m_runId && m_busy;
}

void BatchRun::PushButton3_Click()
{
    if (m_busy)
        return;
    m_busy = true;
    ++m_runId;
    m_asking = false;
    m_guard = std::make_shared<ErrorGuard>(m_dialogs, QString::fromLatin1(Location::StartChanging));
    m_guard->record(100);

    int count = 0;
    if (!step(102, [&] { count = m_host.entryCount(); }))
        return;
    if (count <= 0) {
        if (step(102, [&] { m_dialogs.message(QString::fromLatin1(NoFilesText)); }))
            m_busy = false;
        return;
    }

    // The run works from what the window holds now; edits made while it
    // runs are for the next run.
    RunInputs inputs;
    bool taken = false;
    if (!step(104, [&] { inputs = takeInputs(count); }, &taken))
        return;
    if (!taken) {
        // Reported by the trap. Going on would write what nobody asked for.
        m_busy = false;
        return;
    }

    // ExifTool would refuse such a value for every file, one by one.
    QString refusal;
    if (!step(106, [&] {
            refusal = isPerFile(inputs.plan) ? planRefusal(inputs.plan)
                                             : valueRefusal(inputs.tagLabel, inputs.value);
        }))
        return;
    if (!refusal.isEmpty()) {
        if (!step(106, [&] { m_dialogs.message(refusal); }))
            return;
        if (step(106, [&] { m_host.focusValue(); }))
            m_busy = false;
        return;
    }

    m_inputs = std::move(inputs);
    if (!step(108, [&] {
            m_host.setRunning(true);
            m_host.setRunProgress(0, int(m_inputs.texts.size()));
        }))
        return;
    // Away from the window: a results folder on a stalled mount may take
    // long to answer.
    m_checkedRun = m_runId;
    const QString folder = m_inputs.resultsFolder;
    const QString program = m_toolProgram;
    m_checks.setFuture(QtConcurrent::run([folder, program] { return checkBeforeRun(folder, program); }));
}

RunInputs BatchRun::takeInputs(int count) const
{
    RunInputs inputs;
    inputs.texts.reserve(count);
    inputs.paths.reserve(count);
    for (int position = 1; position <= count; ++position) {
        inputs.texts.append(m_host.entryText(position));
        inputs.paths.append(m_host.entryPath(position));
    }
    inputs.tagLabel = m_host.tagLabel();
    inputs.value = m_host.tagValue();
    inputs.resultsFolder = m_host.resultsFolder();
    inputs.plan.tagLabel = inputs.tagLabel;
    inputs.plan.typed = inputs.value;
    inputs.plan.way = wayForLabel(m_host.valueWay()).value_or(ValueWay::AsTyped);
    inputs.plan.ownValues = m_host.hasOwnValues();
    if (inputs.plan.ownValues) {
        inputs.ownValues.reserve(count);
        for (int position = 1; position <= count; ++position)
            inputs.ownValues.append(m_host.entryValue(position));
    }
    return inputs;
}

void BatchRun::onChecked()
{
    if (m_checkedRun != m_runId || !m_busy || m_engine)
        return;
    const RunChecks checks = m_checks.result();
    const QString refusal = checksRefusal(checks, m_inputs.resultsFolder);
    if (refusal.isEmpty()) {
        startEngine(checks.tool);
        return;
    }
    if (!step(108, [&] { m_host.setRunning(false); }))
        return;
    if (step(108, [&] { m_dialogs.message(refusal); }))
        m_busy = false;
}

void BatchRun::startEngine(const QString &tool)
{
    const int count = int(m_inputs.texts.size());
    if (!step(110, [&] { m_host.setBusyPointer(true); }))
        return;

    m_toolPath = tool;
    m_turn = 0;
    m_bound = count;
    m_stopped = false;
    m_assignment.reset();
    if (const std::optional<QString> option = TagOptionFor(m_inputs.tagLabel))
        m_assignment = Assignment{*option, m_inputs.value};
    m_outcomes.clear();
    m_dispatched.clear();
    m_followed = 0;
    m_wait.reset();
    m_ticks = 0;
    m_guard->record(110);

    WriterEngine::Options options;
    options.toolPath = tool;
    options.workers = m_workers;
    options.fileTimeoutMs = m_fileTimeoutMs;
    options.resultsFolder = CleanPath(m_inputs.resultsFolder);
    options.verifier = m_verifier;
    JobSource &source = *this;
    m_engine = std::make_unique<WriterEngine>(source, options);
    connect(m_engine.get(), &WriterEngine::fileDone, this, &BatchRun::onFileDone);
    connect(m_engine.get(), &WriterEngine::failedToStart, this, &BatchRun::onFailedToStart);
    connect(m_engine.get(), &WriterEngine::finished, this, &BatchRun::finishRun,
            Qt::QueuedConnection);
    m_ticker.start(m_tickMs);
    m_engine->start(count);
}

void BatchRun::onFileDone(const FileOutcome &outcome)
{
    m_outcomes.append(outcome);
    const int done = int(m_outcomes.size());
    step(130, [&] { m_host.setRunProgress(done, m_bound); });
}

void BatchRun::onFailedToStart(const QString &reason)
{
    m_ticker.stop();
    closeOpenQuestion();
    if (!step(110, [&] {
            m_host.setBusyPointer(false);
            m_host.setRunning(false);
        }))
        return;
    if (!step(110, [&] {
            m_dialogs.message(QStringLiteral("ExifTool could not be started (%1). ").arg(reason)
                              + Platform::toolInstallHint());
        }))
        return;
    m_busy = false;
}

std::optional<WriteJob> BatchRun::nextJob()
{
    while (m_turn < m_bound) {
        const quint64 run = m_runId;
        std::optional<WriteJob> job = prepare(++m_turn);
        if (run != m_runId || !m_busy)
            return std::nullopt;
        if (job)
            return job;
    }
    return std::nullopt;
}

std::optional<WriteJob> BatchRun::prepare(int position)
{
    const int count = m_bound;
    WriteJob job;
    job.position = position;
    job.source = m_inputs.texts.at(position - 1);
    job.sourcePath = m_inputs.paths.at(position - 1);
    m_guard->record(112);

    if (!step(114, [&] {
            m_host.setBarValue(roundHalfEven(static_cast<double>(position) / count * 100.0));
        }))
        return std::nullopt;
    if (!step(116, [&] {
            m_host.setBarText(QStringLiteral("Processing: ") + FileNameOf(job.source));
        }))
        return std::nullopt;
    // Another command may have put the default pointer back meanwhile.
    if (!step(118, [&] { m_host.setBusyPointer(true); }))
        return std::nullopt;
    QString output;
    if (!step(122, [&] { output = ResultPathFor(m_inputs.resultsFolder, job.source); }))
        return std::nullopt;
    if (!step(124, [&] {
            job.assignment = m_assignment;
            job.tagName = m_assignment ? TagNameOf(m_assignment->option) : QString();
            if (m_assignment && isPerFile(m_inputs.plan))
                job.makeValue = pictureValueMaker(
                    m_inputs.plan, {job.source, position, count, m_inputs.ownValues.value(position - 1)});
            // The copy takes the source's own name, byte for byte.
            job.resultsFolder = Platform::folderOfPath(Platform::encodeName(output));
            job.finalPath = Platform::joinedPath(job.resultsFolder, Platform::nameOfPath(job.sourcePath));
        }))
        return std::nullopt;
    if (!step(126, [&] {
            if (output.isEmpty() || job.sourcePath.isEmpty())
                job.refusal = because(Reason::CommandNotMade);
            else if (!Platform::isFullPath(job.sourcePath))
                job.refusal = because(Reason::NotFullPath);
        }))
        return std::nullopt;

    Dispatch dispatch;
    dispatch.tick = m_ticks;
    bool measured = true;
    if (!step(128, [&] {
            dispatch.caption = m_host.barText();
            dispatch.value = m_host.barValue();
            dispatch.count = count;
        }, &measured))
        return std::nullopt;
    if (measured) {
        m_dispatched.insert(position, dispatch);
        m_lastCaption = dispatch.caption;
        m_lastValue = dispatch.value;
    }
    return job;
}

void BatchRun::onTick()
{
    if (!m_engine)
        return;
    ++m_ticks;
    const int oldest = m_engine->oldestInFlight();
    if (oldest != m_followed) {
        // The file the bar followed is done: its waiting text gives way.
        const bool showedWait = m_wait && m_wait->polls() >= WaitTextFromTick;
        m_wait.reset();
        m_dispatched.remove(m_followed);
        m_followed = oldest;
        if (showedWait && !step(134, [&] {
                m_host.setBarText(m_lastCaption.isEmpty() ? QString::fromLatin1(IdleBarText)
                                                          : m_lastCaption);
            }))
            return;
        if (oldest == 0 || !m_dispatched.contains(oldest))
            return;
        const Dispatch dispatch = m_dispatched.value(oldest);
        m_wait = std::make_unique<WaitProgress>(&m_host, dispatch.caption, dispatch.value,
                                                dispatch.count);
        const int polls = m_ticks - dispatch.tick;
        bool ok = true;
        if (!step(132, [&] { m_wait->tickTo(polls); }, &ok))
            return;
        if (!ok)
            m_wait.reset();
        return;
    }
    if (!m_wait)
        return;
    bool ok = true;
    if (!step(132, [&] { m_wait->tick(); }, &ok))
        return;
    // One report per file is enough; the wait goes on without the bar.
    if (!ok)
        m_wait.reset();
}

void BatchRun::requestStop()
{
    if (!m_busy || !m_engine || m_stopped || m_asking)
        return;
    const quint64 run = m_runId;
    m_asking = true;
    const bool yes = m_dialogs.question(QString::fromLatin1(StopQuestion));
    if (run != m_runId)
        return;
    m_asking = false;
    if (!yes || !m_busy || !m_engine)
        return;
    m_stopped = true;
    m_engine->stop();
}

void BatchRun::closeOpenQuestion()
{
    // The run has ended by itself: a question about stopping it means nothing now.
    if (!m_asking)
        return;
    m_asking = false;
    m_dialogs.closeQuestion();
}

void BatchRun::finishRun()
{
    m_ticker.stop();
    closeOpenQuestion();
    if (m_wait && m_wait->polls() >= WaitTextFromTick)
        m_wait->finish();
    m_wait.reset();
    LeftBehind earlierRuns;
    if (m_engine) {
        earlierRuns = m_engine->leftBehind();
        m_engine->disconnect(this);
        m_engine.release()->deleteLater();
    }

    ReportInputs inputs;
    inputs.outcomes = m_outcomes;
    inputs.stopped = m_stopped;
    inputs.notStarted = m_stopped ? m_inputs.texts.mid(m_turn) : QStringList();
    inputs.firstNotStarted = m_turn + 1;
    inputs.toolPath = m_toolPath;
    inputs.resultsFolder = m_inputs.resultsFolder;
    inputs.assignment = m_assignment;
    inputs.earlierRuns = earlierRuns;
    if (m_assignment)
        inputs.wayWords = planWords(m_inputs.plan);
    const BatchReport report = makeBatchReport(inputs);

    if (!step(170, [] {}))
        return;
    if (!step(172, [&] { m_host.setBusyPointer(false); }))
        return;
    if (!step(174, [&] { m_host.setBarValue(0); }))
        return;
    if (!step(176, [&] { m_host.setBarText(QString::fromLatin1(IdleBarText)); }))
        return;
    if (!step(178, [&] { m_host.setRunning(false); }))
        return;
    if (!step(180, [&] {
            const QUrl folder = QUrl::fromLocalFile(
                QDir::cleanPath(QFileInfo(m_inputs.resultsFolder).absoluteFilePath()));
            m_dialogs.messageWithFolder(report.message(), report.details(), folder);
        }))
        return;
    m_guard->record(182);
    m_busy = false;
    emit runFinished(report);
}

void BatchRun::abandon()
{
    if (!m_busy)
        return;
    m_busy = false;
    ++m_runId;
    m_asking = false;
    m_ticker.stop();
    m_wait.reset();
    if (m_engine) {
        m_engine->disconnect(this);
        m_engine->abandon();
        m_engine.reset();
    }
}
