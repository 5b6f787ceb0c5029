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
    if (m_fd < 0)
        return;
    if (!m_done) {
        // A half-filled claim is emptied first, so no reader finds part of a copy.
        if (m_filled && stillHoldsFilled())
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
    if (!journal || !journal->intend(m_name)) {
        *error = Platform::lastError();
        return Made::Failed;
    }
    m_fd = Platform::createExclusiveAt(m_folder.resultsDescriptor(), m_name);
    if (m_fd < 0) {
        *error = Platform::lastError();
        journal->dropped(m_name);
        return Platform::isTaken(*error) ? Made::Taken : Made::Failed;
    }
    m_made = Platform::statusOf(m_fd);
    journal->claimed(m_name, m_made);
    m_folder.rememberClaim(m_name, m_made);
    return Made::Claimed;
}

bool ClaimedName::stillOurs() const
{
    const Platform::FileStatus there = Platform::statusAt(m_folder.resultsDescriptor(), m_name);
    return there.ok() && there.kind == Platform::FileKind::Regular && there.sameFileAs(m_made)
        && there.size == 0;
}

bool ClaimedName::stillHoldsFilled() const
{
    const Platform::FileStatus there = Platform::statusAt(m_folder.resultsDescriptor(), m_name);
    return there.ok() && there.kind == Platform::FileKind::Regular && there.sameFileAs(m_made);
}

bool ClaimedName::renameOver(const QByteArray &output, int *error)
{
    if (Platform::renameReplacing(m_folder.runDescriptor(), output, m_folder.resultsDescriptor(), m_name))
        return true;
    *error = Platform::lastError();
    return false;
}

bool ClaimedName::fill(int copy, std::int64_t size, int *error, const std::atomic_bool &stop)
{
    if (!m_folder.journal()->filling(m_name)) {
        *error = Platform::lastError();
        return false;
    }
    m_filled = true;
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
