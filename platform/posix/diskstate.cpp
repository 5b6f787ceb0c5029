#include "platform/diskstate.h"

#include <cerrno>
#include <sys/statvfs.h>

Platform::DiskState Platform::diskStateOf(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return DiskState::Full;
    case EROFS:
        return DiskState::ReadOnly;
    // A card pulled or a share gone: the driver answers one of these, a FUSE
    // mount whose server ended answers ENOTCONN, or ECONNABORTED to a call
    // that was under way.
    case ENOTCONN:
    case ECONNABORTED:
    case ENODEV:
    case EIO:
    case ESHUTDOWN:
    case ENXIO:
        return DiskState::Gone;
    default:
        return DiskState::Answering;
    }
}

Platform::DiskState Platform::diskStateAt(int folder, std::int64_t needed)
{
    struct statvfs info {};
    if (::fstatvfs(folder, &info) != 0)
        return diskStateOf(errno);
    if (info.f_flag & ST_RDONLY)
        return DiskState::ReadOnly;
    const auto free = std::int64_t(info.f_bavail) * std::int64_t(info.f_frsize);
    return free < needed ? DiskState::Full : DiskState::Answering;
}
