#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <vector>

// A file read one slice at a time into a buffer the caller keeps and reuses,
// so a check costs the slice whatever the file's size: on virtual machines,
// mapping files or fresh memory for each copy costs more in page faults than
// reading into memory already at hand.
class SlicedFile {
public:
    // The slice size used unless a caller asks for another.
    static constexpr std::size_t kDefaultSlice = 256 * 1024;

    // `path` is the native byte path (names need not be valid UTF-8).
    SlicedFile(const QByteArray &path, std::vector<unsigned char> &buffer,
               std::size_t sliceBytes = kDefaultSlice);
    ~SlicedFile();
    SlicedFile(const SlicedFile &) = delete;
    SlicedFile &operator=(const SlicedFile &) = delete;

    // Why the file could not be opened or read, in plain words; empty while it can.
    QString error() const { return m_error; }
    std::size_t size() const { return m_size; }
    std::size_t sliceBytes() const { return m_slice; }

    // The bytes [at, at + length), length at most sliceBytes(); reads a slice
    // from `at` when they are not at hand. Null past the end or when reading
    // fails (then error() says why). Valid until the next call.
    const unsigned char *bytes(std::size_t at, std::size_t length);
    // Where the byte next occurs from `from` on; size() when it does not.
    std::size_t find(unsigned char byte, std::size_t from);
    // False when the file's size is no longer the one it had when opened, or
    // cannot be read any more (error() then says why).
    bool keptItsSize();

private:
    bool readSlice(std::size_t at);

    std::vector<unsigned char> &m_buffer;
    std::size_t m_slice;
    std::size_t m_size = 0;
    std::size_t m_start = 0; // the buffer holds [m_start, m_start + m_held)
    std::size_t m_held = 0;
    QString m_error;
    int m_fd = -1;
};

// True when [aAt, aAt + length) of one file equals [bAt, bAt + length) of the
// other; false also when either runs past its end or cannot be read.
bool sameBytes(SlicedFile &a, std::size_t aAt, SlicedFile &b, std::size_t bAt, std::size_t length);
