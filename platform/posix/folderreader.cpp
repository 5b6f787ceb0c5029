#include "platform/folderreader.h"
#include "platform/posix/opentestflags.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <dirent.h>

struct Platform::FolderReader::State {
    DIR *dir = nullptr;
    int error = 0;
    dirent *entry = nullptr;
    int type = -1; // what the entry names, links followed; 0 when unknown

    int followedType()
    {
        if (type >= 0)
            return type;
        switch (entry->d_type) {
        case DT_DIR:
            return type = S_IFDIR;
        case DT_REG:
            return type = S_IFREG;
        case DT_LNK:
        case DT_UNKNOWN: {
            struct stat info {};
            type = ::fstatat(::dirfd(dir), entry->d_name, &info, 0) == 0 ? int(info.st_mode & S_IFMT) : 0;
            return type;
        }
        default:
            return type = 0;
        }
    }
};

Platform::FolderReader::FolderReader(const QString &folder)
    : m(std::make_unique<State>())
{
    m->dir = ::opendir(QFile::encodeName(folder).constData());
    m->error = m->dir ? 0 : errno;
}

Platform::FolderReader::~FolderReader()
{
    if (m->dir)
        ::closedir(m->dir);
}

bool Platform::FolderReader::next()
{
    if (!m->dir || m->error)
        return false;
    for (;;) {
        errno = 0;
        m->entry = ::readdir(m->dir);
        if (!m->entry) {
            m->error = errno;
            return false;
        }
        const char *n = m->entry->d_name;
        if (!(n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))))
            break;
    }
    m->type = -1;
    return true;
}

QString Platform::FolderReader::name() const
{
    return QString::fromUtf8(m->entry->d_name);
}

QByteArray Platform::FolderReader::nativeName() const
{
    return QByteArray(m->entry->d_name);
}

bool Platform::FolderReader::nameIsText() const
{
    return QUtf8StringView(m->entry->d_name).isValidUtf8();
}

bool Platform::FolderReader::isFolder()
{
    return m->followedType() == S_IFDIR;
}

bool Platform::FolderReader::isRegularFile()
{
    return m->followedType() == S_IFREG;
}

bool Platform::FolderReader::opensAsFile() const
{
    return openedRegularFile(::openat(::dirfd(m->dir), m->entry->d_name, OpenTestFlags));
}

Platform::ListingError Platform::FolderReader::error() const
{
    switch (m->error) {
    case 0:
        return ListingError::None;
    case EACCES:
    case EPERM:
        return ListingError::Denied;
    case ENOENT:
    case ENOTDIR:
        return ListingError::NotFound;
    default:
        return ListingError::Other;
    }
}

QString Platform::FolderReader::errorText() const
{
    return QString::fromLocal8Bit(std::strerror(m->error));
}
