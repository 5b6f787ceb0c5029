#pragma once

#include <QList>
#include <QString>

#include "writer/engine/fileoutcome.h"

// For a run that made a value for each file: the way in words, then the
// value of each copy written, one line per file, or one line when every copy
// holds the same. Empty when the run wrote the typed value.
QString valuesDetails(const QString &wayWords, const QList<FileOutcome> &outcomes);
