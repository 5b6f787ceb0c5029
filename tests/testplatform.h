#pragma once

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <memory>
#include <optional>

class QProcess;

// What tests need of the system beyond Qt, one file per system. Each gives
// false where the system has no such thing, so the test can skip with why.

// Points the program's settings at a store of this test process's own, so
// no test reads or writes the user's real one. Call before the application
// object.
void isolateSettingsStore();
void clearSettingsStore();
// That store as another reader finds it on this system.
std::unique_ptr<QSettings> settingsStoreAsFound();
bool settingsStoreIsIsolated();
// One setting as the system itself keeps it: on Windows, read without Qt, a
// string value (REG_SZ, what GetSetting reads) in the registry key the
// older program used; elsewhere the store's file. Null where the value is
// missing or of another type.
std::optional<QString> settingAsStored(const QString &section, const QString &key);

// Whether a "#!/bin/sh" script with its execute bit runs as a program.
bool shellScriptsRun();
// False where links cannot be made, or are made but do not work as links.
bool makeSymbolicLink(const QString &target, const QString &link);
bool makeNamedPipe(const QString &path);
// The super-user, whom permissions do not stop.
bool runsAsSuperUser();
// Whether file names are bytes that need not be text (POSIX), as opposed to
// UTF-16 text (Windows); the calls below make such names.
bool fileNamesAreBytes();
bool makeFileNamedBytes(const QByteArray &path);
bool makeFolderNamedBytes(const QByteArray &path);
// Renames a file between full paths taken exactly, where the system would
// read a name otherwise (on Windows: "CON.jpg" as a device, "a.jpg." as "a.jpg").
bool renameExactly(const QString &from, const QString &to);

// Another program's handle on a file or folder, as a virus scanner or an
// indexer holds a fresh copy: others may read and write it, not remove or
// rename it. Let go when the result goes; null where the system has no such
// sharing or the path cannot be opened.
std::shared_ptr<void> holdAgainstRemoval(const QString &path);
// Whether the process, once started, would have no console window of its
// own (one that would flash up beside the window).
bool startsWithoutConsoleWindow(QProcess &process);
// Whether every character fits the system's 8-bit code page, the one
// narrow names are converted with (UTF-8 on POSIX systems; the ANSI code
// page on Windows, which holds no emoji).
bool narrowCodePageHoldsEverything();
// Takes the right to read a file or folder away from this user, and gives
// it back; false where permission bits are not enforced this way.
bool withdrawReadPermission(const QString &path);
void restoreReadPermission(const QString &path);
// Whether a folder this program holds open can be renamed meanwhile
// (Windows refuses it).
bool heldFoldersCanBeRenamed();
