#include "benchplatform.h"
#include "app/shared/settings.h"
#include "platform/displaysetup.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <cstdlib>
#include <memory>
#include <vector>

#include <windows.h>
#include <psapi.h>

namespace {
double seconds(const FILETIME &time)
{
    return ((quint64(time.dwHighDateTime) << 32) | time.dwLowDateTime) / 1e7;
}
} // namespace

// Windows keeps no total of ended children; their time is not told.
double cpuSeconds(Processes who, CpuMode mode)
{
    if (who != Processes::Self)
        return -1;
    FILETIME created, ended, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user))
        return -1;
    return mode == CpuMode::User ? seconds(user)
        : mode == CpuMode::Kernel ? seconds(kernel) : seconds(user) + seconds(kernel);
}

long peakKilobytes(Processes who)
{
    PROCESS_MEMORY_COUNTERS counters{};
    if (who != Processes::Self || !GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return -1;
    return long(counters.PeakWorkingSetSize / 1024);
}

// Flushing a whole volume needs an administrator; each run waits instead.
void flushDisks() {}

bool hardLink(const QString &existing, const QString &link)
{
    return CreateHardLinkW(reinterpret_cast<const wchar_t *>(link.utf16()),
                           reinterpret_cast<const wchar_t *>(existing.utf16()), nullptr);
}

namespace {
// cmd.exe starts a program with CreateProcess as QProcess does; going
// through it would add only its own start.
void runAll(const std::vector<QStringList> &commands)
{
    std::vector<std::unique_ptr<QProcess>> tools;
    for (const QStringList &command : commands) {
        tools.push_back(std::make_unique<QProcess>());
        tools.back()->setStandardOutputFile(QProcess::nullDevice());
        tools.back()->start(QStringLiteral("exiftool"), command);
    }
    for (const auto &tool : tools)
        tool->waitForFinished(-1);
}

void syncEveryFile(const QString &folder)
{
    for (const QFileInfo &file : QDir(folder).entryInfoList(QDir::Files)) {
        const HANDLE handle = CreateFileW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(file.filePath()).utf16()),
                                          GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            continue;
        FlushFileBuffers(handle);
        CloseHandle(handle);
    }
}
} // namespace

double residentToolsSeconds(const QStringList &argumentFiles, const QString &syncFolder)
{
    QElapsedTimer clock;
    clock.start();
    std::vector<QStringList> commands;
    for (const QString &file : argumentFiles)
        commands.push_back({QStringLiteral("-q"), QStringLiteral("-stay_open"), QStringLiteral("True"),
                            QStringLiteral("-@"), file});
    runAll(commands);
    if (!syncFolder.isEmpty())
        syncEveryFile(syncFolder);
    return clock.elapsed() / 1000.0;
}

double byHandSeconds(const QString &assignment, const QString &out, const QStringList &files)
{
    // A command line holds at most 32,767 characters.
    QStringList named = files;
    if (files.join(' ').size() > 30000 && !files.isEmpty())
        named = QStringList{QFileInfo(files.first()).path()};
    QElapsedTimer clock;
    clock.start();
    runAll({QStringList{QStringLiteral("-q"), QStringLiteral("-E"), assignment, QStringLiteral("-o"), out + '/'} + named});
    return clock.elapsed() / 1000.0;
}

// Qt runs a timer under 20 ms as a multimedia timer whose every tick is a
// message posted to the window's thread; under Wine each is a round trip to
// the server, and a 1 ms probe cost the window a millisecond a file.
int stallProbeIntervalMs()
{
    return 20;
}

// Windows always has its window system; the program's own choices apply.
void chooseWindowPlatform()
{
    Platform::prepareDisplay();
}

void isolateSettings(const QString &)
{
    Settings::useStore(QStringLiteral("Ostrell benchmark %1").arg(GetCurrentProcessId()));
    std::atexit([] {
        const QString key = QStringLiteral("Software\\VB and VBA Program Settings\\") + Settings::currentStore();
        RegDeleteTreeW(HKEY_CURRENT_USER, reinterpret_cast<const wchar_t *>(key.utf16()));
    });
}
