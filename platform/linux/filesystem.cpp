#include "platform/files.h"

#include <QFile>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// The types statfs tells apart without a mount table.
struct MagicRow {
    unsigned long magic;
    const char *type;
};
constexpr MagicRow kMagics[] = {
    {0xEF53, "ext4"},       {0x01021994, "tmpfs"},   {0x58465342, "xfs"},
    {0x9123683E, "btrfs"},  {0x4d44, "vfat"},        {0x2011BAB0, "exfat"},
    {0x5346544e, "ntfs"},   {0x7366746e, "ntfs3"},   {0x6969, "nfs"},
    {0xFF534D42, "cifs"},   {0xFE534D42, "smb3"},    {0x65735546, "fuse"},
    {0x794c7630, "overlay"}, {0x2FC12FC1, "zfs"},    {0xF15F, "ecryptfs"},
};

// "\040" and the like, as the mount table writes blanks in paths.
QByteArray unescaped(const QByteArray &field)
{
    QByteArray plain;
    for (int i = 0; i < field.size(); ++i) {
        if (field.at(i) == '\\' && i + 3 < field.size()) {
            plain.append(char(field.mid(i + 1, 3).toInt(nullptr, 8)));
            i += 3;
        } else {
            plain.append(field.at(i));
        }
    }
    return plain;
}

// The mount table's type and source of the mount with this device number.
bool fromMountTable(dev_t device, Platform::FileSystemType *found)
{
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    if (!table.open(QIODevice::ReadOnly))
        return false;
    const QByteArray wanted = QByteArray::number(major(device)) + ':' + QByteArray::number(minor(device));
    bool matched = false;
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        const int dash = int(fields.indexOf("-"));
        if (fields.size() < 3 || fields.at(2) != wanted || dash < 0 || dash + 2 >= fields.size())
            continue;
        // The last mount of the device is the one seen.
        found->type = fields.at(dash + 1);
        found->source = unescaped(fields.at(dash + 2));
        matched = true;
    }
    return matched;
}

// A FUSE driver of a disk (exfat-fuse, ntfs-3g, fusefat) shows only
// "fuseblk": the disk's boot sector says what it holds, where this user may
// read the disk.
QByteArray fromBootSector(const QByteArray &device)
{
    const int fd = ::open(device.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return QByteArray();
    char sector[512] = {};
    const ssize_t got = ::pread(fd, sector, sizeof sector, 0);
    ::close(fd);
    if (got != ssize_t(sizeof sector))
        return QByteArray();
    if (std::memcmp(sector + 3, "EXFAT   ", 8) == 0)
        return "exfat";
    if (std::memcmp(sector + 3, "NTFS    ", 8) == 0)
        return "ntfs";
    if (std::memcmp(sector + 82, "FAT32", 5) == 0 || std::memcmp(sector + 54, "FAT", 3) == 0)
        return "vfat";
    return QByteArray();
}

} // namespace

Platform::FileSystemType Platform::fileSystemOf(int fd)
{
    FileSystemType found;
    struct statfs info {};
    if (::fstatfs(fd, &info) == 0)
        for (const MagicRow &row : kMagics)
            if (static_cast<unsigned long>(info.f_type) == row.magic)
                found.type = row.type;
    struct stat where {};
    if (::fstat(fd, &where) != 0 || !fromMountTable(where.st_dev, &found))
        return found;
    if (found.type == "fuseblk" && found.source.startsWith("/dev/")) {
        const QByteArray disk = fromBootSector(found.source);
        if (!disk.isEmpty())
            found.type = "fuseblk." + disk;
    }
    return found;
}
