#include "app/details/picturevalue.h"

#include "writer/command/prerunchecks.h"

MadeValue pictureValue(const ValuePlan &plan, ValueSource source, const PictureFacts &facts)
{
    if (needsSourceTags(plan)) {
        // Merging into keywords that could not be read would lose them.
        if (!facts.error.isEmpty())
            return {QString(), facts.error};
        if (!facts.metadataNote.isEmpty())
            return {QString(), facts.metadataNote};
        if (const int index = tagIndexOf(plan.tagLabel); index >= 0)
            source.current = facts.values[std::size_t(index)];
        source.dateTaken = facts.dateTaken();
    }
    MadeValue made = makeValue(plan, source);
    if (made.refusal.isEmpty())
        made.refusal = valueRefusal(plan.tagLabel, made.value);
    return made;
}

MadeValue readPictureValue(const ValuePlan &plan, const ValueSource &source, const QByteArray &path)
{
    return pictureValue(plan, source, needsSourceTags(plan) ? readPictureFacts(path) : PictureFacts());
}

std::function<MadeValue(const QByteArray &)> pictureValueMaker(const ValuePlan &plan, const ValueSource &source)
{
    return [plan, source](const QByteArray &path) { return readPictureValue(plan, source, path); };
}
