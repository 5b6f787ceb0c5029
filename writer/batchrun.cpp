#include "writer/batchrun.h"

#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>
#include <algorithm>
#include <cmath>

#include "app/dialogs.h"
#include "app/errorreport.h"
#include "app/paths.h"
#include "writer/datevalue.h"
#include "writer/runfolder.h"
#include "writer/runreport.h"
#include "writer/tagcatalogue.h"
#include "writer/verifier.h"
#include "writer/waitprogress.h"

namespace {

const char NoFilesText[] = "No files added.";
const char NoFolderText[] = "Folder does not exist. Please select another folder.";
const char IdleBarText[] = "Progress Bar";
const char StopQuestion[] = "Stop the run? Files already written are kept.";

QString installHint()
{
#ifdef Q_OS_LINUX
    return QStringLiteral("Please install it (on Debian or Ubuntu: "
                          "sudo apt install libimage-exiftool-perl) and try again.");
#else
    return QStringLiteral("Please install it (from https://exiftool.org) and try again.");
#endif
}

// The bar takes whole numbers; the default rounding mode sends halves to the
// even neighbour.
int roundHalfEven(double value)
{
    return static_cast<int>(std::nearbyint(value));
}

// " -DateTimeOriginal=" -> "DateTimeOriginal"
QString tagNameOf(const QString &option)
{
    QString name = option.trimmed();
    if (name.startsWith(QLatin1Char('-')))
        name.remove(0, 1);
    if (name.endsWith(QLatin1Char('=')))
        name.chop(1);
    return name;
}

bool isXpTag(const QString &tagName)
{
    return tagName.startsWith(QLatin1String("XP"), Qt::CaseInsensitive);
}

bool outsideBasicPlane(const QString &value)
{
    return std::any_of(value.cbegin(), value.cend(), [](QChar c) { return c.isSurrogate(); });
}

} // namespace

QList<FileOutcome> BatchReport::failures() const
{
    QList<FileOutcome> result;
    for (const FileOutcome &outcome : outcomes)
        if (!countsAsWritten(outcome.kind))
            result.append(outcome);
    return result;
}

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

    bool folder = false;
    QString resultsFolder;
    if (!step(104, [&] {
            resultsFolder = m_host.resultsFolder();
            folder = IsFolder(resultsFolder);
        }))
        return;
    if (!folder) {
        if (step(104, [&] { m_dialogs.message(QString::fromLatin1(NoFolderText)); }))
            m_busy = false;
        return;
    }

    // Before any file is touched: without the tool every file would fail.
    QString tool;
    if (!step(106, [&] { tool = QStandardPaths::findExecutable(m_toolProgram); }))
        return;
    if (tool.isEmpty()) {
        if (step(106, [&] {
                m_dialogs.message(QStringLiteral("ExifTool was not found. ") + installHint());
            }))
            m_busy = false;
        return;
    }

    // ExifTool would refuse such a date for every file, one by one.
    QString dateMessage;
    if (!step(106, [&] {
            const std::optional<QString> option = TagOptionFor(m_host.tagLabel());
            const QString value = option ? m_host.tagValue() : QString();
            if (option && isDateTag(tagNameOf(*option)) && !value.isEmpty()
                && !exifToolAcceptsDate(value))
                dateMessage = invalidDateMessage(value);
        }))
        return;
    if (!dateMessage.isEmpty()) {
        if (step(106, [&] { m_dialogs.message(dateMessage); }))
            m_busy = false;
        return;
    }

    if (!step(108, [&] { m_host.setBusyPointer(true); }))
        return;

    m_toolPath = tool;
    m_turn = 0;
    m_bound = count;
    m_stopped = false;
    m_assignment.reset();
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
    options.resultsFolder = CleanPath(resultsFolder);
    m_resultsFolder = resultsFolder;
    options.verifier = m_verifier;
    JobSource &source = *this;
    m_engine = std::make_unique<WriterEngine>(source, options);
    connect(m_engine.get(), &WriterEngine::fileDone, this,
            [this](const FileOutcome &outcome) { m_outcomes.append(outcome); });
    connect(m_engine.get(), &WriterEngine::failedToStart, this, &BatchRun::onFailedToStart);
    connect(m_engine.get(), &WriterEngine::finished, this, &BatchRun::finishRun,
            Qt::QueuedConnection);
    m_ticker.start(m_tickMs);
    m_engine->start(count);
}

void BatchRun::onFailedToStart(const QString &reason)
{
    m_ticker.stop();
    if (!step(110, [&] { m_host.setBusyPointer(false); }))
        return;
    if (!step(110, [&] {
            m_dialogs.message(QStringLiteral("ExifTool could not be started (%1). ").arg(reason)
                              + installHint());
        }))
        return;
    m_busy = false;
}

std::optional<WriteJob> BatchRun::nextJob()
{
    while (m_turn < m_bound) {
        const quint64 run = m_runId;
        bool gone = false;
        std::optional<WriteJob> job = prepare(++m_turn, &gone);
        if (run != m_runId || !m_busy)
            return std::nullopt;
        if (job)
            return job;
    }
    return std::nullopt;
}

std::optional<WriteJob> BatchRun::prepare(int position, bool *gone)
{
    int count = 0;
    if (!step(112, [&] { count = m_host.entryCount(); }))
        return std::nullopt;
    // The list may have shrunk meanwhile: an entry that is gone is skipped.
    if (position > count) {
        *gone = true;
        return std::nullopt;
    }

    WriteJob job;
    job.position = position;
    bool read = false;
    if (!step(112, [&] {
            job.source = m_host.entryText(position);
            job.sourcePath = m_host.entryPath(position);
        }, &read))
        return std::nullopt;
    if (!read)
        return std::nullopt;

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
    if (!step(120, [&] {
            if (const std::optional<QString> option = TagOptionFor(m_host.tagLabel()))
                m_assignment = Assignment{*option, m_host.tagValue()};
        }))
        return std::nullopt;
    QString output;
    if (!step(122, [&] { output = ResultPathFor(m_host.resultsFolder(), job.source); }))
        return std::nullopt;
    if (!step(124, [&] {
            job.assignment = m_assignment;
            job.tagName = m_assignment ? tagNameOf(m_assignment->option) : QString();
            // The copy takes the source's own name, byte for byte.
            job.resultsFolder = QFile::encodeName(output).left(
                qMax(1, int(QFile::encodeName(output).lastIndexOf('/'))));
            job.finalPath =
                joinPath(job.resultsFolder, job.sourcePath.mid(job.sourcePath.lastIndexOf('/') + 1));
        }))
        return std::nullopt;
    if (!step(126, [&] {
            if (output.isEmpty() || job.sourcePath.isEmpty()) {
                job.refusal = QStringLiteral("The command for this file could not be made.");
            } else if (!job.tagName.isEmpty() && isXpTag(job.tagName)
                       && outsideBasicPlane(m_assignment->value)) {
                // ExifTool stores these tags as UCS-2 and would write a
                // silently altered value.
                job.refusal = QStringLiteral(
                    "The value holds characters (such as emoji) that the Windows XP tags "
                    "(Title, Subject, Keywords, Author, Comment) cannot store; nothing was "
                    "written.");
            } else if (!job.sourcePath.startsWith('/')) {
                job.refusal = QStringLiteral("This is not a full path.");
            }
        }))
        return std::nullopt;

    Dispatch dispatch;
    dispatch.tick = m_ticks;
    bool measured = true;
    if (!step(128, [&] {
            dispatch.caption = m_host.barText();
            dispatch.value = m_host.barValue();
            dispatch.count = m_host.entryCount();
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
    if (!m_busy || !m_engine || m_stopped)
        return;
    const quint64 run = m_runId;
    const bool yes = m_dialogs.question(QString::fromLatin1(StopQuestion));
    if (!yes || run != m_runId || !m_busy || !m_engine)
        return;
    m_stopped = true;
    m_engine->stop();
}

void BatchRun::finishRun()
{
    m_ticker.stop();
    if (m_wait && m_wait->polls() >= WaitTextFromTick)
        m_wait->finish();
    m_wait.reset();
    if (m_engine) {
        m_engine->disconnect(this);
        m_engine.release()->deleteLater();
    }

    BatchReport report;
    report.stopped = m_stopped;
    report.outcomes = m_outcomes;
    addCommandLines(&report.outcomes);
    std::stable_sort(report.outcomes.begin(), report.outcomes.end(),
                     [](const FileOutcome &a, const FileOutcome &b) { return a.position < b.position; });
    report.total = int(report.outcomes.size());
    if (m_stopped) {
        // What the stop kept from starting counts as not written.
        const int listed = std::min(m_bound, m_host.entryCount());
        for (int position = m_turn + 1; position <= listed; ++position) {
            FileOutcome outcome;
            outcome.kind = FileOutcome::Kind::NotStarted;
            outcome.position = position;
            outcome.source = m_host.entryText(position);
            report.outcomes.append(outcome);
        }
        report.total = int(report.outcomes.size());
    }

    if (!step(170, [] {}))
        return;
    if (!step(172, [&] { m_host.setBusyPointer(false); }))
        return;
    if (!step(174, [&] { m_host.setBarValue(0); }))
        return;
    if (!step(176, [&] { m_host.setBarText(QString::fromLatin1(IdleBarText)); }))
        return;
    if (!step(178, [&] { m_dialogs.message(doneMessage(report), failureDetails(report)); }))
        return;
    m_guard->record(180);
    m_busy = false;
    emit runFinished(report);
}

// Only a file a tool began has a command line worth showing, and the report
// shows one per group: built here, once, rather than kept for every file.
void BatchRun::addCommandLines(QList<FileOutcome> *outcomes) const
{
    const QString assignmentText = m_assignment ? BuildAssignment(*m_assignment) : QString();
    QSet<QString> shown;
    for (FileOutcome &outcome : *outcomes) {
        const QString key = QString::number(int(outcome.kind)) + QLatin1Char('\n')
            + (outcome.group.isEmpty() ? outcome.reason : outcome.group);
        const bool inReport =
            !countsAsWritten(outcome.kind) || outcome.kind == FileOutcome::Kind::WrittenWithNotes;
        if (!outcome.toolRan || !inReport || shown.contains(key))
            continue;
        shown.insert(key);
        outcome.commandLine = BuildCommandLine(
            m_toolPath, ResultPathFor(m_resultsFolder, outcome.source), assignmentText, outcome.source);
    }
}

void BatchRun::abandon()
{
    if (!m_busy)
        return;
    m_busy = false;
    ++m_runId;
    m_ticker.stop();
    m_wait.reset();
    if (m_engine) {
        m_engine->disconnect(this);
        m_engine->abandon();
        m_engine.reset();
    }
}

QString BatchRun::doneMessage(const BatchReport &report)
{
    return endMessage(report.outcomes, report.total, report.stopped);
}

QString BatchRun::failureDetails(const BatchReport &report)
{
    return reportDetails(report.outcomes);
}
