#include "platform/settingsstore.h"

QSettings Platform::settingsStore(const QString &application)
{
    return QSettings(QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\") + application,
                     QSettings::NativeFormat);
}
