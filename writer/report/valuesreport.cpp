#include "writer/report/valuesreport.h"

#include <QFileInfo>
#include <QStringList>

#include "writer/report/shorttext.h"

namespace {

// A report of a long run stays readable; the copies themselves hold the rest.
constexpr int MostLines = 500;

QString shown(const QString &value)
{
    return value.isEmpty() ? QStringLiteral("(tag removed)") : QStringLiteral("\"%1\"").arg(shortenedValue(value));
}

} // namespace

QString valuesDetails(const QString &wayWords, const QList<FileOutcome> &outcomes)
{
    if (wayWords.isEmpty())
        return QString();
    QList<const FileOutcome *> written;
    for (const FileOutcome &outcome : outcomes)
        if (countsAsWritten(outcome.kind) && outcome.value)
            written.append(&outcome);
    QStringList lines{wayWords};
    const bool allSame = std::all_of(written.cbegin(), written.cend(), [&written](const FileOutcome *o) {
        return *o->value == *written.constFirst()->value;
    });
    if (written.size() > 1 && allSame) {
        lines << QStringLiteral("Each copy holds %1.").arg(shown(*written.constFirst()->value));
    } else if (!written.isEmpty()) {
        lines << QStringLiteral("Each copy holds:");
        for (int i = 0; i < written.size() && i < MostLines; ++i)
            lines << QStringLiteral("  %1: %2").arg(QFileInfo(written.at(i)->source).fileName(),
                                                    shown(*written.at(i)->value));
        if (written.size() > MostLines)
            lines << QStringLiteral("  and %1 more copies.").arg(written.size() - MostLines);
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}
