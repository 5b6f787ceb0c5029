#include "platform/diskstate.h"
#include "platform/windows/winfiles.h"

using namespace Platform::Win;

Platform::DiskState Platform::diskStateOf(int error)
{
    switch (DWORD(error)) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return DiskState::Full;
    case ERROR_WRITE_PROTECT:
        return DiskState::ReadOnly;
    // A card pulled, a stick gone, a share that dropped its connection.
    case ERROR_NOT_READY:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_NO_MEDIA_IN_DRIVE:
    case ERROR_MEDIA_CHANGED:
    case ERROR_NETNAME_DELETED:
    case ERROR_BAD_NETPATH:
    case ERROR_NETWORK_UNREACHABLE:
    case ERROR_UNEXP_NET_ERR:
    case ERROR_CONNECTION_ABORTED:
    case ERROR_SEM_TIMEOUT:
    case ERROR_IO_DEVICE:
    case ERROR_CRC:
        return DiskState::Gone;
    default:
        return DiskState::Answering;
    }
}

Platform::DiskState Platform::diskStateAt(int folder, std::int64_t needed)
{
    const HANDLE handle = handleOf(folder);
    DWORD flags = 0;
    if (!GetVolumeInformationByHandleW(handle, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0))
        return diskStateOf(int(GetLastError()));
    if (flags & FILE_READ_ONLY_VOLUME)
        return DiskState::ReadOnly;
    const QString path = finalPathOf(handle);
    ULARGE_INTEGER available{};
    if (path.isEmpty() || !GetDiskFreeSpaceExW(wide(path), &available, nullptr, nullptr))
        return diskStateOf(int(GetLastError()));
    return std::int64_t(available.QuadPart) < needed ? DiskState::Full : DiskState::Answering;
}
