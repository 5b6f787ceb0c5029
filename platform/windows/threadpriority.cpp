#include "platform/threadpriority.h"

#include <QtGlobal>
#include <windows.h>

void Platform::lowerThisThreadsPriority()
{
    // Windows gives each thread its own priority; once per thread is enough.
    static thread_local const bool lowered =
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL) != 0;
    Q_UNUSED(lowered)
}
