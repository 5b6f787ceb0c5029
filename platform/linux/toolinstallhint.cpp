#include "platform/toolprocess.h"

QString Platform::toolInstallHint()
{
    return QStringLiteral("Please install it (on Debian or Ubuntu: "
                          "sudo apt install libimage-exiftool-perl) and try again.");
}
