#include "writer/report/shorttext.h"

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
    // Characters that show as nothing (a mangled emoji becomes a private-use
    // code) are named by their code, so the reader sees what is there.
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const QChar::Category category = c.category();
        if (category == QChar::Other_Control || category == QChar::Other_PrivateUse
            || category == QChar::Other_NotAssigned || category == QChar::Other_Format)
            shown += QStringLiteral("[U+%1]").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper();
        else
            shown += c;
    }
    return shown;
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
