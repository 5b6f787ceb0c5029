#include "writer/tooljudge.h"

#include <QRegularExpression>
#include <QStringList>
#include <optional>

#include "writer/exiftoolworker.h"
#include "writer/toolreasons.h"

namespace {

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

ToolVerdict judgeToolResult(const ToolResult &result, const QString &tagName, bool copyIsResult)
{
    ToolVerdict verdict;
    const QStringList errorLines = nonEmptyLines(result.errors);
    if (result.processLost) {
        verdict.reason = QStringLiteral("ExifTool ended before it finished this file.");
        verdict.toolLine = errorLines.join(QLatin1Char('\n'));
        return verdict;
    }

    QStringList relevant;
    std::optional<QRegularExpression> aboutTag; // made only for a file with warnings
    for (const QString &line : errorLines) {
        if (line.startsWith(QLatin1String("Error"), Qt::CaseInsensitive)) {
            relevant.append(line);
        } else if (!tagName.isEmpty()
                   && line.startsWith(QLatin1String("Warning"), Qt::CaseInsensitive)) {
            if (!aboutTag)
                aboutTag.emplace(QStringLiteral("(?<![A-Za-z0-9])%1(?![A-Za-z0-9])")
                                     .arg(QRegularExpression::escape(tagName)),
                                 QRegularExpression::CaseInsensitiveOption);
            if (aboutTag->match(line).hasMatch())
                relevant.append(line);
        }
    }

    const bool created = result.output.contains(QLatin1String("1 image files created"));
    const bool copied =
        copyIsResult && result.output.contains(QLatin1String("1 image files copied"));
    if (result.status == 0 && (created || copied) && relevant.isEmpty()) {
        verdict.written = true;
        const QStringList notes = droppedMetadataNotes(result.errors);
        if (!notes.isEmpty()) {
            verdict.noteLines = notes.join(QLatin1Char('\n'));
            verdict.noteWords = explainToolLines(verdict.noteLines, QString()).plainWords;
        }
        return verdict;
    }

    // The lines about the tag say most; without them, whatever the tool said.
    const ToolReason explained = relevant.isEmpty()
        ? explainToolLines(result.errors, result.output)
        : explainToolLines(relevant.join(QLatin1Char('\n')), QString());
    verdict.reason = explained.plainWords;
    verdict.toolLine = explained.toolLine;
    if (verdict.toolLine.isEmpty() && result.status > 0)
        verdict.toolLine = QStringLiteral("(exit status %1)").arg(result.status);
    return verdict;
}
