#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>

// A whole file mapped read-only into memory, opened by its native byte path
// (names need not be valid UTF-8). Checking a copy reads each file once this
// way instead of through many small reads.
class MappedFile {
public:
    explicit MappedFile(const QByteArray &path);
    ~MappedFile();
    MappedFile(const MappedFile &) = delete;
    MappedFile &operator=(const MappedFile &) = delete;

    bool isOpen() const { return m_error.isEmpty(); }
    // Why the file could not be read, in plain words; empty when it could.
    QString error() const { return m_error; }
    const unsigned char *data() const { return m_data; }
    std::size_t size() const { return m_size; }

private:
    const unsigned char *m_data = nullptr;
    std::size_t m_size = 0;
    QString m_error;
#ifdef Q_OS_WIN
    QByteArray m_buffer;
#endif
};
