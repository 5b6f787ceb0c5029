#pragma once

#include <QString>
#include <QStringList>

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

// ExifTool run as a user's shell runs it, timed from start to end:
// one resident tool per argument file, all at once, then (with syncFolder)
// every file in that folder synced to disk.
double residentToolsSeconds(const QStringList &argumentFiles, const QString &syncFolder);
// "exiftool -q -E ASSIGNMENT -o OUT/ FILES" as typed. Where the system's
// command line cannot hold every name, the folder holding them is named
// instead, as a user there would type it.
double byHandSeconds(const QString &assignment, const QString &out, const QStringList &files);

// The interval of the timer that looks for stalls of the event loop: as
// short as the system can tick without the probe itself costing the window.
int stallProbeIntervalMs();

// Chooses a real window system when there is one, as users see the window
// (on Linux an X server when DISPLAY is set), else the offscreen platform;
// a platform named in QT_QPA_PLATFORM wins.
void chooseWindowPlatform();

// The window's settings kept apart from the user's for this run: in
// `folder` on Linux, under a registry key of the process's own on Windows
// (removed at exit).
void isolateSettings(const QString &folder);
