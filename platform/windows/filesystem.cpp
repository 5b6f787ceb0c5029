#include "platform/files.h"
#include "platform/windows/winfiles.h"

#include <vector>

using namespace Platform::Win;

namespace {

// Windows' names for its file systems, as the name rules of the results
// folder know them from Linux.
struct NameRow {
    const char *windows;
    const char *type;
};
constexpr NameRow kNames[] = {
    {"FAT", "vfat"}, {"FAT12", "vfat"}, {"FAT16", "vfat"}, {"FAT32", "vfat"},
    {"exFAT", "exfat"}, {"NTFS", "ntfs"}, {"ReFS", "refs"}, {"CDFS", "iso9660"}, {"UDF", "udf"},
};

QByteArray typeFor(const QString &name)
{
    for (const NameRow &row : kNames)
        if (name.compare(QLatin1String(row.windows), Qt::CaseInsensitive) == 0)
            return row.type;
    // WinFsp names its FUSE file systems "FUSE" or "FUSE-<subtype>": read as
    // FUSE mounts, whose file numbers are the driver's own.
    if (name.startsWith(QLatin1String("FUSE-"), Qt::CaseInsensitive))
        return "fuse." + name.mid(5).toLower().toUtf8();
    return name.toLower().toUtf8();
}

} // namespace

Platform::FileSystemType Platform::fileSystemOf(int fd)
{
    FileSystemType found;
    const HANDLE handle = handleOf(fd);
    wchar_t name[MAX_PATH + 1] = {};
    if (GetVolumeInformationByHandleW(handle, nullptr, 0, nullptr, nullptr, nullptr, name, MAX_PATH + 1))
        found.type = typeFor(QString::fromWCharArray(name));
    // Where the volume is mounted: "E:\", a mounted folder, "\\server\share\".
    const QString path = finalPathOf(handle);
    if (path.isEmpty())
        return found;
    std::vector<wchar_t> volume(std::size_t(path.size()) + 2);
    if (GetVolumePathNameW(wide(path), volume.data(), DWORD(volume.size())))
        found.source = plainPath(QString::fromWCharArray(volume.data())).toUtf8();
    return found;
}
