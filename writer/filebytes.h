#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <vector>

// A whole file read with as few calls as possible into storage the caller
// keeps and reuses: on virtual machines, mapping files or fresh memory for
// each copy costs more in page faults than reading it.
class FileBytes {
public:
    // `path` is the native byte path (names need not be valid UTF-8).
    FileBytes(const QByteArray &path, std::vector<unsigned char> &storage);

    bool isRead() const { return m_error.isEmpty(); }
    // Why the file could not be read, in plain words; empty when it could.
    QString error() const { return m_error; }
    const unsigned char *data() const { return m_storage.data(); }
    std::size_t size() const { return m_size; }

private:
    std::vector<unsigned char> &m_storage;
    std::size_t m_size = 0;
    QString m_error;
};
