#include "benchplatform.h"

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
