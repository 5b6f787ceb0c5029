#include "platform/displaysetup.h"

void Platform::prepareDisplay()
{
}
