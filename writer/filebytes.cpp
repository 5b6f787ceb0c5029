#include "writer/filebytes.h"

#include <QFile>

#ifndef Q_OS_WIN
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifdef Q_OS_WIN

FileBytes::FileBytes(const QByteArray &path, std::vector<unsigned char> &storage)
    : m_storage(storage)
{
    QFile file(QFile::decodeName(path));
    if (!file.open(QIODevice::ReadOnly)) {
        m_error = file.errorString();
        return;
    }
    m_storage.resize(std::size_t(file.size()));
    const qint64 got = file.read(reinterpret_cast<char *>(m_storage.data()), file.size());
    if (got < 0)
        m_error = file.errorString();
    else
        m_size = std::size_t(got);
}

#else

FileBytes::FileBytes(const QByteArray &path, std::vector<unsigned char> &storage)
    : m_storage(storage)
{
    // Non-blocking, so a named pipe put in place of a file cannot hang the
    // worker in open(); regular files read the same either way.
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
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
    // One byte more than the size reveals a file that grew meanwhile.
    const std::size_t expected = std::size_t(info.st_size);
    if (m_storage.size() < expected + 1)
        m_storage.resize(expected + 1);
    while (m_size <= expected) {
        const ssize_t got = ::read(fd, m_storage.data() + m_size, expected + 1 - m_size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            m_error = QString::fromLocal8Bit(std::strerror(errno));
            break;
        }
        if (got == 0)
            break;
        m_size += std::size_t(got);
    }
    if (m_error.isEmpty() && m_size != expected)
        m_error = QStringLiteral("it changed while being read");
    ::close(fd);
}

#endif
