#include "writer/shorttext.h"

#include <QLocale>

namespace {

QString lengthNote(qsizetype length)
{
    return QStringLiteral("… (%1 characters)").arg(QLocale(QLocale::English).toString(qlonglong(length)));
}

QString visible(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("↵"));
    text.replace(QLatin1Char('\r'), QStringLiteral("↵"));
    text.replace(QLatin1Char('\n'), QStringLiteral("↵"));
    text.replace(QLatin1Char('\t'), QStringLiteral("→"));
    return text;
}

} // namespace

QString shortenedValue(const QString &text, int maxLength)
{
    if (text.size() <= maxLength)
        return visible(text);
    return visible(text.left(maxLength)) + lengthNote(text.size());
}

QString elidedLine(const QString &text, int keep)
{
    // A little slack, so a line just past the limit is not cut for nothing.
    if (text.size() <= keep + keep / 2)
        return visible(text);
    return visible(text.left(keep)) + lengthNote(text.size());
}
