#include "writer/tags/tagcatalogue.h"

const std::array<TagRow, 13> &TagCatalogue()
{
    static const std::array<TagRow, 13> rows{{
        {"Title", " -XPTitle="},
        {"Subject", " -XPSubject="},
        {"Keywords", " -XPKeywords="},
        {"Author", " -XPAuthor="},
        {"Comment", " -XPComment="},
        {"Image Description", " -ImageDescription="},
        {"Equipment Make", " -Make="},
        {"Camera Model", " -Model="},
        {"Software", " -Software="},
        {"Artist", " -Artist="},
        {"Date and Time Taken", " -ModifyDate="},
        {"Date and Time (original)", " -DateTimeOriginal="},
        {"Date and Time (digitized)", " -CreateDate="},
    }};
    return rows;
}

std::optional<QString> TagOptionFor(const QString &label)
{
    for (const TagRow &row : TagCatalogue())
        if (label == QLatin1String(row.label))
            return QString::fromLatin1(row.option);
    return std::nullopt;
}

QString TagNameOf(const QString &option)
{
    QString name = option.trimmed();
    if (name.startsWith(QLatin1Char('-')))
        name.remove(0, 1);
    if (name.endsWith(QLatin1Char('=')))
        name.chop(1);
    return name;
}
