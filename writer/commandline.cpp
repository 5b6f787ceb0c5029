#include "writer/commandline.h"

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

QStringList BuildArgumentList(const QString &outputPath,
                              const std::optional<Assignment> &assignment,
                              const QString &sourcePath)
{
    QStringList arguments{QStringLiteral("-o"), outputPath};
    if (assignment)
        // The option text carries a blank that only separates it on the
        // command line; as its own argument it starts at the hyphen.
        arguments.append(assignment->option.trimmed() + assignment->value);
    arguments.append(sourcePath);
    return arguments;
}
