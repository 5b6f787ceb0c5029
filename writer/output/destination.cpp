#include "writer/output/destination.h"

#include <QHash>
#include <QStringList>
#include <cstring>

#include "platform/filenames.h"
#include "platform/files.h"
#include "writer/report/reasons.h"

namespace {

// One row per family of file systems, matched on the type's last part, so
// "vfat", "fuse.fusefat" and "fuseblk.vfat" read alike.
struct TypeRow {
    const char *type;
    bool windowsNames;
    bool caseInsensitive;
    bool stableFileNumbers;
    std::int64_t largestFile;
};
constexpr std::int64_t FourGiB = std::int64_t(4) * 1024 * 1024 * 1024;
// clang-format off
constexpr TypeRow kTypes[] = {
    {"vfat",    true,  true,  false, FourGiB - 1},
    {"msdos",   true,  true,  false, FourGiB - 1},
    {"fat",     true,  true,  false, FourGiB - 1},
    {"fusefat", true,  true,  false, FourGiB - 1},
    {"exfat",   true,  true,  false, 0},
    {"ntfs",    true,  true,  true,  0},
    {"ntfs3",   true,  true,  true,  0},
    {"ntfs-3g", true,  true,  true,  0},
    {"refs",    true,  true,  false, 0},
    {"cifs",    true,  true,  true,  0},
    {"smb3",    true,  true,  true,  0},
    {"ext4",    false, false, true,  0},
    {"ext3",    false, false, true,  0},
    {"ext2",    false, false, true,  0},
    {"xfs",     false, false, true,  0},
    {"btrfs",   false, false, true,  0},
    {"tmpfs",   false, false, true,  0},
    {"zfs",     false, false, true,  0},
    {"nfs",     false, false, true,  0},
    {"nfs4",    false, false, true,  0},
    {"overlay", false, false, true,  0},
};
// clang-format on

// Characters FAT, exFAT and NTFS refuse in a name, beside control characters.
constexpr char kRefused[] = "\"*:<>?\\|";

QByteArray familyOf(const QByteArray &type)
{
    const qsizetype dot = type.lastIndexOf('.');
    return dot >= 0 ? type.mid(dot + 1) : type;
}

const char ProbeName[] = "probe-Aa";
const char ProbeOtherCase[] = "PROBE-aA";
const char ProbeMoved[] = "probe-moved";
const char ProbeRefused[] = "probe-?";

bool isFuse(const QByteArray &type)
{
    return type.startsWith("fuse");
}

// The device Windows opens for this name instead of a file, or empty: the
// part before the first dot, blanks at its end dropped, in any case, so
// "nul.jpg", "Com1.tar.gz" and "con .jpg" are devices and "console.jpg" is not.
QString deviceNamed(const QString &name)
{
    QString stem = name.left(name.indexOf(QLatin1Char('.')));
    while (stem.endsWith(QLatin1Char(' ')))
        stem.chop(1);
    stem = stem.toUpper();
    static const QStringList devices{QStringLiteral("CON"), QStringLiteral("PRN"), QStringLiteral("AUX"),
                                     QStringLiteral("NUL"), QStringLiteral("CONIN$"), QStringLiteral("CONOUT$")};
    if (devices.contains(stem))
        return stem;
    // COM0 to COM9 and LPT0 to LPT9, and with a superscript 1, 2 or 3.
    static const QString ports = QStringLiteral("0123456789\u00B9\u00B2\u00B3");
    if (stem.size() == 4 && (stem.startsWith(QLatin1String("COM")) || stem.startsWith(QLatin1String("LPT")))
        && ports.contains(stem.at(3)))
        return stem;
    return QString();
}

} // namespace

QString Destination::shownType() const
{
    if (type.isEmpty())
        return QStringLiteral("unknown");
    const QByteArray family = familyOf(type);
    // The names people know from their cards and disks.
    static const QHash<QByteArray, QString> known{
        {"exfat", QStringLiteral("exFAT")}, {"vfat", QStringLiteral("FAT")},  {"msdos", QStringLiteral("FAT")},
        {"fat", QStringLiteral("FAT")},     {"fusefat", QStringLiteral("FAT")}, {"ntfs", QStringLiteral("NTFS")},
        {"ntfs3", QStringLiteral("NTFS")},  {"ntfs-3g", QStringLiteral("NTFS")},
        {"refs", QStringLiteral("ReFS")}};
    const QString name = known.value(family, QString::fromUtf8(family));
    if (isFuse(type) && family != type && family != "fuse" && family != "fuseblk")
        return name + QStringLiteral(" through FUSE");
    return name;
}

Destination rulesForType(const QByteArray &type)
{
    Destination destination;
    destination.type = type;
    // A FUSE driver may number files as it likes, and an unknown type may too.
    destination.stableFileNumbers = false;
    const QByteArray family = familyOf(type);
    for (const TypeRow &row : kTypes) {
        if (family != row.type)
            continue;
        destination.windowsNames = row.windowsNames;
        destination.caseInsensitive = row.caseInsensitive;
        destination.stableFileNumbers = row.stableFileNumbers && !isFuse(type);
        destination.largestFile = row.largestFile;
    }
    return destination;
}

Destination probeDestination(int runFolder, const QByteArray &type)
{
    Destination destination = rulesForType(type);
    Platform::FileHandle probe(Platform::createExclusiveAt(runFolder, ProbeName));
    if (!probe.isOpen()) {
        destination.way = Destination::Way::None;
        destination.error = Platform::lastError();
        return destination;
    }
    // A copy of a name in the other case finds the file where case does not count.
    const Platform::FileStatus made = Platform::statusOf(probe.get());
    const Platform::FileStatus other = Platform::statusAt(runFolder, ProbeOtherCase);
    if (other.ok() && made.ok() && other.sameFileAs(made))
        destination.caseInsensitive = true;
    probe.close();
    // A disk of unknown type that refuses "?" is a Windows disk.
    const int refusedProbe = Platform::createExclusiveAt(runFolder, ProbeRefused);
    if (refusedProbe < 0) {
        destination.windowsNames = true;
    } else {
        Platform::closeFile(refusedProbe);
        Platform::removeFileAt(runFolder, ProbeRefused);
    }

    int error = 0;
    if (Platform::renameNoReplace(runFolder, ProbeName, runFolder, ProbeMoved, &error)
        == Platform::Renamed::Done) {
        destination.way = Destination::Way::NoReplaceRename;
    } else if (Platform::linkNoReplace(runFolder, ProbeName, runFolder, ProbeMoved, &error)
               == Platform::Renamed::Done) {
        destination.way = Destination::Way::Link;
    } else {
        destination.way = Destination::Way::Claim;
        // Whether a rename may replace the claim, tried on a claim of the probe's own.
        // The claim is held open, as a real one is.
        const Platform::FileHandle claim(Platform::createExclusiveAt(runFolder, ProbeMoved));
        destination.renameOverClaim = claim.isOpen()
            && Platform::renameReplacing(runFolder, ProbeName, runFolder, ProbeMoved);
        if (!claim.isOpen())
            destination.way = Destination::Way::None;
    }
    Platform::removeFileAt(runFolder, ProbeName);
    Platform::removeFileAt(runFolder, ProbeMoved);
    // Whatever the disk, Windows itself opens such names as devices or not at all.
    if (Platform::refusesWindowsNames())
        destination.windowsNames = true;
    return destination;
}

QString nameRefusal(const Destination &destination, const QByteArray &name)
{
    if (!destination.windowsNames)
        return QString();
    const QString text = QString::fromUtf8(name);
    const QString shown = destination.shownType();
    for (const QChar c : text) {
        if (c.unicode() < 32 || c.unicode() == 127)
            return because(Reason::NameHasControl, QString::number(c.unicode(), 16).toUpper().rightJustified(2, '0'),
                           shown);
        if (c.unicode() < 128 && std::strchr(kRefused, char(c.unicode())))
            return because(Reason::NameHasRefused, QString(c), shown);
    }
    if (const QString device = deviceNamed(text); !device.isEmpty())
        return because(Reason::NameIsDevice, device, shown);
    if (text.endsWith(QLatin1Char('.')) || text.endsWith(QLatin1Char(' ')))
        return because(Reason::NameEndsBadly, text.endsWith(QLatin1Char('.')) ? QStringLiteral("a dot")
                                                                              : QStringLiteral("a blank"),
                       shown);
    return QString();
}

QString foldedName(const QByteArray &name)
{
    return QString::fromUtf8(name).toCaseFolded();
}

bool sameNameThere(const Destination &destination, const QByteArray &a, const QByteArray &b)
{
    return a == b || (destination.caseInsensitive && foldedName(a) == foldedName(b));
}
