#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Turns one command's arguments into what a resident "exiftool -stay_open
// True -@ -" reads from its input: every argument exactly as given (leading
// blanks, line breaks, quotes, "$" and "@" included), then the markers that
// end the command:
//   -echo3 {status=${status}}   -echo4 {end<id>}   -execute<id>
// Returns false, with the reason, for an argument the tool cannot be given
// exactly (for example an output path holding one of the tool's "%"
// name codes together with a folder that holds one too).
bool encodeStayOpenCommand(const QStringList &arguments, int id, QByteArray *out,
                           QString *whyNot);

// The options every command of a run starts with (before its own arguments).
QStringList stayOpenCommonArguments();
