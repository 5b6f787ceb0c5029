#pragma once

#include <QString>
#include <QStringList>

// Keywords as the XP Keywords tag holds them: one string, words separated by
// ";". Words compare ignoring case and the blanks around them.

// The words of a list, blanks around each trimmed, empty ones left out.
QStringList keywordsOf(const QString &list);

// The existing words in their order, then each given word they lack.
QString withKeywordsAdded(const QString &existing, const QString &given);

// The existing words in their order, less every given word.
QString withKeywordsRemoved(const QString &existing, const QString &given);
