#pragma once

#include <QString>

struct ToolResult;

// How ExifTool's answer for one write reads.
struct ToolVerdict {
    bool written = false;
    QString reason;   // why not, in words (when not written)
    QString toolLine; // the tool's own line behind the reason, if any
    QString noteWords; // written, but the tool dropped damaged metadata of the source
    QString noteLines;
};

// Whether the tool wrote the tag into the copy. ExifTool copies the file
// unchanged, with status 0, when it refuses a value (a date such as
// "yesterday"): only "created" without a warning about the tag is a write.
// tagName is empty when the command carries no assignment; copyIsResult when
// an unchanged copy is what was asked for (no tag, or an empty value that
// removes a tag the file may lack).
ToolVerdict judgeToolResult(const ToolResult &result, const QString &tagName, bool copyIsResult);
