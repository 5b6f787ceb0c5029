#include "platform/folderidentity.h"

#include <windows.h>

QByteArray Platform::folderIdentity(const QString &folder)
{
    // The volume's serial number and the file index name a folder whatever
    // junction or link led to it.
    const HANDLE handle = CreateFileW(reinterpret_cast<LPCWSTR>(folder.utf16()), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return QByteArray();
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(handle, &info) != 0;
    CloseHandle(handle);
    if (!known)
        return QByteArray();
    QByteArray key;
    key.append(reinterpret_cast<const char *>(&info.dwVolumeSerialNumber), sizeof info.dwVolumeSerialNumber);
    key.append(reinterpret_cast<const char *>(&info.nFileIndexHigh), sizeof info.nFileIndexHigh);
    key.append(reinterpret_cast<const char *>(&info.nFileIndexLow), sizeof info.nFileIndexLow);
    return key;
}
