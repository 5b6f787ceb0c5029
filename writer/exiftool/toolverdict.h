#pragma once

#include <QString>
#include <QStringList>

struct ToolResult;

// How ExifTool's answer for one write reads.
struct ToolVerdict {
    bool written = false;
    QString reason;   // why not, in words (when not written)
    QString toolLine; // the tool's own line behind the reason, if any
    QString noteWords; // written, but the tool dropped damaged metadata of the source
    bool askTheDisk = false; // the copy could not be made: the disk's state may say why
    QString noteLines;
};

// Whether the tool wrote the tag into the copy. ExifTool copies the file
// unchanged, with status 0, when it refuses a value (a date such as
// "yesterday"): only "created" without a warning about the tag is a write.
// tagName is empty when the command carries no assignment; copyIsResult when
// an unchanged copy is what was asked for (no tag, or an empty value that
// removes a tag the file may lack).
ToolVerdict judgeToolResult(const ToolResult &result, const QString &tagName, bool copyIsResult);

// ExifTool's lines for one file, turned into words a user can act on.
struct ToolReason {
    QString plainWords;
    QString toolLine;   // the ExifTool line the words explain; may be empty
    bool isNoteOnly = false; // the copy was written; the line only notes a loss
    bool askTheDisk = false;
};

// From one file's standard error (and output), the first line that explains
// the failure, in plain words; an unknown line gives generic words plus the
// line itself.
ToolReason explainToolLines(const QString &errors, const QString &output);

// Lines that say ExifTool dropped damaged metadata of the source while
// writing the copy.
QStringList droppedMetadataNotes(const QString &errors);
