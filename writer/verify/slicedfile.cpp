#include "writer/verify/slicedfile.h"

#include <algorithm>
#include <cstring>

#include "platform/files.h"
#include "writer/report/reasons.h"

namespace {

// The longest run of bytes a reader asks for at once, besides whole slices.
constexpr std::size_t kSmallestSlice = 8;

} // namespace

SlicedFile::SlicedFile(const QByteArray &path, std::vector<unsigned char> &buffer,
                       std::size_t sliceBytes)
    : m_buffer(buffer), m_slice(std::max(sliceBytes, kSmallestSlice))
{
    // Never waiting, so a named pipe put in place of a file cannot hang the
    // worker in the opening; regular files read the same either way.
    m_fd = Platform::openForReading(path);
    if (m_fd < 0) {
        m_error = systemWords(Platform::lastError());
        return;
    }
    const Platform::FileStatus status = Platform::statusForReading(m_fd);
    if (!status.ok() || status.kind != Platform::FileKind::Regular) {
        m_error = because(Reason::NotRegularFile);
        return;
    }
    m_size = std::size_t(status.size);
}

SlicedFile::~SlicedFile()
{
    Platform::closeFile(m_fd);
}

bool SlicedFile::readSlice(std::size_t at)
{
    const std::size_t length = std::min(m_slice, m_size - at);
    if (m_buffer.size() < length)
        m_buffer.resize(length);
    m_held = 0;
    std::size_t done = 0;
    while (done < length) {
        const std::int64_t got =
            Platform::readAt(m_fd, m_buffer.data() + done, length - done, std::int64_t(at + done));
        if (got < 0) {
            m_error = systemWords(Platform::lastError());
            return false;
        }
        if (got == 0) {
            m_error = because(Reason::ChangedWhileRead);
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
    if (m_fd < 0)
        return false;
    const Platform::FileStatus status = Platform::statusForReading(m_fd);
    if (!status.ok() && m_error.isEmpty())
        m_error = systemWords(status.error); // a disk gone is no change of the file
    return status.ok() && std::size_t(status.size) == m_size;
}

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
