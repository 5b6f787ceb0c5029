#include "filelist/folderscan.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QStringEncoder>
#include <cerrno>
#include <system_error>

#include "app/errorreport.h"
#include "app/paths.h"

#ifdef Q_OS_WIN
#include <QFileInfo>
#include <filesystem>
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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

int errorNumberOf(const std::error_code &ec)
{
    if (!ec)
        return 0;
    if (ec == std::errc::permission_denied || ec == std::errc::operation_not_permitted)
        return PermissionDenied;
    if (ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory)
        return PathNotFound;
    return -1;
}

// ---------------------------------------------------------------------------
// The platform's side: attributes, the open test, a folder's identity, and
// FolderReader, which walks one folder's entries in the order the file system
// gives them.

#ifdef Q_OS_WIN

int platformAttributes(const QString &path)
{
    const DWORD value = GetFileAttributesW(reinterpret_cast<LPCWSTR>(path.utf16()));
    return value == INVALID_FILE_ATTRIBUTES ? -1 : int(value);
}

int platformAttributes(const QByteArray &nativePath)
{
    return platformAttributes(QFile::decodeName(nativePath));
}

bool platformOpensAsFile(const QString &path)
{
    const HANDLE handle = CreateFileW(reinterpret_cast<LPCWSTR>(path.utf16()), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(handle);
    return true;
}

bool platformOpensAsFile(const QByteArray &nativePath)
{
    return platformOpensAsFile(QFile::decodeName(nativePath));
}

// No inode here; the resolved path names the folder.
QByteArray folderIdentity(const QString &folder)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return canonical.isEmpty() ? QByteArray() : canonical.toCaseFolded().toUtf8();
}

class FolderReader {
public:
    explicit FolderReader(const QString &folder)
        : m_folder(folder)
        , m_it(std::filesystem::path(folder.toStdWString()), m_error)
        , m_first(true)
    {
    }

    bool next()
    {
        if (m_error)
            return false;
        if (!m_first)
            m_it.increment(m_error);
        m_first = false;
        return !m_error && m_it != std::filesystem::directory_iterator();
    }
    QString name() const { return QString::fromStdWString(m_it->path().filename().native()); }
    QByteArray nativeName() const { return QFile::encodeName(name()); }
    bool nameIsText() const { return true; }
    bool isFolder() const
    {
        std::error_code ec;
        return m_it->is_directory(ec);
    }
    bool isRegularFile() const
    {
        std::error_code ec;
        return m_it->is_regular_file(ec);
    }
    bool opensAsFile() const
    {
        QString path = m_folder;
        if (!isSeparator(path.back()))
            path += nativeSeparator();
        return platformOpensAsFile(path + name());
    }
    int error() const { return errorNumberOf(m_error); }
    QString errorText() const { return QString::fromStdString(m_error.message()); }

private:
    QString m_folder;
    std::error_code m_error;
    std::filesystem::directory_iterator m_it;
    bool m_first;
};

#else

int platformAttributes(const QByteArray &nativePath)
{
    // A closing separator would make lstat look through a link.
    QByteArray native = nativePath;
    while (native.size() > 1 && native.endsWith('/'))
        native.chop(1);
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0)
        return -1;
    int value = 0;
    if (S_ISLNK(info.st_mode)) {
        value |= Attr::ReparsePoint;
        if (::stat(native.constData(), &info) != 0)
            info.st_mode = 0; // dangling: a link to nothing
    }
    if (S_ISDIR(info.st_mode))
        value |= Attr::Folder;
    else if (S_ISREG(info.st_mode))
        value |= Attr::Archive;
    if (native.mid(native.lastIndexOf('/') + 1).startsWith('.'))
        value |= Attr::Hidden;
    return value;
}

int platformAttributes(const QString &path)
{
    return platformAttributes(QFile::encodeName(path));
}

// Non-blocking, so that a pipe among the files cannot hang the scan.
constexpr int OpenTestFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

bool openedRegularFile(int fd)
{
    if (fd < 0)
        return false;
    struct stat info {};
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    ::close(fd);
    return regular;
}

bool platformOpensAsFile(const QByteArray &nativePath)
{
    return openedRegularFile(::open(nativePath.constData(), OpenTestFlags));
}

bool platformOpensAsFile(const QString &path)
{
    return platformOpensAsFile(QFile::encodeName(path));
}

QByteArray folderIdentity(const QString &folder)
{
    struct stat info {};
    if (::stat(QFile::encodeName(folder).constData(), &info) != 0)
        return QByteArray();
    QByteArray key;
    key.append(reinterpret_cast<const char *>(&info.st_dev), sizeof info.st_dev);
    key.append(reinterpret_cast<const char *>(&info.st_ino), sizeof info.st_ino);
    return key;
}

// Reads the folder directly: the entry types come with the listing and the
// open test goes relative to the open folder, which keeps the scan of a large
// tree down to the calls it cannot avoid.
class FolderReader {
public:
    explicit FolderReader(const QString &folder)
    {
        const QByteArray native = QFile::encodeName(folder);
        m_dir = ::opendir(native.constData());
        m_errno = m_dir ? 0 : errno;
    }
    ~FolderReader()
    {
        if (m_dir)
            ::closedir(m_dir);
    }
    FolderReader(const FolderReader &) = delete;
    FolderReader &operator=(const FolderReader &) = delete;

    bool next()
    {
        if (!m_dir || m_errno)
            return false;
        for (;;) {
            errno = 0;
            m_entry = ::readdir(m_dir);
            if (!m_entry) {
                m_errno = errno;
                return false;
            }
            const char *n = m_entry->d_name;
            if (!(n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))))
                break;
        }
        m_type = -1;
        return true;
    }
    QString name() const { return QString::fromUtf8(m_entry->d_name); }
    QByteArray nativeName() const { return QByteArray(m_entry->d_name); }
    bool nameIsText() const { return QUtf8StringView(m_entry->d_name).isValidUtf8(); }
    bool isFolder() { return followedType() == S_IFDIR; }
    bool isRegularFile() { return followedType() == S_IFREG; }
    bool opensAsFile() const
    {
        return openedRegularFile(::openat(::dirfd(m_dir), m_entry->d_name, OpenTestFlags));
    }
    int error() const { return errorNumberOf(std::error_code(m_errno, std::generic_category())); }
    QString errorText() const { return QString::fromLocal8Bit(std::generic_category().message(m_errno).c_str()); }

private:
    // The type of what the entry names, links followed; 0 when unknown.
    int followedType()
    {
        if (m_type >= 0)
            return m_type;
        switch (m_entry->d_type) {
        case DT_DIR:
            return m_type = S_IFDIR;
        case DT_REG:
            return m_type = S_IFREG;
        case DT_LNK:
        case DT_UNKNOWN: {
            struct stat info {};
            m_type = ::fstatat(::dirfd(m_dir), m_entry->d_name, &info, 0) == 0 ? int(info.st_mode & S_IFMT) : 0;
            return m_type;
        }
        default:
            return m_type = 0;
        }
    }

    DIR *m_dir = nullptr;
    int m_errno = 0;
    dirent *m_entry = nullptr;
    int m_type = -1;
};

#endif

// ---------------------------------------------------------------------------

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
        const QByteArray id = folderIdentity(folder);
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

// Appends folder's acceptable direct sub-folders to found. Gives the error
// number of a failed listing (0 when it went through).
int listSubFolders(const QString &folder, QStringList &found, ScanContext &context)
{
    FolderReader reader(folder);
    int entries = 0;
    while (reader.next()) {
        if ((++entries & 255) == 0 && context.stopped())
            return 0;
        if (!reader.isFolder())
            continue;
        // A name that is not valid text has characters no path text can hold.
        const QString name = reader.name();
        if (!reader.nameIsText() || !acceptableName(name))
            continue;
        const QString path = folder + name + nativeSeparator();
        if (context.takeIn(path))
            found.append(path);
    }
    return reader.error();
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
    return platformAttributes(path);
}

int fileAttributes(const QByteArray &nativePath)
{
    if (nativePath.isEmpty())
        return -1;
    return platformAttributes(nativePath);
}

bool IsExistingFile(const QString &path)
{
    return !path.isEmpty() && platformOpensAsFile(path);
}

bool IsExistingFile(const QByteArray &nativePath)
{
    return !nativePath.isEmpty() && platformOpensAsFile(nativePath);
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
        if (wildcard.matches(reader.name()) && reader.opensAsFile())
            found(reader);
    }
    // A folder that is not there has no files, as with a wildcard search.
    if (reader.error() != 0 && reader.error() != PathNotFound)
        throw Failure(listingFailure(folder, reader));
}

} // namespace

QStringList ListFiles(const QString &folder, const QString &pattern,
                      const std::function<bool()> &stopRequested)
{
    QStringList names;
    listMatchingFiles(folder, pattern, stopRequested,
                      [&names](const FolderReader &reader) { names.append(reader.name()); });
    return names;
}

QList<QByteArray> ListNativeFiles(const QString &folder, const QString &pattern,
                                  const std::function<bool()> &stopRequested)
{
    QList<QByteArray> names;
    names.reserve(100);
    listMatchingFiles(folder, pattern, stopRequested,
                      [&names](const FolderReader &reader) { names.append(reader.nativeName()); });
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
