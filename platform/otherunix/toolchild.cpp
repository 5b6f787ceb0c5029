#include "platform/posix/toolchild.h"

// These systems give a child no notice of its parent's end.
void Platform::endWithThisProgram()
{
}

// No descriptor for a process here. Files held open never stop their
// removal on these systems, and a killed tool writes nothing more.
std::function<bool(int)> Platform::watchForEnd(long long)
{
    return [](int) { return true; };
}
