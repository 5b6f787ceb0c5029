#include "benchplatform.h"

#include <QFile>
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
