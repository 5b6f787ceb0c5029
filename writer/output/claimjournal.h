#pragma once

#include <QByteArray>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/files.h"

// The run's record of the final names it claimed, kept in its run folder, so
// that the next run can remove the claims of one that crashed, and nothing
// else. A name is written, and synced, before it is claimed; then what the
// claim is (its file number and time), whether it is being filled, and when
// it holds a whole, synced and checked copy.
//
// Blocks on the file system: worker threads only. Safe from several threads.
class ClaimJournal {
public:
    ~ClaimJournal();
    ClaimJournal(const ClaimJournal &) = delete;
    ClaimJournal &operator=(const ClaimJournal &) = delete;

    static std::unique_ptr<ClaimJournal> create(int runFolder);

    bool intend(const QByteArray &name); // synced before the claim is made
    void claimed(const QByteArray &name, const Platform::FileStatus &claim);
    bool filling(const QByteArray &name);  // synced before the first byte goes in
    bool finished(const QByteArray &name, bool sync);
    void dropped(const QByteArray &name);
    // At the end of the run; a publication given up on may still write to
    // it, and then writes nothing.
    void close();

    // A dead run's claims that its journal does not mark finished, removed
    // from the results folder while they are still the files it made: the
    // same file number, or, where the file system numbers files anew at
    // each mount, still empty and of the same time.
    static void sweep(int deadRunFolder, int results, bool stableFileNumbers);

private:
    explicit ClaimJournal(int fd) : m_fd(fd) {}
    bool append(const QByteArray &line, bool sync);

    int m_fd;
    std::int64_t m_end = 0;
    std::mutex m_lock;
};
