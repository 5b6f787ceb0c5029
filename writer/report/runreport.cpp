#include "writer/report/runreport.h"

#include <QLocale>
#include <QStringList>
#include <algorithm>

#include "writer/report/reasons.h"
#include "writer/report/shorttext.h"

namespace {

bool isFailure(FileOutcome::Kind kind)
{
    return kind == FileOutcome::Kind::Failed || kind == FileOutcome::Kind::Stopped;
}

QString filesCount(qsizetype count)
{
    return QLocale(QLocale::English).toString(qlonglong(count))
        + (count == 1 ? QStringLiteral(" file") : QStringLiteral(" files"));
}

QString reasonOf(const FileOutcome &outcome)
{
    if (!outcome.group.isEmpty())
        return outcome.group;
    if (!outcome.reason.isEmpty())
        return outcome.reason;
    if (outcome.kind == FileOutcome::Kind::Stopped)
        return because(Reason::NotStarted);
    if (outcome.kind == FileOutcome::Kind::WrittenWithNotes)
        return because(Reason::NotedChange);
    return because(Reason::NoReasonGiven);
}

struct Group {
    QString reason;
    QList<const FileOutcome *> files;
};

// Groups in order of first appearance, then the largest first (stable).
QList<Group> groupByReason(const QList<FileOutcome> &outcomes, bool (*belongs)(FileOutcome::Kind))
{
    QList<Group> groups;
    for (const FileOutcome &outcome : outcomes) {
        if (!belongs(outcome.kind))
            continue;
        const QString reason = reasonOf(outcome);
        auto group = std::find_if(groups.begin(), groups.end(),
                                  [&](const Group &g) { return g.reason == reason; });
        if (group == groups.end())
            groups.append({reason, {&outcome}});
        else
            group->files.append(&outcome);
    }
    std::stable_sort(groups.begin(), groups.end(), [](const Group &a, const Group &b) {
        return a.files.size() > b.files.size();
    });
    return groups;
}

QString firstNonEmpty(const Group &group, QString FileOutcome::*field)
{
    for (const FileOutcome *outcome : group.files)
        if (!(outcome->*field).isEmpty())
            return outcome->*field;
    return QString();
}

// The command line helps to retry a failure; beside written copies it is noise.
void appendGroup(QStringList &lines, const QString &heading, const Group &group, bool withCommand)
{
    lines.append(heading);
    const QString toolLine = firstNonEmpty(group, &FileOutcome::toolLine);
    if (!toolLine.isEmpty())
        lines.append(QStringLiteral("  ExifTool said: ") + elidedLine(toolLine));
    const QString command = withCommand ? firstNonEmpty(group, &FileOutcome::commandLine) : QString();
    if (!command.isEmpty())
        lines.append(QStringLiteral("  Command line: ") + elidedLine(command));
    for (const FileOutcome *outcome : group.files)
        lines.append(QStringLiteral("    ") + outcome->source
                     + (outcome->detail.isEmpty() ? QString()
                                                  : QStringLiteral("  (%1)").arg(outcome->detail)));
    lines.append(QString());
}

} // namespace

QString endMessage(const QList<FileOutcome> &outcomes, int total, bool stopped)
{
    const QString head = stopped ? QStringLiteral("Stopped.") : QStringLiteral("Done.");
    const auto failed = std::count_if(outcomes.cbegin(), outcomes.cend(),
                                      [](const FileOutcome &o) { return isFailure(o.kind); });
    if (failed == 0)
        return head;
    return QStringLiteral("%1 %2 of %3 %4 could not be written.")
        .arg(head)
        .arg(failed)
        .arg(total)
        .arg(total == 1 ? QStringLiteral("file") : QStringLiteral("files"));
}

QString reportDetails(const QList<FileOutcome> &outcomes)
{
    QStringList lines;
    for (const Group &group : groupByReason(outcomes, isFailure))
        appendGroup(lines, QStringLiteral("%1 not written. %2")
                               .arg(filesCount(group.files.size()), group.reason),
                    group, true);
    const QList<Group> notes = groupByReason(outcomes, [](FileOutcome::Kind kind) {
        return kind == FileOutcome::Kind::WrittenWithNotes;
    });
    if (!notes.isEmpty()) {
        lines.append(QStringLiteral("Written, with notes"));
        lines.append(QString());
        for (const Group &group : notes)
            appendGroup(lines, QStringLiteral("%1 written. %2")
                                   .arg(filesCount(group.files.size()), group.reason),
                        group, false);
    }
    if (lines.isEmpty())
        return QString();
    const auto alreadyThere = std::count_if(outcomes.cbegin(), outcomes.cend(), [](const FileOutcome &o) {
        return o.kind == FileOutcome::Kind::AlreadyThere;
    });
    if (alreadyThere > 0)
        lines.append(QStringLiteral("%1 already in the results folder with this value, left as %2.")
                         .arg(filesCount(alreadyThere), alreadyThere == 1 ? QStringLiteral("it was")
                                                                         : QStringLiteral("they were")));
    while (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString keptRunFolderNote(const QByteArray &folder, const QList<QByteArray> &files)
{
    if (folder.isEmpty())
        return QString();
    const QString held = files.isEmpty() ? QStringLiteral("it")
        : files.size() == 1                ? QStringLiteral("this file in it")
                                           : QStringLiteral("these files in it");
    QStringList lines{QStringLiteral("This run's own folder \"%1\" stays in the results folder: another "
                                     "program (a virus scanner or an indexer, for instance) held %2 open, "
                                     "so it could not be removed. It holds no copy under a final name; the "
                                     "next run in this results folder removes it.")
                          .arg(QString::fromUtf8(folder), held)};
    for (const QByteArray &name : files)
        lines.append(QStringLiteral("    ") + QString::fromUtf8(name));
    return lines.join(QLatin1Char('\n'));
}

QString earlierRunsNote(int claimsCleared, const QList<QByteArray> &leftAsTheyAre)
{
    QStringList lines;
    if (claimsCleared > 0)
        lines.append(QStringLiteral("Cleared %1 unfinished %2 that an earlier run, cut off by a crash or a "
                                    "disk taken away, had left in the results folder.")
                         .arg(claimsCleared)
                         .arg(claimsCleared == 1 ? QStringLiteral("copy") : QStringLiteral("copies")));
    if (!leftAsTheyAre.isEmpty()) {
        lines.append(QStringLiteral("Left as %1, as %2 may not be what an earlier run had begun to write:")
                         .arg(leftAsTheyAre.size() == 1 ? QStringLiteral("it is") : QStringLiteral("they are"),
                              leftAsTheyAre.size() == 1 ? QStringLiteral("it") : QStringLiteral("they")));
        for (const QByteArray &name : leftAsTheyAre)
            lines.append(QStringLiteral("    ") + QString::fromUtf8(name));
    }
    return lines.join(QLatin1Char('\n'));
}
