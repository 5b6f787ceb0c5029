#include "writer/exiftool/displaycommand.h"

namespace {
const QChar Quote = QLatin1Char('"');
}

QString BuildAssignment(const QString &option, const QString &value)
{
    return option + Quote + value + Quote;
}

QString BuildAssignment(const Assignment &assignment)
{
    return BuildAssignment(assignment.option, assignment.value);
}

QString ResultPathFor(const QString &resultsFolder, const QString &sourcePath, QChar separator)
{
    return CleanPath(resultsFolder + separator + FileNameOf(sourcePath, separator), separator);
}

QString BuildCommandLine(const QString &toolPath, const QString &outputPath,
                         const QString &assignment, const QString &sourcePath)
{
    return Quote + toolPath + Quote + QStringLiteral(" -o ") + Quote + outputPath + Quote
        + assignment + QLatin1Char(' ') + Quote + sourcePath + Quote;
}
