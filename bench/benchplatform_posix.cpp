#include "benchplatform.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <sys/resource.h>
#include <unistd.h>

namespace {
rusage usageOf(Processes who)
{
    rusage usage{};
    getrusage(who == Processes::Self ? RUSAGE_SELF : RUSAGE_CHILDREN, &usage);
    return usage;
}
} // namespace

double cpuSeconds(Processes who, CpuMode mode)
{
    const rusage usage = usageOf(who);
    const double user = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6;
    const double kernel = usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
    return mode == CpuMode::User ? user : mode == CpuMode::Kernel ? kernel : user + kernel;
}

long peakKilobytes(Processes who)
{
    return usageOf(who).ru_maxrss;
}

void flushDisks()
{
    ::sync();
}

bool hardLink(const QString &existing, const QString &link)
{
    return ::link(QFile::encodeName(existing).constData(), QFile::encodeName(link).constData()) == 0;
}

namespace {
// The shell started and waited for as a terminal would.
double shellSeconds(const QString &script, const QStringList &arguments)
{
    QElapsedTimer clock;
    clock.start();
    QProcess shell;
    shell.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    shell.start(QStringLiteral("sh"), QStringList{QStringLiteral("-c"), script, QStringLiteral("sh")} + arguments);
    shell.waitForFinished(-1);
    return clock.elapsed() / 1000.0;
}
} // namespace

double residentToolsSeconds(const QStringList &argumentFiles, const QString &syncFolder)
{
    return shellSeconds(QStringLiteral("d=$1; shift; for a; do exiftool -q -stay_open True -@ \"$a\" >/dev/null & done; "
                                       "wait; [ -n \"$d\" ] && sync -d \"$d\"/*; true"),
                        QStringList{syncFolder} + argumentFiles);
}

double byHandSeconds(const QString &assignment, const QString &out, const QStringList &files)
{
    return shellSeconds(QStringLiteral("a=$1; d=$2; shift 2; exiftool -q -E \"$a\" -o \"$d\"/ \"$@\""),
                        QStringList{assignment, out} + files);
}

int stallProbeIntervalMs()
{
    return 1;
}

void chooseWindowPlatform()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", qEnvironmentVariableIsEmpty("DISPLAY") ? QByteArrayLiteral("offscreen")
                                                                          : QByteArrayLiteral("xcb"));
}

void isolateSettings(const QString &folder)
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder));
}
