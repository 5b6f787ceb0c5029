#include "app/details/detailrows.h"

#include "app/details/picturefacts.h"
#include "writer/command/prerunchecks.h"
#include "writer/tags/datevalue.h"
#include "writer/tags/tagcatalogue.h"

namespace {

QString storedDateText(const DateFields &date)
{
    return QStringLiteral("%1:%2:%3 %4:%5:%6")
        .arg(date.year, 4, 10, QLatin1Char('0'))
        .arg(date.month, 2, 10, QLatin1Char('0'))
        .arg(date.day, 2, 10, QLatin1Char('0'))
        .arg(date.hour, 2, 10, QLatin1Char('0'))
        .arg(date.minute, 2, 10, QLatin1Char('0'))
        .arg(date.second, 2, 10, QLatin1Char('0'));
}

} // namespace

QString valueInCopy(const QString &tagLabel, const QString &value)
{
    if (value.isEmpty())
        return QStringLiteral("(removed)");
    if (!valueRefusal(tagLabel, value).isEmpty())
        return QString();
    const std::optional<QString> option = TagOptionFor(tagLabel);
    if (option && isDateTag(TagNameOf(*option))) {
        if (isNowWord(value))
            return QStringLiteral("(the date and time of the run)");
        if (const std::optional<DateFields> date = exifToolDateFields(value))
            return storedDateText(*date);
    }
    return value;
}

QList<DetailRow> detailRows(const PictureFacts &facts, const QString &chosenLabel,
                            const QString &value)
{
    return detailRows(facts, chosenLabel, MadeValue{value, valueRefusal(chosenLabel, value)});
}

QList<DetailRow> detailRows(const PictureFacts &facts, const QString &chosenLabel,
                            const MadeValue &made)
{
    QList<DetailRow> rows;
    std::size_t index = 0;
    for (const TagRow &tag : TagCatalogue()) {
        DetailRow row;
        row.label = QString::fromLatin1(tag.label);
        row.present = facts.values[index].has_value();
        row.stored = facts.values[index].value_or(QString());
        if (const std::optional<ShownElsewhere> &shown = facts.shownInstead[index])
            row.windowsShows = QStringLiteral("%1: %2").arg(shown->tagLabel, shown->text);
        row.chosen = row.label == chosenLabel;
        if (row.chosen) {
            row.refused = !made.refusal.isEmpty();
            row.afterRun = row.refused ? made.refusal : valueInCopy(chosenLabel, made.value);
        } else {
            row.afterRun = row.stored;
        }
        rows.append(row);
        ++index;
    }
    return rows;
}
