#include "platform/threadpriority.h"

// A thread's priority is the process's here: lowering it would slow the window too.
void Platform::lowerThisThreadsPriority()
{
}
