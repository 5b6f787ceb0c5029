#pragma once

#include <QSettings>
#include <QString>

namespace Platform {

// The current user's store of settings named `application`, where this
// system keeps such settings: on Linux ~/.config/<application>.conf; on
// Windows the registry key HKEY_CURRENT_USER\Software\VB and VBA Program
// Settings\<application>, where the older program's GetSetting and
// SaveSetting kept them, so the choices a user saved there carry over.
QSettings settingsStore(const QString &application);

} // namespace Platform
