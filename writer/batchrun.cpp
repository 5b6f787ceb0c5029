#include "writer/batchrun.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QPointer>
#include <QRegularExpression>
#include <QStandardPaths>
#include <cmath>
#include <vector>

#include "app/dialogs.h"
#include "app/errorreport.h"
#include "app/paths.h"
#include "writer/exiftoolworker.h"
#include "writer/tagcatalogue.h"
#include "writer/waitprogress.h"

namespace {

const char NoFilesText[] = "No files added.";
const char NoFolderText[] = "Folder does not exist. Please select another folder.";
const char IdleBarText[] = "Progress Bar";

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

// A dangling link counts too: whatever is there was not made by this run.
bool existsAt(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
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
    for (QChar c : value)
        if (c.isSurrogate())
            return true;
    return false;
}

QStringList nonEmptyLines(const QString &text)
{
    QStringList lines;
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (!trimmed.isEmpty())
            lines.append(trimmed);
    }
    return lines;
}

} // namespace

struct BatchRun::FileJob {
    int position = 0;
    QString source;
    QString output;
    QString commandLine;
    QStringList arguments;
    QString tagName;            // empty when the command carries no assignment
    bool copyIsResult = false;  // nothing to write, or a tag to remove
    QString refusal;            // why the file is not handed to the tool at all
    bool submitted = false;
    bool outputExisted = false; // measured just before the tool got the command
};

// One worker and the file it is busy with. The run keeps its per-file state
// here, not in the run, so that more workers can serve one run.
struct BatchRun::Slot {
    QPointer<ExifToolWorker> worker;
    bool workerReady = false;
    std::optional<FileJob> job;
    std::shared_ptr<WaitProgress> wait;
    QTimer ticker;
    quint64 fileSerial = 0;
};

struct BatchRun::State {
    std::shared_ptr<ErrorGuard> guard;
    quint64 runId = 0;
    bool starting = false;       // the run's first tool start is not answered yet
    int turn = 0;
    int bound = 0;
    std::optional<Assignment> assignment; // carries over to files whose tag has no row
    BatchReport report;
    QString toolPath;
    QString toolError;           // set when the tool cannot be started again
    QTimer advance;
    std::vector<std::unique_ptr<Slot>> workerSlots;
    QList<QPointer<ExifToolWorker>> retiring;
    QHash<ExifToolWorker *, QString> killedOutputs; // to remove once a killed tool has ended
};

BatchRun::BatchRun(BatchHost &host, Dialogs &dialogs, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<State>())
    , m_host(host)
    , m_dialogs(dialogs)
    , m_toolProgram(QStringLiteral("exiftool"))
    , m_tickMs(WaitTickMs)
{
    // Each file starts from the event loop, so the window catches up between files.
    d->advance.setSingleShot(true);
    d->advance.setInterval(0);
    connect(&d->advance, &QTimer::timeout, this, &BatchRun::advance);

    d->workerSlots.push_back(std::make_unique<Slot>());
    for (auto &slot : d->workerSlots) {
        Slot *s = slot.get();
        connect(&s->ticker, &QTimer::timeout, this, [this, s] { onTick(*s); });
    }
}

BatchRun::~BatchRun()
{
    abandon();
    for (const QPointer<ExifToolWorker> &worker : std::as_const(d->retiring)) {
        if (!worker)
            continue;
        ExifToolWorker *w = worker.data();
        disconnect(w, nullptr, this, nullptr);
        const QString output = d->killedOutputs.take(w);
        delete w; // ends the tool and waits for it
        if (!output.isEmpty() && existsAt(output))
            QFile::remove(output);
    }
}

bool BatchRun::step(int number, const std::function<void()> &work, bool *succeeded)
{
    const quint64 run = d->runId;
    const std::shared_ptr<ErrorGuard> guard = d->guard;
    const bool ok = guard->step(number, work);
    if (succeeded)
        *succeeded = ok;
    return run == d->runId;
}

void BatchRun::PushButton3_Click()
{
    if (m_busy)
        return;
    m_busy = true;
    ++d->runId;
    d->guard = std::make_shared<ErrorGuard>(m_dialogs, QString::fromLatin1(Location::StartChanging));
    d->guard->record(100);

    int count = 0;
    if (!step(102, [&] { count = m_host.entryCount(); }))
        return;
    if (count <= 0) {
        if (step(102, [&] { m_dialogs.message(QString::fromLatin1(NoFilesText)); }))
            m_busy = false;
        return;
    }

    bool folder = false;
    if (!step(104, [&] { folder = IsFolder(m_host.resultsFolder()); }))
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

    if (!step(108, [&] { m_host.setBusyPointer(true); }))
        return;

    d->toolPath = tool;
    d->toolError.clear();
    d->turn = 0;
    d->bound = count;
    d->assignment.reset();
    d->report = BatchReport();
    d->starting = true;
    d->guard->record(110);
    startWorker(*d->workerSlots.front());
}

void BatchRun::startWorker(Slot &slot)
{
    auto *worker = new ExifToolWorker(d->toolPath, this);
    slot.worker = worker;
    slot.workerReady = false;
    Slot *s = &slot;
    connect(worker, &ExifToolWorker::started, this, [this, s] { onWorkerStarted(*s); });
    connect(worker, &ExifToolWorker::failed, this,
            [this, s](const QString &reason) { onWorkerFailed(*s, reason); });
    connect(worker, &ExifToolWorker::finished, this,
            [this, s](const ToolResult &result) { onFileFinished(*s, result); });
    worker->start();
}

// The worker is no longer the slot's: it ends (gracefully, or at once when
// the window closes) and deletes itself once its tool has ended.
void BatchRun::retireWorker(Slot &slot, bool killNow)
{
    ExifToolWorker *worker = slot.worker.data();
    slot.worker = nullptr;
    slot.workerReady = false;
    if (!worker)
        return;
    disconnect(worker, nullptr, this, nullptr);
    d->retiring.append(worker);
    connect(worker, &ExifToolWorker::ended, this, [this, worker] {
        d->retiring.removeAll(worker);
        const QString output = d->killedOutputs.take(worker);
        if (!output.isEmpty() && existsAt(output))
            QFile::remove(output);
        worker->deleteLater();
    });
    if (killNow)
        worker->kill();
    else
        worker->stop();
}

void BatchRun::onWorkerStarted(Slot &slot)
{
    slot.workerReady = true;
    d->starting = false;
    if (slot.job)
        dispatch(slot);
    else
        scheduleAdvance();
}

void BatchRun::onWorkerFailed(Slot &slot, const QString &reason)
{
    const bool hadStarted = slot.workerReady;
    retireWorker(slot, false);
    if (d->starting) {
        d->starting = false;
        if (!step(110, [&] { m_host.setBusyPointer(false); }))
            return;
        if (!step(110, [&] {
                m_dialogs.message(QStringLiteral("ExifTool could not be started (%1). ").arg(reason)
                                  + installHint());
            }))
            return;
        m_busy = false;
        return;
    }
    // A tool that ended while idle is started again for the next file; one
    // that cannot start fails the files that are left.
    if (!hadStarted)
        d->toolError = QStringLiteral("ExifTool could not be started (%1).").arg(reason);
    if (slot.job && !slot.job->submitted)
        dispatch(slot);
}

void BatchRun::scheduleAdvance()
{
    d->advance.start();
}

void BatchRun::advance()
{
    const quint64 run = d->runId;
    if (!m_busy)
        return;
    for (auto &owned : d->workerSlots) {
        Slot &slot = *owned;
        if (slot.job)
            continue;
        while (!slot.job && d->turn < d->bound) {
            if (!prepare(slot, ++d->turn))
                return;
        }
        if (!slot.job)
            break;
        dispatch(slot);
        if (run != d->runId)
            return;
    }
    if (d->turn < d->bound)
        return;
    for (const auto &slot : d->workerSlots)
        if (slot->job)
            return;
    finishRun();
}

bool BatchRun::prepare(Slot &slot, int position)
{
    int count = 0;
    if (!step(112, [&] { count = m_host.entryCount(); }))
        return false;
    // The list may have shrunk meanwhile: an entry that is gone is skipped.
    if (position > count)
        return true;

    FileJob job;
    job.position = position;
    bool read = false;
    if (!step(112, [&] { job.source = m_host.entryText(position); }, &read))
        return false;
    if (!read)
        return true;

    if (!step(114, [&] {
            m_host.setBarValue(roundHalfEven(static_cast<double>(position) / count * 100.0));
        }))
        return false;
    if (!step(116, [&] {
            m_host.setBarText(QStringLiteral("Processing: ") + FileNameOf(job.source));
        }))
        return false;
    // Another command may have put the default pointer back meanwhile.
    if (!step(118, [&] { m_host.setBusyPointer(true); }))
        return false;
    if (!step(120, [&] {
            if (const std::optional<QString> option = TagOptionFor(m_host.tagLabel()))
                d->assignment = Assignment{*option, m_host.tagValue()};
        }))
        return false;
    if (!step(122, [&] { job.output = ResultPathFor(m_host.resultsFolder(), job.source); }))
        return false;
    if (!step(124, [&] {
            const QString assignmentText =
                d->assignment ? BuildAssignment(*d->assignment) : QString();
            job.commandLine =
                BuildCommandLine(d->toolPath, job.output, assignmentText, job.source);
            job.arguments = BuildArgumentList(job.output, d->assignment, job.source);
            job.tagName = d->assignment ? tagNameOf(d->assignment->option) : QString();
            job.copyIsResult = !d->assignment || d->assignment->value.isEmpty();
        }))
        return false;
    if (!step(126, [&] {
            if (job.output.isEmpty() || job.arguments.isEmpty()) {
                job.refusal = QStringLiteral("The command for this file could not be made.");
            } else if (!job.tagName.isEmpty() && isXpTag(job.tagName)
                       && outsideBasicPlane(d->assignment->value)) {
                // ExifTool stores these tags as UCS-2 and would write a
                // silently altered value.
                job.refusal = QStringLiteral(
                    "The value holds characters (such as emoji) that the Windows XP tags "
                    "(Title, Subject, Keywords, Author, Comment) cannot store; nothing was "
                    "written.");
            } else if (job.source.startsWith(QLatin1Char('-'))) {
                job.refusal = QStringLiteral("This is not a full path.");
            } else if (QFileInfo(job.source).isDir()) {
                job.refusal = QStringLiteral("This is a folder, not a file.");
            } else if (QFileInfo(job.output).isDir()) {
                job.refusal = QStringLiteral("A folder of this name is in the results folder.");
            }
        }))
        return false;

    ++d->report.total;
    slot.job = std::move(job);
    return true;
}

void BatchRun::failFile(const FileJob &job, const QString &reason)
{
    d->report.failures.append({job.source, job.output, reason, job.commandLine});
}

void BatchRun::dispatch(Slot &slot)
{
    FileJob &job = *slot.job;
    if (job.refusal.isEmpty() && !slot.worker && !d->toolError.isEmpty())
        job.refusal = d->toolError;
    if (!job.refusal.isEmpty()) {
        failFile(job, job.refusal);
        slot.job.reset();
        scheduleAdvance();
        return;
    }
    if (!slot.worker) {
        startWorker(slot); // the tool ended earlier; the file waits for the new one
        return;
    }
    if (!slot.workerReady)
        return;

    const quint64 serial = ++slot.fileSerial;
    std::shared_ptr<WaitProgress> wait;
    if (!step(128, [&] {
            wait = std::make_shared<WaitProgress>(&m_host, m_host.barText(), m_host.barValue(),
                                                  m_host.entryCount());
        }))
        return;
    if (serial != slot.fileSerial || !slot.job)
        return;
    if (!slot.worker || !slot.workerReady) {
        // The tool ended while the step's report was shown.
        if (!slot.worker)
            dispatch(slot);
        return;
    }

    bool submitted = false;
    QString whyNot;
    if (!step(130, [&] {
            job.outputExisted = existsAt(job.output);
            submitted = slot.worker->submit(job.arguments, &whyNot);
        }))
        return;
    if (!submitted) {
        failFile(job, whyNot);
        slot.job.reset();
        scheduleAdvance();
        return;
    }
    job.submitted = true;
    slot.wait = std::move(wait);
    if (slot.wait)
        slot.ticker.start(m_tickMs);
}

void BatchRun::onTick(Slot &slot)
{
    const std::shared_ptr<WaitProgress> wait = slot.wait;
    if (!wait)
        return;
    const quint64 serial = slot.fileSerial;
    bool ok = true;
    if (!step(132, [&] { wait->tick(); }, &ok))
        return;
    // One report per file is enough; the wait goes on without the bar.
    if (!ok && serial == slot.fileSerial)
        slot.ticker.stop();
}

namespace {

// Whether the tool wrote the tag into a new file. ExifTool copies the file
// unchanged, with status 0, when it refuses a value (a date such as
// "yesterday"): only "created" without a warning about the tag is a write.
bool judgeResult(const ToolResult &result, const QString &tagName, bool copyIsResult,
                 const QString &output, QString *reason)
{
    const QStringList errorLines = nonEmptyLines(result.errors);
    if (result.processLost) {
        *reason = QStringLiteral("ExifTool ended before it finished this file.");
        if (!errorLines.isEmpty())
            *reason += QLatin1Char('\n') + errorLines.join(QLatin1Char('\n'));
        return false;
    }

    const QRegularExpression aboutTag(
        QStringLiteral("(?<![A-Za-z0-9])%1(?![A-Za-z0-9])")
            .arg(QRegularExpression::escape(tagName)),
        QRegularExpression::CaseInsensitiveOption);
    QStringList relevant;
    for (const QString &line : errorLines) {
        if (line.startsWith(QLatin1String("Error"), Qt::CaseInsensitive)
            || (!tagName.isEmpty() && line.startsWith(QLatin1String("Warning"), Qt::CaseInsensitive)
                && aboutTag.match(line).hasMatch()))
            relevant.append(line);
    }

    const bool created = result.output.contains(QLatin1String("1 image files created"));
    // Without a tag to write, or when an empty value removes a tag the file
    // lacks, an unchanged copy is what was asked for.
    const bool copied =
        copyIsResult && result.output.contains(QLatin1String("1 image files copied"));
    if (result.status == 0 && (created || copied) && relevant.isEmpty()) {
        if (existsAt(output))
            return true;
        *reason = QStringLiteral("ExifTool reported success, but the result file is missing.");
        return false;
    }

    if (relevant.isEmpty())
        relevant = errorLines;
    if (relevant.isEmpty())
        relevant = nonEmptyLines(result.output);
    *reason = relevant.isEmpty()
        ? QStringLiteral("ExifTool gave status %1.").arg(result.status)
        : relevant.join(QLatin1Char('\n'));
    return false;
}

} // namespace

void BatchRun::onFileFinished(Slot &slot, const ToolResult &result)
{
    slot.ticker.stop();
    if (!slot.job)
        return;
    const FileJob job = std::move(*slot.job);
    slot.job.reset();
    const std::shared_ptr<WaitProgress> wait = std::move(slot.wait);
    slot.wait.reset();
    if (result.processLost)
        retireWorker(slot, false);

    if (!step(134, [&] {
            if (wait)
                wait->finish();
        }))
        return;

    bool written = false;
    QString reason;
    if (!step(136, [&] { written = judgeResult(result, job.tagName, job.copyIsResult, job.output, &reason); }))
        return;
    if (!written) {
        // An unchanged or partial copy made by this command is no result.
        if (!step(138, [&] {
                if (!job.outputExisted && existsAt(job.output))
                    QFile::remove(job.output);
            }))
            return;
        failFile(job, reason);
    }
    scheduleAdvance();
}

void BatchRun::finishRun()
{
    d->advance.stop();
    if (!step(170, [&] {
            for (auto &slot : d->workerSlots)
                retireWorker(*slot, false);
        }))
        return;
    if (!step(172, [&] { m_host.setBusyPointer(false); }))
        return;
    if (!step(174, [&] { m_host.setBarValue(0); }))
        return;
    if (!step(176, [&] { m_host.setBarText(QString::fromLatin1(IdleBarText)); }))
        return;
    const BatchReport report = d->report;
    if (!step(178, [&] { m_dialogs.message(doneMessage(report), failureDetails(report)); }))
        return;
    d->guard->record(180);
    m_busy = false;
    emit runFinished(report);
}

void BatchRun::abandon()
{
    if (!m_busy)
        return;
    m_busy = false;
    ++d->runId;
    d->advance.stop();
    d->starting = false;
    for (auto &owned : d->workerSlots) {
        Slot &slot = *owned;
        slot.ticker.stop();
        slot.wait.reset();
        ExifToolWorker *worker = slot.worker.data();
        QString createdOutput;
        if (slot.job && slot.job->submitted && !slot.job->outputExisted)
            createdOutput = slot.job->output;
        slot.job.reset();
        retireWorker(slot, true);
        if (createdOutput.isEmpty())
            continue;
        if (existsAt(createdOutput))
            QFile::remove(createdOutput);
        // The killed tool may still be on its way out: look again when it has ended.
        if (worker)
            d->killedOutputs.insert(worker, createdOutput);
    }
}

QString BatchRun::doneMessage(const BatchReport &report)
{
    if (report.failures.isEmpty())
        return QStringLiteral("Done.");
    return QStringLiteral("Done. %1 of %2 files could not be written.")
        .arg(report.failures.size())
        .arg(report.total);
}

QString BatchRun::failureDetails(const BatchReport &report)
{
    QStringList blocks;
    for (const FileFailure &failure : report.failures) {
        QString block = failure.source + QLatin1Char('\n');
        for (const QString &line : failure.reason.split(QLatin1Char('\n')))
            block += QStringLiteral("    ") + line + QLatin1Char('\n');
        if (!failure.commandLine.isEmpty())
            block += QStringLiteral("    Command: ") + failure.commandLine + QLatin1Char('\n');
        blocks.append(block);
    }
    return blocks.join(QLatin1Char('\n'));
}
