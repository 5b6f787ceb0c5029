#include "writer/command/batchreport.h"

#include <QSet>
#include <algorithm>

#include "writer/exiftool/displaycommand.h"
#include "writer/report/runreport.h"
#include "writer/report/valuesreport.h"

namespace {

// Only a file a tool began has a command line worth showing, and the report
// shows one per group: built here, once, rather than kept for every file.
void addCommandLines(QList<FileOutcome> *outcomes, const ReportInputs &inputs)
{
    QSet<QString> shown;
    for (FileOutcome &outcome : *outcomes) {
        const QString key = QString::number(int(outcome.kind)) + QLatin1Char('\n')
            + (outcome.group.isEmpty() ? outcome.reason : outcome.group);
        const bool inReport =
            !countsAsWritten(outcome.kind) || outcome.kind == FileOutcome::Kind::WrittenWithNotes;
        if (!outcome.toolRan || !inReport || shown.contains(key))
            continue;
        shown.insert(key);
        std::optional<Assignment> assignment = inputs.assignment;
        if (assignment && outcome.value)
            assignment->value = *outcome.value;
        const QString assignmentText = assignment ? BuildAssignment(*assignment) : QString();
        outcome.commandLine = BuildCommandLine(inputs.toolPath,
                                               ResultPathFor(inputs.resultsFolder, outcome.source),
                                               assignmentText, outcome.source);
    }
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

QString BatchReport::message() const
{
    const QString message = endMessage(outcomes, total, stopped);
    if (earlierRuns.runFolderKept.isEmpty())
        return message;
    return message + QStringLiteral("\n\nThe run's own folder could not be removed from the results folder; "
                                    "the details say why.");
}

QString BatchReport::details() const
{
    const QString values = valuesDetails(wayWords, outcomes);
    const QString failures = reportDetails(outcomes);
    const QString files = values + (values.isEmpty() || failures.isEmpty() ? QString() : QStringLiteral("\n")) + failures;
    QString earlier = earlierRunsNote(earlierRuns.claimsCleared, earlierRuns.leftAsTheyAre);
    const QString kept = keptRunFolderNote(earlierRuns.runFolderKept, earlierRuns.filesKept);
    if (!kept.isEmpty())
        earlier += (earlier.isEmpty() ? QString() : QStringLiteral("\n\n")) + kept;
    if (earlier.isEmpty() || files.isEmpty())
        return files + earlier;
    return files + QStringLiteral("\n\n") + earlier;
}

BatchReport makeBatchReport(const ReportInputs &inputs)
{
    BatchReport report;
    report.stopped = inputs.stopped;
    report.outcomes = inputs.outcomes;
    report.earlierRuns = inputs.earlierRuns;
    report.wayWords = inputs.wayWords;
    addCommandLines(&report.outcomes, inputs);
    std::stable_sort(report.outcomes.begin(), report.outcomes.end(),
                     [](const FileOutcome &a, const FileOutcome &b) { return a.position < b.position; });
    // What the stop kept from starting counts as not written.
    for (int i = 0; i < inputs.notStarted.size(); ++i) {
        FileOutcome outcome;
        outcome.kind = FileOutcome::Kind::Stopped;
        outcome.position = inputs.firstNotStarted + i;
        outcome.source = inputs.notStarted.at(i);
        report.outcomes.append(outcome);
    }
    report.total = int(report.outcomes.size());
    return report;
}
