#pragma once

class QProcess;

namespace Platform {

// Before the process starts: it will run a little below the window's
// priority, with the folder held by the descriptor as its working folder
// (whatever that folder is named by then), or not at all.
void runInFolder(QProcess &process, int folderDescriptor);

} // namespace Platform
