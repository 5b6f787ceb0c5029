#include "platform/settingsstore.h"

QSettings Platform::settingsStore(const QString &application)
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, application);
}
