#include "writer/mappedfile.h"

#ifdef Q_OS_WIN
#include <QFile>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifdef Q_OS_WIN

MappedFile::MappedFile(const QByteArray &path)
{
    QFile file(QFile::decodeName(path));
    if (!file.open(QIODevice::ReadOnly)) {
        m_error = file.errorString();
        return;
    }
    m_buffer = file.readAll();
    m_data = reinterpret_cast<const unsigned char *>(m_buffer.constData());
    m_size = std::size_t(m_buffer.size());
}

MappedFile::~MappedFile() = default;

#else

MappedFile::MappedFile(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        m_error = QStringLiteral("not a regular file");
        ::close(fd);
        return;
    }
    m_size = std::size_t(info.st_size);
    if (m_size > 0) {
        void *mapped = ::mmap(nullptr, m_size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (mapped == MAP_FAILED) {
            m_error = QString::fromLocal8Bit(std::strerror(errno));
            m_size = 0;
        } else {
            m_data = static_cast<const unsigned char *>(mapped);
        }
    }
    ::close(fd);
}

MappedFile::~MappedFile()
{
    if (m_data)
        ::munmap(const_cast<unsigned char *>(m_data), m_size);
}

#endif
