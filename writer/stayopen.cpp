#include "writer/stayopen.h"

#include <QRegularExpression>
#include <QSet>

namespace {

// ExifTool reads the argument after -o as a name pattern: these codes are
// replaced from the source's name, and "%%" is no escape for them.
const QRegularExpression &nameCode()
{
    static const QRegularExpression code(QStringLiteral("%[-+]?\\d*[.:]?\\d*[lu]?[dDfFeEtgso]"));
    return code;
}

// Expanded in the final output name (also the one ExifTool appends to a
// folder) to a copy or sequence number.
const QRegularExpression &copyCode()
{
    static const QRegularExpression code(QStringLiteral("%[-+]?\\d*\\.?\\d*[lun]?[cC]"));
    return code;
}

// "-Tag=value", "-Group:Tag+=value", ...: a tag assignment, not an option.
const QRegularExpression &assignmentPattern()
{
    static const QRegularExpression pattern(QStringLiteral("^(-[-:\\w]+#?[-+<]?=)(.*)$"),
                                            QRegularExpression::DotMatchesEverythingOption);
    return pattern;
}

bool isSeparator(QChar c)
{
#ifdef Q_OS_WIN
    return c == QLatin1Char('/') || c == QLatin1Char('\\');
#else
    return c == QLatin1Char('/');
#endif
}

int lastSeparator(const QString &path)
{
    for (int i = path.size() - 1; i >= 0; --i)
        if (isSeparator(path.at(i)))
            return i;
    return -1;
}

// Options whose next argument is their value rather than a file.
bool takesValue(const QString &option)
{
    static const QSet<QString> options{
        QStringLiteral("-o"), QStringLiteral("-out"), QStringLiteral("-charset"),
        QStringLiteral("-api"), QStringLiteral("-d"), QStringLiteral("-sep"),
        QStringLiteral("-x"), QStringLiteral("-w"), QStringLiteral("-w!"),
        QStringLiteral("-w+"), QStringLiteral("-if"), QStringLiteral("-p"),
        QStringLiteral("-ext"), QStringLiteral("-tagsfromfile"), QStringLiteral("-srcfile"),
        QStringLiteral("-userparam"), QStringLiteral("-fileorder"), QStringLiteral("-echo"),
        QStringLiteral("-echo1"), QStringLiteral("-echo2"), QStringLiteral("-echo3"),
        QStringLiteral("-echo4"), QStringLiteral("-password"), QStringLiteral("-geotag"),
    };
    return options.contains(option.toLower());
}

bool isOutputOption(const QString &option)
{
    const QString lower = option.toLower();
    return lower == QLatin1String("-o") || lower == QLatin1String("-out");
}

bool isHtmlEscapeOption(const QString &option)
{
    // "-e" (lower case) is a different option.
    return option == QLatin1String("-E") || option.toLower() == QLatin1String("-escapehtml");
}

// A line that ExifTool reads back as the C string it holds. Only "$" and "@"
// cannot pass: ExifTool 12.57 leaves a back-slash in front of them.
QByteArray cstrLine(const QString &argument)
{
    QByteArray line("#[CSTR]");
    const QByteArray bytes = argument.toUtf8();
    for (char c : bytes) {
        switch (c) {
        case '\\': line += "\\\\"; break;
        case '"': line += "\\\""; break;
        case '\r': line += "\\r"; break;
        case '\n': line += "\\n"; break;
        case '\t': line += "\\t"; break;
        default: line += c;
        }
    }
    return line + '\n';
}

bool holdsDollarOrAt(const QString &text)
{
    return text.contains(QLatin1Char('$')) || text.contains(QLatin1Char('@'));
}

// A plain line loses leading blanks and ends at a line break; one starting
// with "#" is a comment, an empty one is dropped.
bool plainLineKeeps(const QString &argument)
{
    return !argument.isEmpty() && !argument.at(0).isSpace()
        && argument.at(0) != QLatin1Char('#') && !argument.contains(QLatin1Char('\n'))
        && !argument.contains(QLatin1Char('\r'));
}

// With -E, ExifTool decodes HTML entities in the values it writes, which lets
// every character of a value reach it through a C-string line.
QString htmlEncoded(const QString &value)
{
    QString encoded;
    encoded.reserve(value.size());
    for (QChar c : value) {
        switch (c.unicode()) {
        case '&': encoded += QStringLiteral("&amp;"); break;
        case '$': encoded += QStringLiteral("&#36;"); break;
        case '@': encoded += QStringLiteral("&#64;"); break;
        case '\r': encoded += QStringLiteral("&#13;"); break;
        case '\n': encoded += QStringLiteral("&#10;"); break;
        default: encoded += c;
        }
    }
    return encoded;
}

// A file path (source or output): C string when possible, else a plain line
// when that keeps it exact.
bool pathLine(const QString &path, QByteArray *line, QString *whyNot)
{
    if (!holdsDollarOrAt(path)) {
        *line = cstrLine(path);
        return true;
    }
    if (plainLineKeeps(path)) {
        *line = path.toUtf8() + '\n';
        return true;
    }
    *whyNot = QStringLiteral("The path \"%1\" holds \"$\" or \"@\" together with a line break, "
                             "a leading blank or a leading \"#\"; ExifTool cannot be given such "
                             "a path exactly.")
                  .arg(path);
    return false;
}

bool assignmentLine(const QString &prefix, const QString &value, bool htmlEscaped,
                    QByteArray *line, QString *whyNot)
{
    if (htmlEscaped) {
        *line = cstrLine(prefix + htmlEncoded(value));
        return true;
    }
    if (!holdsDollarOrAt(value)) {
        *line = cstrLine(prefix + value);
        return true;
    }
    // A plain line drops one blank after "=", so one is given to be dropped.
    if (!value.contains(QLatin1Char('\n')) && !value.contains(QLatin1Char('\r'))) {
        *line = (prefix + QLatin1Char(' ') + value).toUtf8() + '\n';
        return true;
    }
    *whyNot = QStringLiteral("The value holds \"$\" or \"@\" together with a line break; "
                             "ExifTool cannot be given it exactly without its -E option.");
    return false;
}

// What to give ExifTool after -o so that the file it writes is the output
// path itself. A path free of name codes goes as it is. One that holds codes
// goes as its folder with a trailing separator, ExifTool then adds the
// source's own file name, which is the output's name anyway.
bool outputArgument(const QString &output, const QString &source, QString *argument,
                    QString *whyNot)
{
    const bool hasNameCode = output.contains(nameCode());
    const int cut = lastSeparator(output);
    const QString name = output.mid(cut + 1);
    if (name.contains(copyCode())) {
        *whyNot = QStringLiteral("The file name \"%1\" holds a \"%c\" or \"%C\" code, which "
                                 "ExifTool replaces by a copy number; it cannot write a file "
                                 "of that name.")
                      .arg(name);
        return false;
    }
    if (!hasNameCode) {
        *argument = output;
        return true;
    }
    const QString folder = cut < 0 ? QString() : output.left(cut + 1);
    if (folder.isEmpty() || folder.contains(nameCode()) || folder.contains(copyCode())) {
        *whyNot = QStringLiteral("The results path \"%1\" holds \"%\" followed by a letter "
                                 "that ExifTool reads as a name code; choose a results folder "
                                 "whose name has no such \"%\".")
                      .arg(output);
        return false;
    }
    const QString sourceName = source.mid(lastSeparator(source) + 1);
    if (source.isEmpty() || sourceName != name) {
        *whyNot = QStringLiteral("The output name \"%1\" holds \"%\" followed by a letter that "
                                 "ExifTool reads as a name code, and differs from the source's "
                                 "name; ExifTool cannot be given it exactly.")
                      .arg(name);
        return false;
    }
    *argument = folder;
    return true;
}

} // namespace

QStringList stayOpenCommonArguments()
{
#ifdef Q_OS_WIN
    // File names are handed over as UTF-8 rather than in the ANSI code page.
    return {QStringLiteral("-E"), QStringLiteral("-charset"), QStringLiteral("filename=utf8")};
#else
    return {QStringLiteral("-E")};
#endif
}

bool encodeStayOpenCommand(const QStringList &arguments, int id, QByteArray *out,
                           QString *whyNot)
{
    QString reason;
    QString &why = whyNot ? *whyNot : reason;

    // The files are the arguments that are neither options nor their values;
    // with -o the one file names the output.
    QString source;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument.startsWith(QLatin1Char('-'))) {
            if (takesValue(argument))
                ++i;
            continue;
        }
        source = argument;
    }

    QByteArray command;
    bool htmlEscaped = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        QByteArray line;
        if (argument.startsWith(QLatin1Char('-'))) {
            const QRegularExpressionMatch assignment = assignmentPattern().match(argument);
            if (assignment.hasMatch()) {
                if (!assignmentLine(assignment.captured(1), assignment.captured(2), htmlEscaped,
                                    &line, &why))
                    return false;
            } else {
                line = cstrLine(argument);
                htmlEscaped = htmlEscaped || isHtmlEscapeOption(argument);
                if (takesValue(argument) && i + 1 < arguments.size()) {
                    QString value = arguments.at(++i);
                    if (isOutputOption(argument)
                        && !outputArgument(value, source, &value, &why))
                        return false;
                    QByteArray valueLine;
                    if (!pathLine(value, &valueLine, &why))
                        return false;
                    line += valueLine;
                }
            }
        } else if (!pathLine(argument, &line, &why)) {
            return false;
        }
        command += line;
    }

    const QByteArray number = QByteArray::number(id);
    command += "-echo3\n{status=${status}}\n-echo4\n{end" + number + "}\n-execute" + number
        + '\n';
    *out = command;
    return true;
}
