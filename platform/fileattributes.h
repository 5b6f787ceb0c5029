#pragma once

#include <QByteArray>
#include <QString>

// File attribute values as the folder rules know them. Windows gives them as
// they are; elsewhere they are mapped: folder 16; hidden 2 for a name that
// begins with "."; archive 32 for every regular file; reparse point 1024 for
// a symbolic link; system 4 never.
namespace Attr {
inline constexpr int Hidden = 2;
inline constexpr int System = 4;
inline constexpr int Folder = 16;
inline constexpr int Archive = 32;
inline constexpr int ReparsePoint = 1024;
} // namespace Attr

namespace Platform {

// The attribute value of a path (a closing separator allowed, and a link
// described as a link); -1 when it cannot be read.
int attributesOf(const QString &path);
int attributesOf(const QByteArray &nativePath);

} // namespace Platform
