#include "writer/exiftool/toolverdict.h"

#include <QRegularExpression>
#include <optional>

#include "writer/exiftool/exiftoolworker.h"
#include "writer/report/reasons.h"

namespace {

enum class LineKind {
    Failure,  // the copy is missing or must not be kept
    DiskFailure, // a failure to make the copy, which the disk's state may explain
    Note,     // the copy is kept, but ExifTool says it lost something
    Harmless, // says nothing about the written tag or the picture
};

struct LineRow {
    const char *toolPattern; // matched case-insensitively against one line
    Reason words;            // "%1" takes the pattern's first captured text
    LineKind kind;
};

// What ExifTool prints and what it means, first match wins. The lines come
// from ExifTool 12.57 given the cases named beside them.
constexpr LineRow kLineRows[] = {
    // An output of that name exists: "Error: 'out.jpg' already exists - in.jpg"
    {R"(already exists)", Reason::ToolNameTaken, LineKind::Failure},
    // A text or PNG file named .jpg: "Not a valid JPG (looks more like a PNG)"
    {R"(Not a valid \w+ \(looks more like an? (\w+)\))", Reason::ToolSawOtherContent, LineKind::Failure},
    // Cut-off, empty or garbled files
    {R"(Not a valid|Format error in file|File format error|Corrupted JPEG image|Error reading|File is empty|Unknown file type)",
     Reason::ToolUnreadableJpeg, LineKind::Failure},
    {R"(Error opening file|Permission denied|No such file)", Reason::ToolCannotOpen, LineKind::Failure},
    // "yesterday", month 13, hour 25 for a date tag
    {R"(Invalid date/time|out of range)", Reason::ToolInvalidDate, LineKind::Failure},
    // A value over about 64 KB
    {R"(Writing large value for)", Reason::ToolValueTooLarge, LineKind::Failure},
    // Damaged maker-note directories: "Truncated PreviewIFD directory. IFD dropped."
    {R"(IFD dropped)", Reason::ToolDroppedMetadata, LineKind::Note},
    {R"(^Warning:.*Truncated \S+ directory)", Reason::ToolDroppedMetadata, LineKind::Note},
    // Damaged EXIF directories ExifTool will not copy: "Error: Truncated IFD1 directory"
    {R"((Truncated|Bad) \S+ directory|Bad format|Invalid \S+ directory)", Reason::ToolDamagedMetadata,
     LineKind::Failure},
    // "Error creating file: ...", "Error writing output file": the errno is ExifTool's own.
    {R"(Error creating|Error writing|No space left|Can't create)", Reason::ToolCannotCreate, LineKind::DiskFailure},
    // Common on camera photos; the maker notes are copied as they were.
    {R"(Maker notes could not be parsed)", Reason::Count, LineKind::Harmless},
    // Counters: "1 image files created", "1 files weren't updated due to errors"
    {R"(^\d+ (image )?(files|directories)\b)", Reason::Count, LineKind::Harmless},
};

struct CompiledRow {
    QRegularExpression pattern;
    const LineRow *row;
};

const QList<CompiledRow> &compiledRows()
{
    static const QList<CompiledRow> compiled = [] {
        QList<CompiledRow> list;
        for (const LineRow &row : kLineRows)
            list.append({QRegularExpression(QString::fromUtf8(row.toolPattern),
                                            QRegularExpression::CaseInsensitiveOption),
                         &row});
        return list;
    }();
    return compiled;
}

struct Explained {
    const LineRow *row = nullptr;
    QString words;
};

Explained explainLine(const QString &line)
{
    for (const CompiledRow &entry : compiledRows()) {
        const QRegularExpressionMatch match = entry.pattern.match(line);
        if (!match.hasMatch())
            continue;
        if (entry.row->kind == LineKind::Harmless)
            return {entry.row, QString()};
        return {entry.row, match.lastCapturedIndex() > 0 ? because(entry.row->words, match.captured(1))
                                                          : because(entry.row->words)};
    }
    return {};
}

// The lines that hold more than blanks, trimmed. ExifTool's own lines end
// in a line feed; a lone carriage return inside one (from a file name) splits
// it only where each line is read on its own.
QStringList meaningfulLines(const QString &text, bool carriageReturnEnds = true)
{
    static const QRegularExpression anyBreak(QStringLiteral("[\r\n]+"));
    static const QRegularExpression lineFeed(QStringLiteral("\n"));
    QStringList lines;
    for (const QString &raw : text.split(carriageReturnEnds ? anyBreak : lineFeed)) {
        const QString line = raw.trimmed();
        if (!line.isEmpty())
            lines.append(line);
    }
    return lines;
}

} // namespace

ToolReason explainToolLines(const QString &errors, const QString &output)
{
    const QStringList lines = meaningfulLines(errors) + meaningfulLines(output);
    ToolReason note;
    QString unknownLine;
    for (const QString &line : lines) {
        const Explained explained = explainLine(line);
        if (!explained.row) {
            if (unknownLine.isEmpty())
                unknownLine = line;
            continue;
        }
        if (explained.row->kind == LineKind::Failure || explained.row->kind == LineKind::DiskFailure)
            return {explained.words, line, false, explained.row->kind == LineKind::DiskFailure};
        if (explained.row->kind == LineKind::Note && note.plainWords.isEmpty())
            note = {explained.words, line, true};
    }
    if (!unknownLine.isEmpty())
        return {because(Reason::ToolCouldNotWrite), unknownLine, false};
    if (!note.plainWords.isEmpty())
        return note;
    return {because(Reason::ToolGaveNoReason), QString(), false};
}

QStringList droppedMetadataNotes(const QString &errors)
{
    QStringList notes;
    for (const QString &line : meaningfulLines(errors)) {
        const Explained explained = explainLine(line);
        if (explained.row && explained.row->kind == LineKind::Note)
            notes.append(line);
    }
    return notes;
}

ToolVerdict judgeToolResult(const ToolResult &result, const QString &tagName, bool copyIsResult)
{
    ToolVerdict verdict;
    const QStringList errorLines = meaningfulLines(result.errors, false);
    if (result.processLost) {
        verdict.reason = because(Reason::ToolEndedBeforeFile);
        verdict.toolLine = errorLines.join(QLatin1Char('\n'));
        return verdict;
    }

    QStringList relevant;
    std::optional<QRegularExpression> aboutTag; // made only for a file with warnings
    for (const QString &line : errorLines) {
        if (line.startsWith(QLatin1String("Error"), Qt::CaseInsensitive)) {
            relevant.append(line);
        } else if (!tagName.isEmpty()
                   && line.startsWith(QLatin1String("Warning"), Qt::CaseInsensitive)) {
            if (!aboutTag)
                aboutTag.emplace(QStringLiteral("(?<![A-Za-z0-9])%1(?![A-Za-z0-9])")
                                     .arg(QRegularExpression::escape(tagName)),
                                 QRegularExpression::CaseInsensitiveOption);
            if (aboutTag->match(line).hasMatch())
                relevant.append(line);
        }
    }

    const bool created = result.output.contains(QLatin1String("1 image files created"));
    const bool copied =
        copyIsResult && result.output.contains(QLatin1String("1 image files copied"));
    if (result.status == 0 && (created || copied) && relevant.isEmpty()) {
        verdict.written = true;
        const QStringList notes = droppedMetadataNotes(result.errors);
        if (!notes.isEmpty()) {
            verdict.noteLines = notes.join(QLatin1Char('\n'));
            verdict.noteWords = explainToolLines(verdict.noteLines, QString()).plainWords;
        }
        return verdict;
    }

    // The lines about the tag say most; without them, whatever the tool said.
    const ToolReason explained = relevant.isEmpty()
        ? explainToolLines(result.errors, result.output)
        : explainToolLines(relevant.join(QLatin1Char('\n')), QString());
    verdict.reason = explained.plainWords;
    verdict.toolLine = explained.toolLine;
    verdict.askTheDisk = explained.askTheDisk;
    if (verdict.toolLine.isEmpty() && result.status > 0)
        verdict.toolLine = because(Reason::ToolExitStatus, QString::number(result.status));
    return verdict;
}
