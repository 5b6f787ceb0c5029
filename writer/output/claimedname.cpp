#include "writer/output/claimedname.h"

#include <vector>

#include "writer/output/claimjournal.h"
#include "writer/output/runfolder.h"

ClaimedName::ClaimedName(const RunFolder &folder, QByteArray name)
    : m_folder(folder)
    , m_name(std::move(name))
{
}

ClaimedName::~ClaimedName()
{
    if (m_mark.isEmpty())
        return; // never claimed
    if (!m_done) {
        // A half-filled claim is emptied first, so no reader finds part of a copy.
        if (m_fd >= 0 && m_filled && stillHoldsFilled())
            Platform::truncateFile(m_fd, 0);
        const bool ours = stillOurs();
        Platform::closeFile(m_fd);
        m_fd = -1;
        if (ours)
            Platform::removeFileAt(m_folder.resultsDescriptor(), m_name);
        m_folder.journal()->dropped(m_name);
    }
    m_folder.forgetClaim(m_name);
    Platform::closeFile(m_fd);
}

ClaimedName::Made ClaimedName::make(int *error)
{
    ClaimJournal *journal = m_folder.journal();
    const QByteArray mark = ClaimJournal::newMark();
    if (!journal || !journal->intend(m_name, mark)) {
        *error = Platform::lastError();
        return Made::Failed;
    }
    m_fd = Platform::createExclusiveAt(m_folder.resultsDescriptor(), m_name);
    if (m_fd < 0) {
        *error = Platform::lastError();
        journal->dropped(m_name, true);
        return Platform::isTaken(*error) ? Made::Taken : Made::Failed;
    }
    m_mark = mark;
    m_made = Platform::statusOf(m_fd);
    m_folder.rememberClaim(m_name, m_made, m_mark);
    // Unsynced: a claim that loses its mark to a pulled card is still known
    // as an empty file made when the journal says.
    if (!Platform::writeAt(m_fd, m_mark.constData(), std::size_t(m_mark.size()), 0)) {
        *error = Platform::lastError();
        return Made::Failed;
    }
    return Made::Claimed;
}

bool ClaimedName::stillOurs() const
{
    if (m_fd < 0)
        return ClaimJournal::holdsMark(m_folder.resultsDescriptor(), m_name, m_mark);
    const Platform::FileStatus there = Platform::statusAt(m_folder.resultsDescriptor(), m_name);
    if (!there.ok() || there.kind != Platform::FileKind::Regular || !there.sameFileAs(m_made))
        return false;
    // Read by its name: some shares open a new file for writing only.
    return there.size == 0 || ClaimJournal::holdsMark(m_folder.resultsDescriptor(), m_name, m_mark);
}

bool ClaimedName::stillHoldsFilled() const
{
    if (m_fd < 0)
        return false;
    const Platform::FileStatus there = Platform::statusAt(m_folder.resultsDescriptor(), m_name);
    return there.ok() && there.kind == Platform::FileKind::Regular && there.sameFileAs(m_made);
}

bool ClaimedName::renameOver(const QByteArray &output, int *error)
{
    // Closed first: a FUSE file system keeps a file replaced while open under
    // a hidden name, which a card pulled before the close would keep.
    Platform::closeFile(m_fd);
    m_fd = -1;
    if (Platform::renameReplacing(m_folder.runDescriptor(), output, m_folder.resultsDescriptor(), m_name))
        return true;
    *error = Platform::lastError();
    return false;
}

bool ClaimedName::fill(int copy, const QByteArray &output, std::int64_t size, int *error,
                       const std::atomic_bool &stop)
{
    if (!m_folder.journal()->filling(m_name, output)) {
        *error = Platform::lastError();
        return false;
    }
    m_filled = true;
    // The mark goes before the copy's bytes, so the claim never holds a mix.
    if (!Platform::truncateFile(m_fd, 0)) {
        *error = Platform::lastError();
        return false;
    }
    // Small blocks, so a stop is heard between them even on a slow share.
    std::vector<char> block(std::size_t(64) << 10);
    for (std::int64_t at = 0; at < size;) {
        if (stop.load()) {
            *error = 0;
            return false;
        }
        const std::int64_t got = Platform::readAt(copy, block.data(), block.size(), at);
        if (got <= 0 || !Platform::writeAt(m_fd, block.data(), std::size_t(got), at)) {
            *error = got == 0 ? EIO : Platform::lastError();
            return false;
        }
        at += got;
    }
    if (!Platform::syncData(m_fd)) {
        *error = Platform::lastError();
        return false;
    }
    return true;
}

void ClaimedName::finish(bool filled)
{
    m_done = true;
    // Only a filled claim could be taken for an unfinished one after a power
    // cut: its mark must reach the disk.
    m_folder.journal()->finished(m_name, filled);
}

void ClaimedName::letGo()
{
    m_done = true;
    m_folder.journal()->dropped(m_name);
}
