#include "writer/tags/datevalue.h"

#include <QRegularExpression>
#include <QStringList>

#include "writer/report/shorttext.h"

namespace {

// ExifTool strips a time zone before it reads the fields, so digits that
// look like one never count as minutes or seconds.
QString withoutTimeZone(const QString &value, bool &hadZone)
{
    static const QRegularExpression zone(QStringLiteral("([-+])(\\d{1,2}):?(\\d{2})\\s*(DST)?$"),
                                         QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression utc(QStringLiteral("Z$"),
                                        QRegularExpression::CaseInsensitiveOption);
    QString text = value;
    QRegularExpressionMatch match = zone.match(text);
    if (!match.hasMatch())
        match = utc.match(text);
    hadZone = match.hasMatch();
    if (hadZone)
        text.remove(match.capturedStart(), match.capturedLength());
    return text;
}

} // namespace

bool isNowWord(const QString &value)
{
    return value.compare(QLatin1String("now"), Qt::CaseInsensitive) == 0;
}

std::optional<DateFields> exifToolDateFields(const QString &value)
{
    bool hadZone = false;
    const QString text = withoutTimeZone(value, hadZone);
    static const QRegularExpression yearDigits(QStringLiteral("\\d{4}"));
    static const QRegularExpression fieldDigits(QStringLiteral("\\d{1,2}"));
    const QRegularExpressionMatch year = yearDigits.match(text);
    if (!year.hasMatch())
        return std::nullopt;
    // The other fields are the one- or two-digit runs after the year.
    QList<int> fields;
    auto runs = fieldDigits.globalMatch(text, year.capturedEnd());
    while (runs.hasNext())
        fields.append(runs.next().captured().toInt());
    if (fields.size() < 3)
        return std::nullopt;
    while (fields.size() < 5)
        fields.append(0);
    DateFields date;
    date.year = year.captured().toInt();
    date.month = fields.at(0);
    date.day = fields.at(1);
    date.hour = fields.at(2);
    date.minute = fields.at(3);
    date.second = fields.at(4) < 60 ? fields.at(4) : 0;
    if (date.month < 1 || date.month > 12 || date.day < 1 || date.day > 31 || date.hour > 24
        || date.minute > 59)
        return std::nullopt;
    return date;
}

bool exifToolAcceptsDate(const QString &value)
{
    if (value.isEmpty())
        return true;
    bool hadZone = false;
    withoutTimeZone(value, hadZone);
    if (!hadZone && isNowWord(value))
        return true;
    return exifToolDateFields(value).has_value();
}

std::optional<DateFields> storedDateFields(const QString &stored)
{
    static const QRegularExpression form(QStringLiteral(
        "^(\\d{4})\\D(\\d{2})\\D(\\d{2})\\D(\\d{2})\\D(\\d{2})(?:\\D(\\d{2}))?"));
    const QRegularExpressionMatch match = form.match(stored);
    if (!match.hasMatch())
        return std::nullopt;
    DateFields date{match.captured(1).toInt(), match.captured(2).toInt(),
                    match.captured(3).toInt(), match.captured(4).toInt(),
                    match.captured(5).toInt(), match.captured(6).toInt()};
    if (date.month < 1 || date.month > 12 || date.day < 1 || date.day > 31 || date.hour > 24
        || date.minute > 59 || date.second > 59)
        return std::nullopt;
    return date;
}

QString invalidDateMessage(const QString &value)
{
    return QStringLiteral("\"%1\" is not a date and time that can be written.\n\n"
                          "Please type it in the form YYYY:MM:DD HH:MM:SS, for example "
                          "2021:08:31 14:30:00, or type now for the current date and time.")
        .arg(shortenedValue(value));
}

bool isDateTag(const QString &tagName)
{
    static const QStringList dateTags{QStringLiteral("ModifyDate"),
                                      QStringLiteral("DateTimeOriginal"),
                                      QStringLiteral("CreateDate")};
    return dateTags.contains(tagName);
}
