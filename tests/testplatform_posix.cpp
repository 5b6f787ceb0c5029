#include "testplatform.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QString storeFile()
{
    return qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Kelvane.conf");
}
} // namespace

void isolateSettingsStore()
{
    // Lives as long as the test process; removed at exit.
    static QTemporaryDir configHome;
    // Not QStandardPaths test mode: it overrides XDG_CONFIG_HOME with
    // ~/.qttest/config, a folder in the real home shared by every test run.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome.path()));
}

void clearSettingsStore()
{
    QFile::remove(storeFile());
}

std::unique_ptr<QSettings> settingsStoreAsFound()
{
    return std::make_unique<QSettings>(storeFile(), QSettings::IniFormat);
}

bool settingsStoreIsIsolated()
{
    const QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    return !configHome.isEmpty() && QDir(configHome) != QDir(QDir::homePath() + QStringLiteral("/.config"));
}

bool shellScriptsRun()
{
    return true;
}

bool makeSymbolicLink(const QString &target, const QString &link)
{
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0;
}

bool makeNamedPipe(const QString &path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0644) == 0;
}

bool runsAsSuperUser()
{
    return ::geteuid() == 0;
}

bool fileNamesAreBytes()
{
    return true;
}

bool makeFileNamedBytes(const QByteArray &path)
{
    const int fd = ::creat(path.constData(), 0644);
    return fd >= 0 && ::close(fd) == 0;
}

bool makeFolderNamedBytes(const QByteArray &path)
{
    return ::mkdir(path.constData(), 0755) == 0;
}

std::shared_ptr<void> holdAgainstRemoval(const QString &)
{
    return nullptr;
}

bool startsWithoutConsoleWindow(QProcess &)
{
    return false;
}

std::optional<QString> settingAsStored(const QString &section, const QString &key)
{
    const QVariant value = settingsStoreAsFound()->value(section + QLatin1Char('/') + key);
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

bool renameExactly(const QString &from, const QString &to)
{
    return QFile::rename(from, to);
}

bool narrowCodePageHoldsEverything()
{
    return true;
}

bool withdrawReadPermission(const QString &path)
{
    return ::chmod(QFile::encodeName(path).constData(), 0) == 0;
}

void restoreReadPermission(const QString &path)
{
    ::chmod(QFile::encodeName(path).constData(), 0755);
}

bool heldFoldersCanBeRenamed()
{
    return true;
}
