#include "writer/slicedfile.h"

#include <algorithm>
#include <cstring>

#ifndef Q_OS_WIN
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// The longest run of bytes a reader asks for at once, besides whole slices.
constexpr std::size_t kSmallestSlice = 8;

} // namespace

#ifdef Q_OS_WIN

SlicedFile::SlicedFile(const QByteArray &path, std::vector<unsigned char> &buffer,
                       std::size_t sliceBytes)
    : m_buffer(buffer), m_slice(std::max(sliceBytes, kSmallestSlice)), m_file(QFile::decodeName(path))
{
    if (!m_file.open(QIODevice::ReadOnly))
        m_error = m_file.errorString();
    else
        m_size = std::size_t(m_file.size());
}

SlicedFile::~SlicedFile() = default;

bool SlicedFile::readSlice(std::size_t at)
{
    const std::size_t length = std::min(m_slice, m_size - at);
    if (m_buffer.size() < length)
        m_buffer.resize(length);
    m_held = 0;
    if (!m_file.seek(qint64(at))) {
        m_error = m_file.errorString();
        return false;
    }
    const qint64 got = m_file.read(reinterpret_cast<char *>(m_buffer.data()), qint64(length));
    if (got < 0) {
        m_error = m_file.errorString();
        return false;
    }
    if (std::size_t(got) != length) {
        m_error = QStringLiteral("it changed while being read");
        return false;
    }
    m_start = at;
    m_held = length;
    return true;
}

bool SlicedFile::keptItsSize()
{
    return std::size_t(m_file.size()) == m_size;
}

#else

SlicedFile::SlicedFile(const QByteArray &path, std::vector<unsigned char> &buffer,
                       std::size_t sliceBytes)
    : m_buffer(buffer), m_slice(std::max(sliceBytes, kSmallestSlice))
{
    // Non-blocking, so a named pipe put in place of a file cannot hang the
    // worker in open(); regular files read the same either way.
    m_fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (m_fd < 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    struct stat info {};
    if (::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        m_error = QStringLiteral("not a regular file");
        return;
    }
    m_size = std::size_t(info.st_size);
}

SlicedFile::~SlicedFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool SlicedFile::readSlice(std::size_t at)
{
    const std::size_t length = std::min(m_slice, m_size - at);
    if (m_buffer.size() < length)
        m_buffer.resize(length);
    m_held = 0;
    std::size_t done = 0;
    while (done < length) {
        const ssize_t got = ::pread(m_fd, m_buffer.data() + done, length - done, off_t(at + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            m_error = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        if (got == 0) {
            m_error = QStringLiteral("it changed while being read");
            return false;
        }
        done += std::size_t(got);
    }
    m_start = at;
    m_held = length;
    return true;
}

bool SlicedFile::keptItsSize()
{
    struct stat info {};
    return m_fd >= 0 && ::fstat(m_fd, &info) == 0 && std::size_t(info.st_size) == m_size;
}

#endif

const unsigned char *SlicedFile::bytes(std::size_t at, std::size_t length)
{
    if (!m_error.isEmpty() || length > m_slice || at > m_size || length > m_size - at)
        return nullptr;
    if (at < m_start || at + length > m_start + m_held) {
        if (!readSlice(at))
            return nullptr;
    }
    return m_buffer.data() + (at - m_start);
}

std::size_t SlicedFile::find(unsigned char byte, std::size_t from)
{
    while (from < m_size && m_error.isEmpty()) {
        // What the buffer holds already is searched before anything is read.
        if ((from < m_start || from >= m_start + m_held) && !readSlice(from))
            break;
        const std::size_t held = m_start + m_held - from;
        const unsigned char *slice = m_buffer.data() + (from - m_start);
        if (const void *found = std::memchr(slice, byte, held))
            return from + std::size_t(static_cast<const unsigned char *>(found) - slice);
        from += held;
    }
    return m_size;
}

bool sameBytes(SlicedFile &a, std::size_t aAt, SlicedFile &b, std::size_t bAt, std::size_t length)
{
    const std::size_t step = std::min(a.sliceBytes(), b.sliceBytes());
    for (std::size_t done = 0; done < length;) {
        const std::size_t part = std::min(step, length - done);
        const unsigned char *x = a.bytes(aAt + done, part);
        const unsigned char *y = b.bytes(bAt + done, part);
        if (!x || !y || std::memcmp(x, y, part) != 0)
            return false;
        done += part;
    }
    return true;
}
