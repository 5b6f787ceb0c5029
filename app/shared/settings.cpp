#include "app/shared/settings.h"

#include <QSettings>
#include <QStandardPaths>

#include "app/shared/paths.h"
#include "platform/settingsstore.h"

namespace Settings {
namespace {

struct KeyInfo {
    Key key;
    const char *name;
};

// Every setting the program keeps.
constexpr KeyInfo Keys[] = {
    {Key::Combo, "Combo"},
    {Key::Text2, "Text2"},
    {Key::Extension, "Extension"},
    {Key::LastFolder, "LastFolder"},
    {Key::ValueWay, "ValueWay"},
};

QString storedKey(Key key)
{
    return QStringLiteral("Ostrell/") + keyName(key);
}

QString &storeName()
{
    static QString name = QStringLiteral("Kelvane");
    return name;
}

QSettings store()
{
    return Platform::settingsStore(storeName());
}

// Many Linux systems have no desktop folder; a first run must not start on a
// folder that does not exist.
QString defaultResultsFolder()
{
    const QString desktop = DesktopFolder();
    if (IsFolder(desktop))
        return desktop;
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    const QString fallback = IsFolder(pictures) ? pictures : QDir::homePath();
    const QString folder = QDir::toNativeSeparators(fallback);
    return folder.endsWith(nativeSeparator()) ? folder : folder + nativeSeparator();
}

} // namespace

void useStore(const QString &application)
{
    storeName() = application;
}

QString currentStore()
{
    return storeName();
}

QString keyName(Key key)
{
    for (const KeyInfo &info : Keys)
        if (info.key == key)
            return QString::fromLatin1(info.name);
    return QString();
}

QString defaultFor(Key key)
{
    switch (key) {
    case Key::Combo:
        return QStringLiteral("Title");
    case Key::Text2:
        return defaultResultsFolder();
    case Key::Extension:
        return QStringLiteral("jpg");
    case Key::LastFolder:
        break;
    case Key::ValueWay:
        return QStringLiteral("Write as typed");
    }
    return QString();
}

QString read(Key key)
{
    const QSettings settings = store();
    const QVariant value = settings.value(storedKey(key));
    return value.isValid() ? value.toString() : defaultFor(key);
}

void write(Key key, const QString &value)
{
    QSettings settings = store();
    settings.setValue(storedKey(key), value);
    settings.sync();
}

} // namespace Settings
