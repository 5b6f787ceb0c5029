#include "writer/output/claimsweep.h"

#include <QSet>
#include <cstdlib>
#include <vector>

namespace {

// FAT keeps times to two seconds; the claim follows its synced intent
// within the time a stalled disk is given.
constexpr std::int64_t TimeSlackSeconds = 2;
constexpr std::int64_t ClaimLagSeconds = 150;

const QByteArray FuseHiddenPrefix(".fuse_hidden");

enum class Part { None, Prefix, Whole };

// What the file under `name` holds of the copy: the copy's first bytes, in
// place, where a pulled disk may have kept zeros for what it had not
// written yet; or all of it.
Part partOfCopy(int results, const QByteArray &name, int runFolder, const QByteArray &copyName)
{
    const Platform::FileHandle there(Platform::openForReadingAt(results, name));
    const Platform::FileHandle copy(Platform::openForReadingAt(runFolder, copyName));
    if (!there.isOpen() || !copy.isOpen())
        return Part::None;
    const Platform::FileStatus thereInfo = Platform::statusOf(there.get());
    const Platform::FileStatus copyInfo = Platform::statusOf(copy.get());
    if (!thereInfo.ok() || !copyInfo.ok() || copyInfo.kind != Platform::FileKind::Regular
        || thereInfo.size > copyInfo.size)
        return Part::None;
    std::vector<char> a(std::size_t(1) << 20), b(a.size());
    bool exact = true;
    for (std::int64_t at = 0; at < thereInfo.size;) {
        const std::int64_t got = Platform::readAt(there.get(), a.data(), a.size(), at);
        if (got <= 0 || Platform::readAt(copy.get(), b.data(), std::size_t(got), at) != got)
            return Part::None;
        for (std::int64_t i = 0; i < got; ++i) {
            if (a[std::size_t(i)] == b[std::size_t(i)])
                continue;
            if (a[std::size_t(i)] != 0)
                return Part::None;
            exact = false;
        }
        at += got;
    }
    return exact && thereInfo.size == copyInfo.size ? Part::Whole : Part::Prefix;
}

bool madeByEarlierVersion(const ClaimJournal::Entry &entry, const Platform::FileStatus &there,
                          bool stableFileNumbers)
{
    if (!entry.claimed)
        return false;
    return stableFileNumbers
        ? there.inode == entry.inode && (there.size == 0 || entry.filling)
        : there.size == 0 && std::llabs(there.modifiedSeconds - entry.modified) <= TimeSlackSeconds;
}

bool emptyFromThen(const ClaimJournal::Entry &entry, const Platform::FileStatus &there)
{
    return there.size == 0 && there.modifiedSeconds >= entry.intendedAt - TimeSlackSeconds
        && there.modifiedSeconds <= entry.intendedAt + ClaimLagSeconds;
}

} // namespace

void sweepDeadClaims(int deadRunFolder, int results, bool stableFileNumbers, LeftBehind *found)
{
    const QList<ClaimJournal::Entry> entries = ClaimJournal::read(deadRunFolder);
    QSet<QByteArray> marks;
    for (const ClaimJournal::Entry &entry : entries) {
        if (!entry.mark.isEmpty())
            marks.insert(entry.mark);
        const Platform::FileStatus there = Platform::statusAt(results, entry.name);
        if (entry.done)
            continue;
        if (!there.ok() || there.kind != Platform::FileKind::Regular || !there.ownedByUser)
            continue;
        bool ours = false;
        if (entry.mark.isEmpty()) {
            ours = madeByEarlierVersion(entry, there, stableFileNumbers);
        } else if (ClaimJournal::holdsMark(results, entry.name, entry.mark)) {
            ours = true;
        } else if (entry.filling) {
            // Filling began only once the claim was made: an empty file is
            // its claim, a part of the copy is its unfinished fill.
            const Part part = there.size == 0 ? Part::Prefix
                                              : partOfCopy(results, entry.name, deadRunFolder, entry.fillingFrom);
            if (part == Part::Whole)
                continue;
            ours = part == Part::Prefix;
            if (!ours)
                found->leftAsTheyAre.append(entry.name);
        } else {
            // The mark may not have reached the disk before it was pulled.
            ours = emptyFromThen(entry, there);
        }
        if (ours && Platform::removeFileAt(results, entry.name))
            ++found->claimsCleared;
    }
    if (marks.isEmpty())
        return;
    for (const QByteArray &name : Platform::namesIn(results)) {
        if (!name.startsWith(FuseHiddenPrefix))
            continue;
        if (marks.contains(ClaimJournal::markThere(results, name)))
            Platform::removeFileAt(results, name);
    }
}
