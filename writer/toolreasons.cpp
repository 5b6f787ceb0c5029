#include "writer/toolreasons.h"

#include <QRegularExpression>
#include <array>

namespace {

enum class LineKind {
    Failure,  // the copy is missing or must not be kept
    Note,     // the copy is kept, but ExifTool says it lost something
    Harmless, // says nothing about the written tag or the picture
};

struct ReasonRow {
    const char *toolPattern; // matched case-insensitively against one line
    const char *plainWords;  // "%1" takes the pattern's first captured text
    LineKind kind;
};

// The one table of what ExifTool prints and what it means, first match wins.
// The lines come from ExifTool 12.57 given the cases named beside them.
const std::array<ReasonRow, 12> &reasonTable()
{
    static const std::array<ReasonRow, 12> rows{{
        // An output of that name exists: "Error: 'out.jpg' already exists - in.jpg"
        {R"(already exists)",
         "A file of this name is already in the results folder", LineKind::Failure},
        // A text or PNG file named .jpg: "Not a valid JPG (looks more like a PNG)"
        {R"(Not a valid \w+ \(looks more like an? (\w+)\))",
         "The file is not a JPEG picture: its content is %1", LineKind::Failure},
        // Cut-off, empty or garbled files
        {R"(Not a valid|Format error in file|File format error|Corrupted JPEG image|Error reading|File is empty|Unknown file type)",
         "The file is not a readable JPEG picture", LineKind::Failure},
        {R"(Error opening file|Permission denied|No such file)",
         "The file could not be opened: it is missing or not readable", LineKind::Failure},
        // "yesterday", month 13, hour 25 for a date tag
        {R"(Invalid date/time|out of range)",
         "The value is not a date and time ExifTool accepts (YYYY:MM:DD HH:MM:SS)", LineKind::Failure},
        // A value over about 64 KB
        {R"(Writing large value for)",
         "The value is too large for one EXIF block: ExifTool split the metadata, and most programs cannot read it",
         LineKind::Failure},
        // Damaged maker-note directories: "Truncated PreviewIFD directory. IFD dropped."
        {R"(IFD dropped)",
         "ExifTool dropped damaged metadata of the source from the copy", LineKind::Note},
        {R"(^Warning:.*Truncated \S+ directory)",
         "ExifTool dropped damaged metadata of the source from the copy", LineKind::Note},
        // Damaged EXIF directories ExifTool will not copy: "Error: Truncated IFD1 directory"
        {R"((Truncated|Bad) \S+ directory|Bad format|Invalid \S+ directory)",
         "The file's metadata is damaged, so ExifTool would not write a copy", LineKind::Failure},
        {R"(Error creating|Error writing|No space left|Can't create)",
         "The copy could not be created in the results folder: it is not writable, or the disk is full",
         LineKind::Failure},
        // Common on camera photos; the maker notes are copied as they were.
        {R"(Maker notes could not be parsed)", "", LineKind::Harmless},
        // Counters: "1 image files created", "1 files weren't updated due to errors"
        {R"(^\d+ (image )?(files|directories)\b)", "", LineKind::Harmless},
    }};
    return rows;
}

struct CompiledRow {
    QRegularExpression pattern;
    const ReasonRow *row;
};

const QList<CompiledRow> &compiledTable()
{
    static const QList<CompiledRow> compiled = [] {
        QList<CompiledRow> list;
        for (const ReasonRow &row : reasonTable())
            list.append({QRegularExpression(QString::fromUtf8(row.toolPattern),
                                            QRegularExpression::CaseInsensitiveOption),
                         &row});
        return list;
    }();
    return compiled;
}

struct Explained {
    const ReasonRow *row = nullptr;
    QString words;
};

Explained explainLine(const QString &line)
{
    for (const CompiledRow &entry : compiledTable()) {
        const QRegularExpressionMatch match = entry.pattern.match(line);
        if (!match.hasMatch())
            continue;
        QString words = QString::fromUtf8(entry.row->plainWords);
        if (words.contains(QLatin1String("%1")))
            words = words.arg(match.captured(1));
        return {entry.row, words};
    }
    return {};
}

QStringList meaningfulLines(const QString &text)
{
    QStringList lines;
    for (const QString &raw : text.split(QRegularExpression(QStringLiteral("[\r\n]+")))) {
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
        if (explained.row->kind == LineKind::Failure)
            return {explained.words, line, false};
        if (explained.row->kind == LineKind::Note && note.plainWords.isEmpty())
            note = {explained.words, line, true};
    }
    if (!unknownLine.isEmpty())
        return {QStringLiteral("ExifTool could not write the copy"), unknownLine, false};
    if (!note.plainWords.isEmpty())
        return note;
    return {QStringLiteral("ExifTool did not write the copy and gave no reason"), QString(), false};
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
