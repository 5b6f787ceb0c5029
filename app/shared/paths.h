#pragma once

#include <QChar>
#include <QDir>
#include <QString>

// The separator of paths on this platform ("/" here, "\" on Windows).
inline QChar nativeSeparator() { return QDir::separator(); }

// The user's desktop folder followed by the separator. Throws Failure when
// the platform names no desktop folder.
QString DesktopFolder();

// True when the file system gives a modification time for the path.
bool FileFound(const QString &path);

// The text after the last separator; the whole text when there is none. Where
// the native separator is "\\", "/" separates as well.
QString FileNameOf(const QString &path, QChar separator = nativeSeparator());

// True when the path exists and is a folder; false otherwise, errors included.
bool IsFolder(const QString &path);

// The folder without closing separators; a root keeps its own.
QString withoutClosingSeparator(QString folder);

// Collapses doubled separators in one left-to-right pass (pairs do not
// overlap, so three become two). A path that begins with back-slashes keeps
// exactly two of them (the network-share form); one that begins with "/"
// keeps one (the root).
QString CleanPath(const QString &path, QChar separator = nativeSeparator());
