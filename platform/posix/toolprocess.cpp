#include "platform/toolprocess.h"
#include "platform/posix/toolchild.h"

#include <QProcess>
#include <unistd.h>

void Platform::runInFolder(QProcess &process, int folderDescriptor)
{
    process.setChildProcessModifier([folderDescriptor] {
        // The tools keep every core busy; a little lower priority keeps the
        // window quick to answer meanwhile.
        (void)::nice(5);
        // Never let a tool write relative names anywhere but where it was sent.
        if (folderDescriptor >= 0 && ::fchdir(folderDescriptor) != 0)
            ::_exit(127);
        endWithThisProgram();
    });
}

Platform::ToolGone Platform::endTool(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return [](int) { return true; };
    // Watched before the kill, while QProcess has not reaped it: the number
    // still names this process.
    ToolGone gone = watchForEnd(process.processId());
    process.kill();
    return gone;
}

QStringList Platform::toolFileNameArguments()
{
    // Names are bytes here, and reach the tool as they are.
    return {};
}

bool Platform::toolCanWorkIn(int)
{
    return true;
}
