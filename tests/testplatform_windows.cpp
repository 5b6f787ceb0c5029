#include "testplatform.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <cstdlib>
#include <vector>
#include <windows.h>

#include "app/shared/settings.h"

namespace {
const wchar_t *wide(const QString &text)
{
    return reinterpret_cast<const wchar_t *>(text.utf16());
}
} // namespace

namespace {
// Written out here rather than taken from the program, so that a wrong key
// there is caught.
QString storeKey()
{
    return QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\")
        + Settings::currentStore();
}
} // namespace

// A registry key of this process's own, beside the program's, removed at exit.
void isolateSettingsStore()
{
    Settings::useStore(QStringLiteral("Ostrell test %1").arg(GetCurrentProcessId()));
    clearSettingsStore();
    // Qt's own objects may be gone by then: the registry call itself.
    std::atexit([] {
        const QString key = QStringLiteral("Software\\VB and VBA Program Settings\\") + Settings::currentStore();
        RegDeleteTreeW(HKEY_CURRENT_USER, wide(key));
    });
}

void clearSettingsStore()
{
    QSettings(storeKey(), QSettings::NativeFormat).clear();
}

std::unique_ptr<QSettings> settingsStoreAsFound()
{
    return std::make_unique<QSettings>(storeKey(), QSettings::NativeFormat);
}

std::optional<QString> settingAsStored(const QString &section, const QString &key)
{
    const QString path =
        QStringLiteral("Software\\VB and VBA Program Settings\\") + Settings::currentStore() + QLatin1Char('\\') + section;
    DWORD bytes = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, wide(path), wide(key), RRF_RT_REG_SZ, nullptr, nullptr, &bytes)
        != ERROR_SUCCESS)
        return std::nullopt;
    std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 1);
    if (RegGetValueW(HKEY_CURRENT_USER, wide(path), wide(key), RRF_RT_REG_SZ, nullptr, text.data(), &bytes)
        != ERROR_SUCCESS)
        return std::nullopt;
    return QString::fromWCharArray(text.data());
}

bool settingsStoreIsIsolated()
{
    return Settings::currentStore() != QStringLiteral("Kelvane");
}

bool shellScriptsRun()
{
    return false;
}

// Needs the right to make links (an administrator, or developer mode); Wine
// may refuse it as well.
bool makeSymbolicLink(const QString &target, const QString &link)
{
    const DWORD folder = GetFileAttributesW(wide(target)) & FILE_ATTRIBUTE_DIRECTORY;
    const QString t = QString(target).replace(QLatin1Char('/'), QLatin1Char('\\'));
    const QString l = QString(link).replace(QLatin1Char('/'), QLatin1Char('\\'));
    if (!CreateSymbolicLinkW(wide(l), wide(t),
                             (folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0)
                                 | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE))
        return false;
    // Wine 8 says it made the link, but nothing reads back as one.
    const DWORD made = GetFileAttributesW(wide(l));
    if (made != INVALID_FILE_ATTRIBUTES && (made & FILE_ATTRIBUTE_REPARSE_POINT))
        return true;
    if (!RemoveDirectoryW(wide(l)))
        DeleteFileW(wide(l));
    return false;
}

// Windows' named pipes live apart from the file system.
bool makeNamedPipe(const QString &)
{
    return false;
}

bool runsAsSuperUser()
{
    return false;
}

bool fileNamesAreBytes()
{
    return false;
}

bool makeFileNamedBytes(const QByteArray &)
{
    return false;
}

bool makeFolderNamedBytes(const QByteArray &)
{
    return false;
}

std::shared_ptr<void> holdAgainstRemoval(const QString &path)
{
    const HANDLE handle = CreateFileW(wide(QDir::toNativeSeparators(path)), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    return std::shared_ptr<void>(handle, [](HANDLE held) { CloseHandle(held); });
}

bool startsWithoutConsoleWindow(QProcess &process)
{
    const QProcess::CreateProcessArgumentModifier modify = process.createProcessArgumentsModifier();
    if (!modify)
        return false;
    STARTUPINFOW startup{};
    QProcess::CreateProcessArguments arguments{};
    arguments.startupInfo = &startup;
    modify(&arguments);
    return (arguments.flags & CREATE_NO_WINDOW) && !(arguments.flags & (CREATE_NEW_CONSOLE | DETACHED_PROCESS));
}

bool renameExactly(const QString &from, const QString &to)
{
    const auto exact = [](const QString &path) {
        return QStringLiteral("\\\\?\\") + QDir::toNativeSeparators(QDir::cleanPath(path));
    };
    return MoveFileExW(wide(exact(from)), wide(exact(to)), 0);
}

bool narrowCodePageHoldsEverything()
{
    return GetACP() == CP_UTF8;
}

// Denying a read takes an access list; the tests that need it skip here.
bool withdrawReadPermission(const QString &)
{
    return false;
}

void restoreReadPermission(const QString &)
{
}

bool heldFoldersCanBeRenamed()
{
    return false;
}
