#include "writer/values/valueplan.h"

#include <QDate>

#include "writer/tags/datevalue.h"
#include "writer/tags/tagcatalogue.h"
#include "writer/values/dateshift.h"
#include "writer/values/fieldtemplate.h"
#include "writer/values/keywordlist.h"

namespace {

struct WayRow {
    ValueWay way;
    const char *label;
};

constexpr WayRow Ways[] = {
    {ValueWay::AsTyped, "Write as typed"},
    {ValueWay::AddKeywords, "Add to each picture's keywords"},
    {ValueWay::RemoveKeywords, "Remove from each picture's keywords"},
    {ValueWay::ShiftDate, "Shift each picture's date by"},
    {ValueWay::FillFields, "Fill in fields"},
};

QString tagNameOf(const QString &label)
{
    const std::optional<QString> option = TagOptionFor(label);
    return option ? TagNameOf(*option) : QString();
}

bool isKeywordTag(const QString &tagName)
{
    return tagName == QLatin1String("XPKeywords");
}

QString dayOf(const std::optional<QString> &stored)
{
    const std::optional<DateFields> date = stored ? storedDateFields(*stored) : std::nullopt;
    if (!date)
        return QString();
    return QStringLiteral("%1-%2-%3")
        .arg(date->year, 4, 10, QLatin1Char('0'))
        .arg(date->month, 2, 10, QLatin1Char('0'))
        .arg(date->day, 2, 10, QLatin1Char('0'));
}

MadeValue refused(const QString &why)
{
    return {QString(), why};
}

} // namespace

QString wayLabel(ValueWay way)
{
    for (const WayRow &row : Ways)
        if (row.way == way)
            return QString::fromLatin1(row.label);
    return QString();
}

std::optional<ValueWay> wayForLabel(const QString &label)
{
    for (const WayRow &row : Ways)
        if (label == QLatin1String(row.label))
            return row.way;
    return std::nullopt;
}

QList<ValueWay> waysFor(const QString &tagName)
{
    QList<ValueWay> ways{ValueWay::AsTyped};
    if (isKeywordTag(tagName))
        ways << ValueWay::AddKeywords << ValueWay::RemoveKeywords;
    if (isDateTag(tagName))
        ways << ValueWay::ShiftDate;
    ways << ValueWay::FillFields;
    return ways;
}

bool isPerFile(const ValuePlan &plan)
{
    return plan.way != ValueWay::AsTyped || plan.ownValues;
}

bool needsSourceTags(const ValuePlan &plan)
{
    switch (plan.way) {
    case ValueWay::AsTyped:
        return false;
    case ValueWay::FillFields:
        return plan.ownValues || usesDateField(plan.typed);
    default:
        return true;
    }
}

QString planRefusal(const ValuePlan &plan)
{
    const QString tagName = tagNameOf(plan.tagLabel);
    if (plan.way != ValueWay::AsTyped && !waysFor(tagName).contains(plan.way))
        return QStringLiteral("\"%1\" cannot be used with the tag \"%2\".").arg(wayLabel(plan.way), plan.tagLabel);
    if (plan.ownValues)
        return QString();
    QString why;
    if (plan.way == ValueWay::ShiftDate)
        parseDateShift(plan.typed, &why);
    else if (plan.way == ValueWay::FillFields)
        why = fieldsRefusal(plan.typed);
    else if ((plan.way == ValueWay::AddKeywords || plan.way == ValueWay::RemoveKeywords)
             && keywordsOf(plan.typed).isEmpty())
        why = QStringLiteral("Please type the keywords, separated by \";\".");
    return why;
}

MadeValue makeValue(const ValuePlan &plan, const ValueSource &source)
{
    if (plan.ownValues && !source.own)
        return refused(QStringLiteral("The spreadsheet has no value for this file."));
    const QString text = plan.ownValues ? *source.own : plan.typed;
    const QString current = source.current.value_or(QString());
    MadeValue made;
    switch (plan.way) {
    case ValueWay::AsTyped:
        made.value = text;
        break;
    case ValueWay::AddKeywords:
        made.value = withKeywordsAdded(current, text);
        break;
    case ValueWay::RemoveKeywords:
        made.value = withKeywordsRemoved(current, text);
        break;
    case ValueWay::ShiftDate: {
        QString why;
        const std::optional<DateShift> shift = parseDateShift(text, &why);
        if (!shift)
            return refused(why);
        if (current.trimmed().isEmpty())
            return refused(QStringLiteral("The picture holds no %1 to shift.").arg(plan.tagLabel));
        const std::optional<QString> moved = shiftedDate(current, *shift);
        const std::optional<DateFields> stored = storedDateFields(current);
        if (!moved)
            return refused(stored && QDate(stored->year, stored->month, stored->day).isValid()
                               ? QStringLiteral("Its %1 \"%2\" shifted falls outside the years 1 to 9999.")
                                     .arg(plan.tagLabel, current)
                               : QStringLiteral("Its %1 \"%2\" is no date that can be shifted.")
                                     .arg(plan.tagLabel, current));
        made.value = *moved;
        break;
    }
    case ValueWay::FillFields: {
        if (const QString why = fieldsRefusal(text); !why.isEmpty())
            return refused(why);
        const QString day = dayOf(source.dateTaken);
        if (day.isEmpty() && usesDateField(text))
            return refused(QStringLiteral("The picture holds no date taken for the field {date}."));
        made.value = filledIn(text, fieldValuesFor(source.path, source.n, source.count, day));
        break;
    }
    }
    made.refusal = lengthRefusal(tagNameOf(plan.tagLabel), made.value);
    return made;
}

QString planWords(const ValuePlan &plan)
{
    const QString given = plan.ownValues ? QStringLiteral("the spreadsheet's value for each file")
                                         : QStringLiteral("\"%1\"").arg(plan.typed);
    switch (plan.way) {
    case ValueWay::AsTyped:
        return plan.ownValues ? QStringLiteral("Each file's value from the spreadsheet.") : QString();
    case ValueWay::AddKeywords:
        return QStringLiteral("Added to each picture's keywords: %1.").arg(given);
    case ValueWay::RemoveKeywords:
        return QStringLiteral("Removed from each picture's keywords: %1.").arg(given);
    case ValueWay::ShiftDate: {
        const std::optional<DateShift> shift =
            plan.ownValues ? std::nullopt : parseDateShift(plan.typed, nullptr);
        return QStringLiteral("Each picture's %1 shifted: %2.")
            .arg(plan.tagLabel, shift ? describeShift(*shift) : given);
    }
    case ValueWay::FillFields:
        return QStringLiteral("Fields filled in for each picture: %1.").arg(given);
    }
    return QString();
}

QString lengthRefusal(const QString &tagName, const QString &value)
{
    const bool ucs2 = tagName.startsWith(QLatin1String("XP"));
    const qsizetype bytes = ucs2 ? 2 * (value.size() + 1) : value.toUtf8().size() + 1;
    if (bytes <= MaxStoredBytes)
        return QString();
    return QStringLiteral("The value would take %1 bytes, more than the %2 a tag can hold here.")
        .arg(bytes)
        .arg(MaxStoredBytes);
}
