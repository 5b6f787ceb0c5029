#include "writer/exiftool/argumentencoding.h"

#include <QRegularExpression>
#include <QStringDecoder>

#include "platform/filenames.h"
#include "platform/toolprocess.h"
#include "writer/report/reasons.h"

namespace {

// ExifTool reads the argument after -o as a name pattern and replaces these
// codes from the source's name; "%%" is no escape for them.
const QRegularExpression &nameCode()
{
    static const QRegularExpression code(
        QStringLiteral("%[-+]?\\d*[.:]?\\d*[lun]?[dDfFeEtgsocC]"));
    return code;
}

bool isValidUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    return !decoder.hasError();
}

// A line that ExifTool reads back as the C string it holds. Only "$" and "@"
// cannot pass: ExifTool 12.57 leaves a back-slash in front of them.
QByteArray cstrLine(const QByteArray &bytes)
{
    QByteArray line("#[CSTR]");
    line.reserve(bytes.size() + 16);
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

// A plain line loses leading blanks and ends at a line break; one starting
// with "#" is a comment, an empty one is dropped.
bool plainLineKeeps(const QByteArray &argument)
{
    return !argument.isEmpty() && argument.at(0) != ' ' && argument.at(0) != '\t'
        && argument.at(0) != '#' && !argument.contains('\n') && !argument.contains('\r');
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

// A file path: a C string when that keeps it exact, else a plain line (the
// only form that carries bytes which are not UTF-8).
bool pathLine(const QByteArray &path, QByteArray *line, QString *whyNot)
{
    if (!path.contains('$') && !path.contains('@') && isValidUtf8(path)) {
        *line = cstrLine(path);
        return true;
    }
    if (plainLineKeeps(path)) {
        *line = path + '\n';
        return true;
    }
    *whyNot = because(Reason::PathNotExact, QString::fromUtf8(path));
    return false;
}

} // namespace

QStringList stayOpenCommonArguments()
{
    return QStringList{QStringLiteral("-E")} + Platform::toolFileNameArguments();
}

bool encodeWriteCommand(const WriteCommand &command, QByteArray *out, QString *whyNot)
{
    QString reason;
    QString &why = whyNot ? *whyNot : reason;

    // Every code starts with "%": most names are passed over without the pattern.
    if (command.output.contains('%')) {
        const QString outputText = QString::fromUtf8(command.output);
        if (outputText.contains(nameCode())) {
            why = because(Reason::PercentCodeInFolder,
                          QString::fromUtf8(command.output.left(Platform::lastSeparator(command.output) + 1)));
            return false;
        }
    }
    if (command.source.startsWith('-')) {
        why = because(Reason::NotFullPath);
        return false;
    }

    QByteArray text;
    for (const QString &option : stayOpenCommonArguments())
        text += cstrLine(option.toUtf8());
    text += cstrLine("-o");
    QByteArray line;
    if (!pathLine(command.output, &line, &why))
        return false;
    text += line;
    if (command.assignment) {
        // The option text carries a blank that only separates it on the
        // command line; as its own argument it starts at the hyphen.
        text += cstrLine((command.assignment->option.trimmed()
                          + htmlEncoded(command.assignment->value))
                             .toUtf8());
    }
    if (!pathLine(command.source, &line, &why))
        return false;
    text += line;
    *out = text;
    return true;
}
