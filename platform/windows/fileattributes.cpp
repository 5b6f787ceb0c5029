#include "platform/fileattributes.h"

#include <windows.h>

int Platform::attributesOf(const QString &path)
{
    const DWORD value = GetFileAttributesW(reinterpret_cast<LPCWSTR>(path.utf16()));
    return value == INVALID_FILE_ATTRIBUTES ? -1 : int(value);
}

int Platform::attributesOf(const QByteArray &nativePath)
{
    return attributesOf(QString::fromUtf8(nativePath));
}
