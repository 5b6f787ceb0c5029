#pragma once

#include <QByteArray>
#include <QList>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/files.h"

// What a run found in the results folder of earlier runs that died (a crash,
// a kill, a card pulled): the claims it cleared, and the names it left alone
// because it could not prove them its own.
struct LeftBehind {
    int claimsCleared = 0;
    QList<QByteArray> leftAsTheyAre;
    // This run's own folder, kept because something else held files in it
    // open (a scanner, an indexer); the next run here removes it.
    QByteArray runFolderKept;
    QList<QByteArray> filesKept;
};

// The run's record of the final names it claimed, kept in its run folder, so
// that the next run can remove the claims of one that died, and nothing
// else. Before a name is claimed, the journal holds, synced, the name, the
// time and the mark the claim will carry: a random text nobody else knows.
// Before a claim is filled with a copy's bytes, it holds which copy of the
// run folder they come from. A claim stays recognisable after a crash, a
// pull or a remount, where file numbers change: by its mark, by being empty
// and made at that time, or by holding the first part of that copy.
//
// Blocks on the file system: worker threads only. Safe from several threads.
class ClaimJournal {
public:
    ~ClaimJournal();
    ClaimJournal(const ClaimJournal &) = delete;
    ClaimJournal &operator=(const ClaimJournal &) = delete;

    static std::unique_ptr<ClaimJournal> create(int runFolder);
    // A fresh mark for a claim.
    static QByteArray newMark();
    // The mark a regular file of this user holds, as all it holds; empty for any other.
    static QByteArray markThere(int folder, const QByteArray &name);
    static bool holdsMark(int folder, const QByteArray &name, const QByteArray &mark)
    {
        return !mark.isEmpty() && markThere(folder, name) == mark;
    }

    bool intend(const QByteArray &name, const QByteArray &mark); // synced before the claim is made
    bool filling(const QByteArray &name, const QByteArray &output); // synced before the first byte goes in
    bool finished(const QByteArray &name, bool sync);
    // Synced where the name turned out taken: the next run must not take
    // the file there for a claim of this one.
    void dropped(const QByteArray &name, bool sync = false);
    // At the end of the run; a publication given up on may still write to
    // it, and then writes nothing.
    void close();

    // What a run's journal says of each name it meant to claim, in order.
    struct Entry {
        QByteArray name;
        QByteArray mark;         // empty in journals of earlier versions
        std::int64_t intendedAt = 0; // seconds since the epoch
        bool claimed = false;    // earlier versions: the claim's file number and time follow
        std::uint64_t inode = 0;
        std::int64_t modified = 0;
        bool filling = false;
        QByteArray fillingFrom;  // the copy in the run folder
        bool done = false;       // finished, or found taken
    };
    static QList<Entry> read(int runFolder);

private:
    explicit ClaimJournal(int fd) : m_fd(fd) {}
    bool append(const QByteArray &line, bool sync);

    int m_fd;
    std::int64_t m_end = 0;
    std::mutex m_lock;
};
