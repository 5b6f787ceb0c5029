#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>

// A spreadsheet of values, one per file, as spreadsheet programs save it:
// comma-, semicolon- or tab-separated (told by the header row), quoted
// fields holding separators, doubled quotes and line breaks, CRLF or LF,
// UTF-8 with or without a byte-order mark, UTF-16 with one, and
// Windows-1252 where the bytes are not UTF-8. The header row comes first;
// then each row names a file (relative to the spreadsheet's folder, or
// absolute) and its value.
struct SheetRow {
    int row = 0;   // as a spreadsheet program numbers it, the header being 1
    QString file;  // full path, native separators
    QString value;
};

struct SheetProblem {
    int row = 0;
    QString file;   // as written in the row
    QString reason;
};

struct Sheet {
    QList<SheetRow> rows;         // usable so far, in the spreadsheet's order
    QList<SheetProblem> problems; // in row order
    QString error;                // the spreadsheet as a whole cannot be used
};

// Reads the rows and refuses those that cannot be used as they are: no file
// named, more than two columns, a file named on two rows (neither is used).
Sheet readSpreadsheet(const QByteArray &bytes, const QString &folder);

// Refuses further rows: a file the check refuses (missing, not a JPEG) or a
// value the other check refuses. Each check gives the reason, or nothing.
void refuseRows(Sheet *sheet, const std::function<QString(const QString &file)> &fileRefusal,
                const std::function<QString(const QString &value)> &valueRefusal);

// The problems as lines for a report: "Row 7 (IMG_1.jpg): the file does not exist."
QString problemLines(const QList<SheetProblem> &problems);
