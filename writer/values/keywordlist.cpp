#include "writer/values/keywordlist.h"

namespace {

const QChar Separator = QLatin1Char(';');

bool holds(const QStringList &words, const QString &word)
{
    return words.contains(word, Qt::CaseInsensitive);
}

} // namespace

QStringList keywordsOf(const QString &list)
{
    QStringList words;
    for (const QString &part : list.split(Separator)) {
        const QString word = part.trimmed();
        if (!word.isEmpty())
            words.append(word);
    }
    return words;
}

QString withKeywordsAdded(const QString &existing, const QString &given)
{
    QStringList words = keywordsOf(existing);
    for (const QString &word : keywordsOf(given))
        if (!holds(words, word))
            words.append(word);
    return words.join(Separator);
}

QString withKeywordsRemoved(const QString &existing, const QString &given)
{
    const QStringList unwanted = keywordsOf(given);
    QStringList words;
    for (const QString &word : keywordsOf(existing))
        if (!holds(unwanted, word))
            words.append(word);
    return words.join(Separator);
}
