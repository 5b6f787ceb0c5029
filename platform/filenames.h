#pragma once

#include <QByteArray>
#include <QString>

namespace Platform {

// A file name as the bytes every platform call here takes: the file
// system's own bytes on POSIX systems, UTF-8 on Windows (whose code pages
// cannot hold every name).
QByteArray encodeName(const QString &name);
QString decodeName(const QByteArray &name);

// Paths in those bytes. Windows takes "\" and "/" alike as separators.
bool isSeparator(char c);
qsizetype lastSeparator(const QByteArray &path); // -1 when there is none
// A path from a root: "/x" here; "C:\x" or "\\server\share\x" on Windows.
bool isFullPath(const QByteArray &path);
// The folder part of a full path; a root keeps its separator.
QByteArray folderOfPath(const QByteArray &path);
// The name after the last separator.
QByteArray nameOfPath(const QByteArray &path);
// The folder and the name with one separator between them.
QByteArray joinedPath(const QByteArray &folder, const QByteArray &name);

// Whether this system itself takes the names Windows refuses for devices or
// not at all, whatever the disk ("CON.jpg", "a.jpg.", "a?.jpg").
bool refusesWindowsNames();

} // namespace Platform
