#pragma once

#include <QString>

// The user's last choices, kept in the per-user store "Kelvane", group
// "Ostrell". Nothing is cached: every read goes to the store and every change
// is written at once.
namespace Settings {

enum class Key { Combo, Text2, Extension, LastFolder, ValueWay };

// The stored text, or the key's default when it was never written.
QString read(Key key);
void write(Key key, const QString &value);

// Tests keep their settings in a store of their own instead of "Kelvane".
void useStore(const QString &application);
QString currentStore();

// The key's name in the store ("Combo", "Text2", "Extension", "LastFolder",
// "ValueWay": how the value is used).
QString keyName(Key key);

// The default of a key: "Title", the desktop folder with its separator (the
// Pictures folder, else the home folder, when there is no desktop folder),
// "jpg", the empty text and "Write as typed". The folder default may throw Failure.
QString defaultFor(Key key);

} // namespace Settings
