#pragma once

#include <QByteArray>
#include <atomic>

#include "platform/files.h"

class RunFolder;

// A final name held for a copy where the results folder can neither rename
// without replacing nor link: the name is created exclusively, holding a mark
// recorded first in the run's journal, and the copy then takes the place of
// that claim only while it is still this run's claim. A claim that is not
// finished goes again when this object does, on the same condition.
//
// Blocks on the file system: worker threads only.
class ClaimedName {
public:
    ClaimedName(const RunFolder &folder, QByteArray name);
    ~ClaimedName();
    ClaimedName(const ClaimedName &) = delete;
    ClaimedName &operator=(const ClaimedName &) = delete;

    enum class Made { Claimed, Taken, Failed };
    Made make(int *error);

    // The name still holds the claim this run made, unfilled.
    bool stillOurs() const;
    // The copy renamed over the claim, when stillOurs().
    bool renameOver(const QByteArray &output, int *error);
    // The copy's bytes written into the claim through the held descriptor,
    // and synced; it still needs checking. `output` names the copy in the
    // run folder, for the journal. False, at once, when `stop` is set.
    bool fill(int copy, const QByteArray &output, std::int64_t size, int *error, const std::atomic_bool &stop);
    // The name still holds the claim, now filled.
    bool stillHoldsFilled() const;
    int descriptor() const { return m_fd; }
    // The copy under the name is whole, synced and checked.
    void finish(bool filled);
    // Whatever is under the name now is not this run's to remove.
    void letGo();

private:
    const RunFolder &m_folder;
    QByteArray m_name;
    QByteArray m_mark;
    int m_fd = -1;
    Platform::FileStatus m_made;
    bool m_filled = false;
    bool m_done = false;
};
