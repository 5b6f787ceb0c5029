#include "writer/output/claimjournal.h"

#include <QDateTime>
#include <QHash>
#include <QRandomGenerator>

namespace {

const QByteArray JournalName("claims");
const QByteArray MarkPrefix("ostrell claim ");
constexpr int MarkRandomBytes = 16;
// The prefix, the random bytes in hex, a line break.
const qsizetype MarkSize = MarkPrefix.size() + 2 * MarkRandomBytes + 1;

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

QByteArray ClaimJournal::newMark()
{
    quint32 random[MarkRandomBytes / 4];
    QRandomGenerator::system()->fillRange(random);
    return MarkPrefix + QByteArray(reinterpret_cast<const char *>(random), sizeof random).toHex() + '\n';
}

QByteArray ClaimJournal::markThere(int folder, const QByteArray &name)
{
    const Platform::FileHandle file(Platform::openForReadingAt(folder, name));
    if (!file.isOpen())
        return QByteArray();
    const Platform::FileStatus info = Platform::statusOf(file.get());
    if (!info.ok() || info.kind != Platform::FileKind::Regular || !info.ownedByUser || info.size != MarkSize)
        return QByteArray();
    QByteArray there(MarkSize, '\0');
    if (Platform::readAt(file.get(), there.data(), std::size_t(there.size()), 0) != MarkSize
        || !there.startsWith(MarkPrefix))
        return QByteArray();
    return there;
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

bool ClaimJournal::intend(const QByteArray &name, const QByteArray &mark)
{
    // Not std::time(): Windows' C runtime works out the time zone at every
    // call, a round trip to the Wine server for each file.
    return append("M " + name.toHex() + ' ' + mark.toHex() + ' '
                      + QByteArray::number(QDateTime::currentSecsSinceEpoch()) + '\n',
                  true);
}

bool ClaimJournal::filling(const QByteArray &name, const QByteArray &output)
{
    return append("F " + name.toHex() + ' ' + output.toHex() + '\n', true);
}

bool ClaimJournal::finished(const QByteArray &name, bool sync)
{
    return append("D " + name.toHex() + '\n', sync);
}

void ClaimJournal::dropped(const QByteArray &name, bool sync)
{
    append("X " + name.toHex() + '\n', sync);
}

QList<ClaimJournal::Entry> ClaimJournal::read(int runFolder)
{
    const Platform::FileHandle journal(Platform::openForReadingAt(runFolder, JournalName));
    if (!journal.isOpen())
        return {};
    QByteArray text;
    char block[65536];
    std::int64_t got = 0;
    while ((got = Platform::readAt(journal.get(), block, sizeof block, text.size())) > 0)
        text.append(block, qsizetype(got));

    QList<Entry> entries;
    QHash<QByteArray, qsizetype> at;
    for (const QByteArray &line : text.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 2)
            continue; // a line cut short by the crash
        const QByteArray &kind = fields.at(0);
        const QByteArray name = QByteArray::fromHex(fields.at(1));
        // A name meant to be claimed starts its entry afresh; journals of
        // earlier versions say "I" and carry no mark.
        if (kind == "M" || kind == "I") {
            if (kind == "M" && fields.size() != 4)
                continue;
            at.insert(name, entries.size());
            Entry entry;
            entry.name = name;
            if (kind == "M") {
                entry.mark = QByteArray::fromHex(fields.at(2));
                entry.intendedAt = fields.at(3).toLongLong();
            }
            entries.append(entry);
            continue;
        }
        if (!at.contains(name))
            continue;
        Entry &entry = entries[at.value(name)];
        if (kind == "C" && fields.size() == 4) {
            entry.claimed = true;
            entry.inode = fields.at(2).toULongLong();
            entry.modified = fields.at(3).toLongLong();
        } else if (kind == "F") {
            entry.filling = true;
            if (fields.size() == 3)
                entry.fillingFrom = QByteArray::fromHex(fields.at(2));
        } else if (kind == "D" || kind == "X") {
            entry.done = true;
        }
    }
    return entries;
}
