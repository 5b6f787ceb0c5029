#include "platform/posix/toolchild.h"

#include <cerrno>
#include <csignal>
#include <memory>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

void Platform::endWithThisProgram()
{
    const pid_t parent = ::getppid();
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The program may have ended before the line above.
    if (::getppid() != parent)
        ::_exit(127);
}

// A process descriptor reads as ready once the process has ended, which it
// does after closing its files; the reaping stays with QProcess.
std::function<bool(int)> Platform::watchForEnd(long long processId)
{
    const int descriptor = int(::syscall(SYS_pidfd_open, pid_t(processId), 0));
    if (descriptor < 0) // a kernel before 5.3
        return [](int) { return true; };
    const auto held = std::shared_ptr<int>(new int(descriptor), [](int *fd) {
        ::close(*fd);
        delete fd;
    });
    return [held](int timeoutMs) {
        pollfd watched{*held, POLLIN, 0};
        int ready;
        do
            ready = ::poll(&watched, 1, timeoutMs);
        while (ready < 0 && errno == EINTR);
        return ready > 0;
    };
}
