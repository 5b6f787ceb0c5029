#include "platform/posix/toolchild.h"

// These systems give a child no notice of its parent's end.
void Platform::endWithThisProgram()
{
}
