#pragma once

#include <QString>
#include <QStringList>

class QProcess;

namespace Platform {

// Before the process starts: it will run a little below the window's
// priority, with the folder held by the descriptor as its working folder
// (whatever that folder is named by then), or not at all; and it ends with
// this program, since a resident ExifTool whose program was killed would
// otherwise wait on its input for ever and keep the results folder's disk
// busy, so a card could not be ejected.
void runInFolder(QProcess &process, int folderDescriptor);

// Whether a tool can be given the folder as its working folder: Windows
// gives none whose path is longer than MAX_PATH (a short 8.3 form may fit).
bool toolCanWorkIn(int folderDescriptor);

// What the tool needs told on this system to take file names as the program
// hands them over.
QStringList toolFileNameArguments();

// How to get the tool on this system, for a message that it is missing.
QString toolInstallHint();

} // namespace Platform
