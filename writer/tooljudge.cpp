#include "writer/tooljudge.h"

#include <QRegularExpression>
#include <QStringList>

#include "writer/exiftoolworker.h"

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
    const bool copied =
        copyIsResult && result.output.contains(QLatin1String("1 image files copied"));
    if (result.status == 0 && (created || copied) && relevant.isEmpty()) {
        verdict.written = true;
        return verdict;
    }

    if (relevant.isEmpty())
        relevant = errorLines;
    if (relevant.isEmpty())
        relevant = nonEmptyLines(result.output);
    verdict.toolLine = relevant.join(QLatin1Char('\n'));
    verdict.reason = relevant.isEmpty() ? QStringLiteral("ExifTool gave status %1.").arg(result.status)
                                        : verdict.toolLine;
    return verdict;
}
