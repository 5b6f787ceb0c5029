#include "writer/values/dateshift.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QStringList>

#include "writer/tags/datevalue.h"

namespace {

constexpr qint64 Minute = 60;
constexpr qint64 Hour = 60 * Minute;
constexpr qint64 Day = 24 * Hour;
// Far beyond any date's span, and far from overflowing.
constexpr qint64 Largest = 10000LL * 366 * Day;

struct Unit {
    const char *word; // singular; the plural adds "s"
    qint64 seconds;   // 0: counted in months
    int months;
};

// The words each unit is typed as.
std::optional<Unit> unitFor(const QString &typed)
{
    const QString word = typed.toLower();
    const auto is = [&word](std::initializer_list<const char *> names) {
        for (const char *name : names)
            if (word == QLatin1String(name))
                return true;
        return false;
    };
    if (is({"y", "yr", "yrs", "year", "years"}))
        return Unit{"year", 0, 12};
    if (is({"mo", "mon", "month", "months"}))
        return Unit{"month", 0, 1};
    if (is({"w", "week", "weeks"}))
        return Unit{"week", 7 * Day, 0};
    if (is({"d", "day", "days"}))
        return Unit{"day", Day, 0};
    if (is({"h", "hr", "hrs", "hour", "hours"}))
        return Unit{"hour", Hour, 0};
    if (is({"m", "min", "mins", "minute", "minutes"}))
        return Unit{"minute", Minute, 0};
    if (is({"s", "sec", "secs", "second", "seconds"}))
        return Unit{"second", 1, 0};
    return std::nullopt;
}

QString counted(qint64 amount, const char *unit)
{
    return QStringLiteral("%1 %2%3").arg(amount).arg(QLatin1String(unit)).arg(amount == 1 ? "" : "s");
}

const char Form[] = "Type + for later or - for earlier, then the amount with its units, "
                    "for example +1h30m, -2d, +1y or -0:30.";

} // namespace

std::optional<DateShift> parseDateShift(const QString &text, QString *whyNot)
{
    const auto refuse = [whyNot](const QString &why) -> std::optional<DateShift> {
        if (whyNot)
            *whyNot = why;
        return std::nullopt;
    };
    QString rest = text.trimmed();
    if (rest.isEmpty())
        return refuse(QStringLiteral("No shift was typed. ") + QLatin1String(Form));
    DateShift shift;
    if (rest.startsWith(QLatin1Char('+')) || rest.startsWith(QLatin1Char('-')))
        shift.later = rest.startsWith(QLatin1Char('+'));
    else
        return refuse(QStringLiteral("\"%1\" does not say whether dates move later or earlier. ")
                          .arg(text)
                      + QLatin1String(Form));
    rest = rest.mid(1).trimmed();

    static const QRegularExpression clock(QStringLiteral("^(\\d{1,6}):(\\d{2})(?::(\\d{2}))?$"));
    static const QRegularExpression part(QStringLiteral("\\G\\s*(\\d{1,6})\\s*([A-Za-z]+)\\s*,?"));
    if (const QRegularExpressionMatch match = clock.match(rest); match.hasMatch()) {
        const int minutes = match.captured(2).toInt();
        const int seconds = match.captured(3).toInt();
        if (minutes > 59 || seconds > 59)
            return refuse(QStringLiteral("\"%1\" is no clock amount: minutes and seconds go up to 59.").arg(text));
        shift.seconds = match.captured(1).toLongLong() * Hour + minutes * Minute + seconds;
    } else {
        int at = 0;
        auto parts = part.globalMatch(rest);
        while (parts.hasNext()) {
            const QRegularExpressionMatch match = parts.next();
            const std::optional<Unit> unit = unitFor(match.captured(2));
            if (!unit)
                return refuse(QStringLiteral("\"%1\" is not a unit of time. ").arg(match.captured(2))
                              + QLatin1String(Form));
            const qint64 amount = match.captured(1).toLongLong();
            shift.months += int(amount) * unit->months;
            shift.seconds += amount * unit->seconds;
            at = int(match.capturedEnd());
        }
        if (at == 0 || at < rest.size())
            return refuse(QStringLiteral("\"%1\" is not a shift that can be read. ").arg(text)
                          + QLatin1String(Form));
    }
    if (shift.months == 0 && shift.seconds == 0)
        return refuse(QStringLiteral("The shift \"%1\" moves no date.").arg(text));
    if (shift.months > 12 * 10000 || shift.seconds > Largest)
        return refuse(QStringLiteral("The shift \"%1\" moves dates beyond any calendar year.").arg(text));
    return shift;
}

QString describeShift(const DateShift &shift)
{
    QStringList parts;
    if (shift.months / 12)
        parts << counted(shift.months / 12, "year");
    if (shift.months % 12)
        parts << counted(shift.months % 12, "month");
    qint64 rest = shift.seconds;
    for (const auto &[unit, size] : {std::pair{"day", Day}, std::pair{"hour", Hour},
                                     std::pair{"minute", Minute}, std::pair{"second", qint64(1)}}) {
        if (rest / size)
            parts << counted(rest / size, unit);
        rest %= size;
    }
    return QStringLiteral("each date %1 %2").arg(parts.join(QLatin1Char(' ')),
                                                 shift.later ? QStringLiteral("later") : QStringLiteral("earlier"));
}

std::optional<QString> shiftedDate(const QString &stored, const DateShift &shift)
{
    const std::optional<DateFields> fields = storedDateFields(stored);
    if (!fields)
        return std::nullopt;
    const QDate start(fields->year, fields->month, 1);
    if (!start.isValid())
        return std::nullopt;
    // The day stays, but never beyond the end of the month moved to.
    const QDate month = start.addMonths(shift.later ? shift.months : -shift.months);
    if (!month.isValid() || fields->day > start.daysInMonth())
        return std::nullopt;
    const QDate day(month.year(), month.month(), qMin(fields->day, month.daysInMonth()));
    // No time zone: the stored clock is moved, with no daylight-saving hour skipped.
    const qint64 sinceMidnight = fields->hour * Hour + fields->minute * Minute + fields->second;
    const QDateTime moved = QDateTime(day, QTime(0, 0), Qt::UTC)
                                .addSecs(sinceMidnight + (shift.later ? shift.seconds : -shift.seconds));
    if (!moved.isValid() || moved.date().year() < 1 || moved.date().year() > 9999)
        return std::nullopt;
    return moved.toString(QStringLiteral("yyyy:MM:dd HH:mm:ss"));
}
