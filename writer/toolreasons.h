#pragma once

#include <QString>
#include <QStringList>

// ExifTool's lines for one file, turned into words a user can act on.
struct ToolReason {
    QString plainWords;
    QString toolLine;   // the ExifTool line the words explain; may be empty
    bool isNoteOnly = false; // the copy was written; the line only notes a loss
};

// From one file's standard error (and output), the first line that explains
// the failure, in plain words; an unknown line gives generic words plus the
// line itself.
ToolReason explainToolLines(const QString &errors, const QString &output);

// Lines that say ExifTool dropped damaged metadata of the source while
// writing the copy.
QStringList droppedMetadataNotes(const QString &errors);
