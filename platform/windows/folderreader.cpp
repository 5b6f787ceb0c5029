#include "platform/folderreader.h"
#include "platform/opentest.h"

#include <windows.h>

struct Platform::FolderReader::State {
    QString prefix; // the folder with its closing separator
    HANDLE find = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAW entry{};
    bool haveFirst = false; // FindFirstFileW has filled entry, not yet handed out
    DWORD error = 0;

    QString entryName() const { return QString::fromWCharArray(entry.cFileName); }
    bool isLink() const
    {
        return (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
            && entry.dwReserved0 == IO_REPARSE_TAG_SYMLINK;
    }
    // What a link names, links followed.
    DWORD followedAttributes() const
    {
        if (!isLink())
            return entry.dwFileAttributes;
        const QString path = prefix + entryName();
        return GetFileAttributesW(reinterpret_cast<LPCWSTR>(path.utf16()));
    }
};

Platform::FolderReader::FolderReader(const QString &folder)
    : m(std::make_unique<State>())
{
    m->prefix = folder;
    if (!m->prefix.endsWith(QLatin1Char('\\')) && !m->prefix.endsWith(QLatin1Char('/')))
        m->prefix += QLatin1Char('\\');
    const QString pattern = m->prefix + QLatin1Char('*');
    // The short names are not needed, and a larger fetch saves round trips on shares.
    m->find = FindFirstFileExW(reinterpret_cast<LPCWSTR>(pattern.utf16()), FindExInfoBasic, &m->entry,
                               FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (m->find == INVALID_HANDLE_VALUE)
        m->error = GetLastError();
    else
        m->haveFirst = true;
}

Platform::FolderReader::~FolderReader()
{
    if (m->find != INVALID_HANDLE_VALUE)
        FindClose(m->find);
}

bool Platform::FolderReader::next()
{
    if (m->find == INVALID_HANDLE_VALUE || m->error)
        return false;
    for (;;) {
        if (m->haveFirst) {
            m->haveFirst = false;
        } else if (!FindNextFileW(m->find, &m->entry)) {
            const DWORD error = GetLastError();
            if (error != ERROR_NO_MORE_FILES)
                m->error = error;
            return false;
        }
        const wchar_t *n = m->entry.cFileName;
        if (!(n[0] == L'.' && (n[1] == 0 || (n[1] == L'.' && n[2] == 0))))
            return true;
    }
}

QString Platform::FolderReader::name() const
{
    return m->entryName();
}

// UTF-8, as every name in the platform's interfaces is on Windows.
QByteArray Platform::FolderReader::nativeName() const
{
    return m->entryName().toUtf8();
}

bool Platform::FolderReader::nameIsText() const
{
    // Windows names are UTF-16; an unpaired surrogate is the one thing that
    // is no text.
    const QString name = m->entryName();
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (c.isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            return false;
    }
    return true;
}

bool Platform::FolderReader::isFolder()
{
    const DWORD attributes = m->followedAttributes();
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Platform::FolderReader::isRegularFile()
{
    const DWORD attributes = m->followedAttributes();
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)
        && !(attributes & FILE_ATTRIBUTE_DEVICE);
}

bool Platform::FolderReader::opensAsFile() const
{
    return Platform::opensAsFile(m->prefix + m->entryName());
}

Platform::ListingError Platform::FolderReader::error() const
{
    switch (m->error) {
    case 0:
    case ERROR_FILE_NOT_FOUND: // an empty folder: not even "." was found
        return ListingError::None;
    case ERROR_ACCESS_DENIED:
        return ListingError::Denied;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DIRECTORY:
    case ERROR_INVALID_NAME:
        return ListingError::NotFound;
    default:
        return ListingError::Other;
    }
}

QString Platform::FolderReader::errorText() const
{
    wchar_t *text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                            | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, m->error, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    QString message = length ? QString::fromWCharArray(text, int(length)).trimmed()
                             : QStringLiteral("error %1").arg(m->error);
    LocalFree(text);
    return message;
}
