#include "platform/toolprocess.h"

QString Platform::toolInstallHint()
{
    return QStringLiteral("Please install it (from https://exiftool.org) and try again.");
}
