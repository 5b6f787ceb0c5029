#include "writer/output/claimjournal.h"

#include <QHash>
#include <QList>
#include <cstdlib>

namespace {

const QByteArray JournalName("claims");
// FAT keeps times to two seconds.
constexpr std::int64_t TimeSlackSeconds = 2;

struct Entry {
    bool claimed = false;
    bool filling = false;
    bool done = false;
    std::uint64_t inode = 0;
    std::int64_t modified = 0;
};

} // namespace

ClaimJournal::~ClaimJournal()
{
    Platform::closeFile(m_fd);
}

std::unique_ptr<ClaimJournal> ClaimJournal::create(int runFolder)
{
    const int fd = Platform::createExclusiveAt(runFolder, JournalName);
    if (fd < 0)
        return nullptr;
    return std::unique_ptr<ClaimJournal>(new ClaimJournal(fd));
}

// Names are written in hex: they may hold line breaks and blanks.
bool ClaimJournal::append(const QByteArray &line, bool sync)
{
    const std::lock_guard<std::mutex> locked(m_lock);
    if (m_fd < 0 || !Platform::writeAt(m_fd, line.constData(), std::size_t(line.size()), m_end))
        return false;
    m_end += line.size();
    return !sync || Platform::syncData(m_fd);
}

void ClaimJournal::close()
{
    const std::lock_guard<std::mutex> locked(m_lock);
    Platform::closeFile(m_fd);
    m_fd = -1;
}

bool ClaimJournal::intend(const QByteArray &name)
{
    return append("I " + name.toHex() + '\n', true);
}

void ClaimJournal::claimed(const QByteArray &name, const Platform::FileStatus &claim)
{
    append("C " + name.toHex() + ' ' + QByteArray::number(claim.inode) + ' '
               + QByteArray::number(claim.modifiedSeconds) + '\n',
           false);
}

bool ClaimJournal::filling(const QByteArray &name)
{
    return append("F " + name.toHex() + '\n', true);
}

bool ClaimJournal::finished(const QByteArray &name, bool sync)
{
    return append("D " + name.toHex() + '\n', sync);
}

void ClaimJournal::dropped(const QByteArray &name)
{
    append("X " + name.toHex() + '\n', false);
}

void ClaimJournal::sweep(int deadRunFolder, int results, bool stableFileNumbers)
{
    const Platform::FileHandle journal(Platform::openForReadingAt(deadRunFolder, JournalName));
    if (!journal.isOpen())
        return;
    QByteArray text;
    char block[65536];
    std::int64_t got = 0;
    while ((got = Platform::readAt(journal.get(), block, sizeof block, text.size())) > 0)
        text.append(block, qsizetype(got));

    QHash<QByteArray, Entry> entries;
    QList<QByteArray> order;
    for (const QByteArray &line : text.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 2)
            continue; // a line cut short by the crash
        const QByteArray name = QByteArray::fromHex(fields.at(1));
        if (!entries.contains(name))
            order.append(name);
        Entry &entry = entries[name];
        const QByteArray &mark = fields.at(0);
        if (mark == "C" && fields.size() == 4) {
            entry = Entry();
            entry.claimed = true;
            entry.inode = fields.at(2).toULongLong();
            entry.modified = fields.at(3).toLongLong();
        } else if (mark == "F") {
            entry.filling = true;
        } else if (mark == "D" || mark == "X") {
            entry.done = true;
        }
    }
    for (const QByteArray &name : order) {
        const Entry &entry = entries.value(name);
        if (!entry.claimed || entry.done)
            continue;
        const Platform::FileStatus there = Platform::statusAt(results, name);
        if (!there.ok() || there.kind != Platform::FileKind::Regular || !there.ownedByUser)
            continue;
        const bool same = stableFileNumbers
            ? there.inode == entry.inode && (there.size == 0 || entry.filling)
            : there.size == 0 && std::llabs(there.modifiedSeconds - entry.modified) <= TimeSlackSeconds;
        if (same)
            Platform::removeFileAt(results, name);
    }
}
