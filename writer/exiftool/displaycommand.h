#pragma once

#include <QString>

#include "app/shared/paths.h"
#include "writer/tags/tagcatalogue.h"

// The option text, a double quote, the value as typed, a double quote.
QString BuildAssignment(const QString &option, const QString &value);
QString BuildAssignment(const Assignment &assignment);

// Results folder, one separator, the source's file name, cleaned of doubled
// separators: one separator between folder and name whether or not the folder
// ends in one.
QString ResultPathFor(const QString &resultsFolder, const QString &sourcePath,
                      QChar separator = nativeSeparator());

// The single command-line text: "tool" -o "output"<assignment> "source".
// Shown to people only; it is never split again into arguments.
QString BuildCommandLine(const QString &toolPath, const QString &outputPath,
                         const QString &assignment, const QString &sourcePath);

