#pragma once

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <memory>

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
