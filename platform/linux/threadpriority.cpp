#include "platform/threadpriority.h"

#include <QtGlobal>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

void Platform::lowerThisThreadsPriority()
{
    // Linux gives each thread its own nice value; once per thread is enough.
    static thread_local const bool lowered =
        ::setpriority(PRIO_PROCESS, id_t(::syscall(SYS_gettid)), 5) == 0;
    Q_UNUSED(lowered)
}
