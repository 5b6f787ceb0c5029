#pragma once

#include <QString>

// What the benchmarks measure of the system beyond Qt, one file per system.

enum class Processes { Self, WaitedChildren };
enum class CpuMode { User, Kernel, Both };
// Processor time in seconds; negative where the system does not say.
double cpuSeconds(Processes who, CpuMode mode = CpuMode::Both);
// Peak resident memory in kilobytes; negative where the system does not say.
long peakKilobytes(Processes who);
// Every disk done writing what it was given.
void flushDisks();
// One more name for the same bytes; false where the file system has none.
bool hardLink(const QString &existing, const QString &link);
