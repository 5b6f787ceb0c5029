#pragma once

#include <QString>
#include <QStringList>
#include <functional>

#include "platform/fileattributes.h"

// The attribute value of a path; -1 when it cannot be read.
int fileAttributes(const QString &path);
int fileAttributes(const QByteArray &nativePath);

// True when the path opens read-only as a regular file. Never fails.
bool IsExistingFile(const QString &path);
bool IsExistingFile(const QByteArray &nativePath);

// True when the name holds a control character (below 32, 127 to 159) or "?",
// or a character the locale's 8-bit codec cannot represent.
bool HasUnsafeChars(const QString &name);

// Windows-style wildcard match: case-insensitive, "*" and "?", and "*.*"
// matches every name, also names without a dot.
bool wildcardMatch(const QString &pattern, const QString &name);

// The names of the files in a folder that match the pattern and open as
// files, hidden ones included, in name order (see nameorder.h). The folder may or may not
// end in a separator. A folder that does not exist has no files; throws
// Failure when an existing folder cannot be listed. The stop flag, when given
// and set, ends the listing early.
QStringList ListFiles(const QString &folder, const QString &pattern,
                      const std::function<bool()> &stopRequested = {});
// The same, as the file system's own bytes: a name need not be valid text (the
// pattern matches its text with U+FFFD for each invalid sequence).
QList<QByteArray> ListNativeFiles(const QString &folder, const QString &pattern,
                                  const std::function<bool()> &stopRequested = {});

// A failure the scan met, for the error report (location and step).
struct ScanFailure {
    QString description;
    QString location;
    int step = 0;
};

// Extends folderList (each element ends in a separator) by every sub-folder,
// level by level (breadth-first), each folder's sub-folders in name order,
// with the skipping rules: unreadable and
// missing folders drop out silently, hidden system folders (22, 1046) are not
// entered unless they are roots, names of 260 characters or more, with unsafe
// characters or "?" are left out, and a folder already scanned (same device
// and inode) is not entered again. A name that is not valid text counts as
// unsafe. The stop flag, when given and set, ends the scan early.
void GetSubDirectories2016(QStringList &folderList, bool recurse,
                           QList<ScanFailure> *failures = nullptr,
                           const std::function<bool()> &stopRequested = {});
