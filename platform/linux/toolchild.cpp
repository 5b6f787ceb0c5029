#include "platform/posix/toolchild.h"

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

void Platform::endWithThisProgram()
{
    const pid_t parent = ::getppid();
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The program may have ended before the line above.
    if (::getppid() != parent)
        ::_exit(127);
}
