#pragma once

class QProcess;

namespace Platform {

// Before the process starts: it will run a little below the window's
// priority, with the folder held by the descriptor as its working folder
// (whatever that folder is named by then), or not at all.
// In a tool's process before it starts: a resident ExifTool whose program
// was killed would otherwise wait on its input for ever, and keep the
// results folder's disk busy, so a card could not be ejected.
void endWithThisProgram();

void runInFolder(QProcess &process, int folderDescriptor);

} // namespace Platform
