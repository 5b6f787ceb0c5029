#include "filelist/folderscan.h"

#include <QDir>
#include <QSet>
#include <QStringEncoder>

#include "app/shared/errorreport.h"
#include "app/shared/paths.h"
#include "filelist/nameorder.h"
#include "platform/folderidentity.h"
#include "platform/folderreader.h"
#include "platform/opentest.h"

using Platform::FolderReader;
using Platform::ListingError;

namespace {

constexpr int LengthLimit = 260;
constexpr int HiddenSystemFolder = Attr::Folder | Attr::System | Attr::Hidden;      // 22
constexpr int HiddenSystemJunction = HiddenSystemFolder | Attr::ReparsePoint;       // 1046

// Error numbers of the folder rules: the sub-folder listing drops such a
// folder silently.
constexpr int PermissionDenied = 70;
constexpr int PathNotFound = 76;

bool isSeparator(QChar c)
{
    return c == QLatin1Char('/') || c == nativeSeparator();
}

// The error number the folder rules give a failed listing.
int errorNumberOf(ListingError error)
{
    switch (error) {
    case ListingError::None:
        return 0;
    case ListingError::Denied:
        return PermissionDenied;
    case ListingError::NotFound:
        return PathNotFound;
    case ListingError::Other:
        break;
    }
    return -1;
}

bool isRootFolder(const QString &folder)
{
    const QString clean = QDir::cleanPath(QDir::fromNativeSeparators(folder));
    return !clean.isEmpty() && QDir(clean).isRoot();
}

bool isHiddenSystemFolder(int attributes)
{
    return attributes == HiddenSystemFolder || attributes == HiddenSystemJunction;
}

bool systemCodecIsUtf8()
{
    // "€" and "ā" give these bytes in UTF-8 only.
    QStringEncoder encoder(QStringConverter::System);
    const QByteArray probe = encoder(QStringLiteral(u"\u20ac\u0101"));
    return probe == QByteArrayLiteral("\xe2\x82\xac\xc4\x81");
}

bool unsafeCode(uint code)
{
    return code < 32 || (code >= 127 && code <= 159) || code == '?';
}

// A pattern prepared once for a whole folder.
class Wildcard {
public:
    explicit Wildcard(const QString &pattern)
        : m_pattern(pattern.toCaseFolded())
    {
        // Windows lets a closing ".*" also match a name without an extension,
        // so "*.*" takes every name.
        if (m_pattern.endsWith(QLatin1String(".*")))
            m_withoutExtension = m_pattern.chopped(2);
        m_everything = m_pattern == QLatin1String("*") || m_pattern == QLatin1String("*.*");
    }

    bool matchesEveryName() const { return m_everything; }

    bool matches(const QString &name) const
    {
        if (m_everything)
            return true;
        const QString folded = name.toCaseFolded();
        return glob(m_pattern, folded)
            || (!m_withoutExtension.isNull() && glob(m_withoutExtension, folded));
    }

private:
    static bool glob(QStringView pattern, QStringView name)
    {
        qsizetype p = 0, n = 0, starAt = -1, resumeAt = 0;
        while (n < name.size()) {
            if (p < pattern.size() && pattern[p] == QLatin1Char('*')) {
                starAt = p++;
                resumeAt = n;
            } else if (p < pattern.size()
                       && (pattern[p] == QLatin1Char('?') || pattern[p] == name[n])) {
                // "?" stands for one character, also one outside the 16-bit range.
                if (pattern[p] == QLatin1Char('?') && name[n].isHighSurrogate()
                    && n + 1 < name.size() && name[n + 1].isLowSurrogate())
                    ++n;
                ++p;
                ++n;
            } else if (starAt >= 0) {
                p = starAt + 1;
                n = ++resumeAt;
            } else {
                return false;
            }
        }
        while (p < pattern.size() && pattern[p] == QLatin1Char('*'))
            ++p;
        return p == pattern.size();
    }

    QString m_pattern;
    QString m_withoutExtension;
    bool m_everything = false;
};

QString listingFailure(const QString &folder, const FolderReader &reader)
{
    return QStringLiteral("Cannot list the folder %1: %2").arg(folder, reader.errorText());
}

// The scan of one tree: failures to hand on, the stop request, and the folders
// already taken in (so that links cannot lead the scan round in circles).
struct ScanContext {
    QList<ScanFailure> *failures;
    const std::function<bool()> &stopRequested;
    QSet<QByteArray> taken;

    bool stopped() const { return stopRequested && stopRequested(); }

    void record(const std::exception &e, int step)
    {
        if (failures)
            failures->append({QString::fromStdString(e.what()),
                              QString::fromLatin1(Location::SubFolderScan), step});
    }

    // False when the folder was taken in before, under this or another path.
    bool takeIn(const QString &folder)
    {
        const QByteArray id = Platform::folderIdentity(folder);
        if (id.isEmpty())
            return true; // unknown: the folder tests further on decide
        if (taken.contains(id))
            return false;
        taken.insert(id);
        return true;
    }
};

bool acceptableName(const QString &name)
{
    return name.size() < LengthLimit && !HasUnsafeChars(name) && !name.contains(QLatin1Char('?'))
        && name != QLatin1String(".") && name != QLatin1String("..");
}

// Appends folder's acceptable direct sub-folders to found, in name order.
// Gives the error number of a failed listing (0 when it went through).
int listSubFolders(const QString &folder, QStringList &found, ScanContext &context)
{
    FolderReader reader(folder);
    QStringList names;
    int entries = 0;
    while (reader.next()) {
        if ((++entries & 255) == 0 && context.stopped())
            return 0;
        if (!reader.isFolder())
            continue;
        // A name that is not valid text has characters no path text can hold.
        const QString name = reader.name();
        if (reader.nameIsText() && acceptableName(name))
            names.append(name);
    }
    sortByName(names);
    for (const QString &name : std::as_const(names)) {
        const QString path = folder + name + nativeSeparator();
        if (context.takeIn(path))
            found.append(path);
    }
    return errorNumberOf(reader.error());
}

// One level of the scan, then the deeper ones. Gives how many of folderList's
// own elements were removed.
int scanLevel(QStringList &folderList, bool recurse, ScanContext &context)
{
    int step = 100;
    QStringList newFolders;
    int removed = 0;
    // Once the first sub-folder listing has begun, failures are part of the
    // silent handling for this and every later folder.
    bool silent = false;

    const QStringList level = folderList; // removals below must not disturb the walk
    for (const QString &folder : level) {
        if (context.stopped())
            return removed;
        try {
            step = 102;
            if (!IsFolder(folder))
                continue;
            step = 104;
            if (folder.size() >= LengthLimit)
                continue;
            step = 106;
            if (!isRootFolder(folder) && isHiddenSystemFolder(fileAttributes(folder)))
                continue;
            step = 108;
            silent = true;
            const int error = listSubFolders(folder, newFolders, context);
            if (error == PermissionDenied || error == PathNotFound) {
                const qsizetype at = folderList.indexOf(folder);
                if (at >= 0) {
                    folderList.removeAt(at);
                    ++removed;
                }
            }
        } catch (const std::exception &e) {
            if (!silent)
                context.record(e, step);
        }
    }

    int ownCount = int(newFolders.size());
    try {
        step = 110;
        if (recurse && !newFolders.isEmpty() && !context.stopped())
            ownCount -= scanLevel(newFolders, true, context);
        step = 112;
        for (int i = 0; i < newFolders.size(); ++i) {
            const QString &folder = newFolders.at(i);
            // The deeper levels passed this test in the recursive call.
            if (i >= ownCount
                || (IsFolder(folder)
                    && (isRootFolder(folder) || !isHiddenSystemFolder(fileAttributes(folder)))))
                folderList.append(folder);
        }
    } catch (const std::exception &e) {
        context.record(e, step);
    }
    return removed;
}

} // namespace

int fileAttributes(const QString &path)
{
    if (path.isEmpty())
        return -1;
    return Platform::attributesOf(path);
}

int fileAttributes(const QByteArray &nativePath)
{
    if (nativePath.isEmpty())
        return -1;
    return Platform::attributesOf(nativePath);
}

bool IsExistingFile(const QString &path)
{
    return !path.isEmpty() && Platform::opensAsFile(path);
}

bool IsExistingFile(const QByteArray &nativePath)
{
    return !nativePath.isEmpty() && Platform::opensAsFile(nativePath);
}

bool HasUnsafeChars(const QString &name)
{
    static const bool utf8 = systemCodecIsUtf8();
    QStringEncoder encoder(QStringConverter::System);
    const QByteArray converted = encoder(name);
    if (encoder.hasError())
        return true;
    if (utf8) {
        // Every character converts; only the characters themselves count. A
        // lone half of a surrogate pair is no character and cannot convert.
        for (qsizetype i = 0; i < name.size(); ++i) {
            const QChar c = name.at(i);
            if (c.isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate())
                ++i;
            else if (c.isSurrogate() || unsafeCode(c.unicode()))
                return true;
        }
        return false;
    }
    // An 8-bit code page: characters it lacks come out as "?".
    for (const char byte : converted) {
        if (unsafeCode(uchar(byte)))
            return true;
    }
    return false;
}

bool wildcardMatch(const QString &pattern, const QString &name)
{
    return Wildcard(pattern).matches(name);
}

namespace {

// Hands found(reader) each matching file of the folder, in listing order.
template <typename Found>
void listMatchingFiles(const QString &folder, const QString &pattern,
                       const std::function<bool()> &stopRequested, Found found)
{
    QString prefix = folder;
    if (prefix.isEmpty() || !isSeparator(prefix.back()))
        prefix += nativeSeparator();
    const Wildcard wildcard(pattern);

    FolderReader reader(prefix);
    int entries = 0;
    while (reader.next()) {
        if ((++entries & 255) == 0 && stopRequested && stopRequested())
            return;
        // Pipes and devices are never opened by the open test.
        if (!reader.isRegularFile())
            continue;
        // A name is decoded only where the pattern needs to read it.
        if ((wildcard.matchesEveryName() || wildcard.matches(reader.name())) && reader.opensAsFile())
            found(reader);
    }
    // A folder that is not there has no files, as with a wildcard search.
    if (reader.error() != ListingError::None && reader.error() != ListingError::NotFound)
        throw Failure(listingFailure(folder, reader));
}

} // namespace

QStringList ListFiles(const QString &folder, const QString &pattern,
                      const std::function<bool()> &stopRequested)
{
    QStringList names;
    listMatchingFiles(folder, pattern, stopRequested,
                      [&names](const FolderReader &reader) { names.append(reader.name()); });
    sortByName(names);
    return names;
}

QList<QByteArray> ListNativeFiles(const QString &folder, const QString &pattern,
                                  const std::function<bool()> &stopRequested)
{
    QList<QByteArray> names;
    names.reserve(100);
    listMatchingFiles(folder, pattern, stopRequested,
                      [&names](const FolderReader &reader) { names.append(reader.nativeName()); });
    sortByName(names);
    return names;
}

void GetSubDirectories2016(QStringList &folderList, bool recurse, QList<ScanFailure> *failures,
                           const std::function<bool()> &stopRequested)
{
    ScanContext context{failures, stopRequested, {}};
    for (const QString &folder : std::as_const(folderList))
        context.takeIn(folder);
    scanLevel(folderList, recurse, context);
}
