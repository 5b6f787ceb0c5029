#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

#include "writer/tags/tagcatalogue.h"

// One write as a resident ExifTool gets it: "-o OUTPUT [-Tag=value] SOURCE".
// Paths are the file system's own bytes, so names that are not valid UTF-8
// reach the tool exactly.
struct WriteCommand {
    QByteArray output;
    std::optional<Assignment> assignment;
    QByteArray source;
};

// Turns the command into the argument lines that "exiftool -stay_open True
// -@ -" reads, every argument exactly as given (leading blanks, line breaks,
// quotes, "$" and "@" included). The closing markers are the worker's.
// Returns false, with the reason, for a command the tool cannot be given
// exactly (an output folder holding one of the tool's "%" name codes, a path
// holding a line break that cannot travel as a C string).
bool encodeWriteCommand(const WriteCommand &command, QByteArray *out, QString *whyNot);

// The options every command starts with.
QStringList stayOpenCommonArguments();
