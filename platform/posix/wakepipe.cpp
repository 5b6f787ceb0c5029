#include "platform/wakepipe.h"

#include <QtGlobal>
#include <fcntl.h>
#include <unistd.h>

Platform::WakePipe::WakePipe()
{
    // Made on the main thread, which is also where the tools are started, so
    // no tool inherits an end between these calls.
    if (::pipe(m_ends) != 0)
        qFatal("no pipe for worker results");
    for (int end : m_ends) {
        ::fcntl(end, F_SETFD, FD_CLOEXEC);
        ::fcntl(end, F_SETFL, ::fcntl(end, F_GETFL) | O_NONBLOCK);
    }
}

Platform::WakePipe::~WakePipe()
{
    for (int end : m_ends)
        ::close(end);
}

void Platform::WakePipe::wake()
{
    // A full pipe already holds a wake-up.
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_ends[1], &byte, 1);
}

void Platform::WakePipe::drain()
{
    char bytes[256];
    while (::read(m_ends[0], bytes, sizeof bytes) > 0) {
    }
}
