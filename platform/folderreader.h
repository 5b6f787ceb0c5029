#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

namespace Platform {

// Why a folder could not be listed, as far as the folder rules care.
enum class ListingError { None, Denied, NotFound, Other };

// Walks one folder's entries, "." and ".." left out, in the order the file
// system gives them. The entry's kind comes with the listing where the system
// gives it, and the open test goes relative to the open folder, which keeps
// the scan of a large tree down to the calls it cannot avoid.
class FolderReader {
public:
    explicit FolderReader(const QString &folder);
    ~FolderReader();
    FolderReader(const FolderReader &) = delete;
    FolderReader &operator=(const FolderReader &) = delete;

    // Moves to the next entry; false at the end or on an error.
    bool next();
    QString name() const;
    QByteArray nativeName() const; // the file system's own bytes
    bool nameIsText() const;       // false when the bytes are no valid text
    // What the entry names, links followed.
    bool isFolder();
    bool isRegularFile();
    // The open test of the entry (see opentest.h).
    bool opensAsFile() const;
    ListingError error() const;
    QString errorText() const;

private:
    struct State;
    std::unique_ptr<State> m;
};

} // namespace Platform
