#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "app/paths.h"

// A tag assignment as the user asked for it: the catalogue's option text
// (" -XPTitle=") and the value exactly as typed.
struct Assignment {
    QString option;
    QString value;
};

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

// The same command as the separate arguments the tool receives:
// -o, output path, -Tag=value (when there is an assignment), source path.
QStringList BuildArgumentList(const QString &outputPath,
                              const std::optional<Assignment> &assignment,
                              const QString &sourcePath);
