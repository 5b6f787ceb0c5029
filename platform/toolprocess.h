#pragma once

#include <QString>
#include <QStringList>
#include <functional>

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
// Waits, on any thread, until an ended tool and every process it started
// are gone, so that none holds a file open any more; true when they went
// within the time given.
using ToolGone = std::function<bool(int timeoutMs)>;
// Ends the tool at once, with every process it started (ExifTool for
// Windows runs its Perl as a second process, which would otherwise write on).
ToolGone endTool(QProcess &process);

// What the tool needs told on this system to take file names as the program
// hands them over.
QStringList toolFileNameArguments();

// How to get the tool on this system, for a message that it is missing.
QString toolInstallHint();

} // namespace Platform
