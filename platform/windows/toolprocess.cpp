#include "platform/toolprocess.h"
#include "platform/files.h"

#include <QProcess>
#include <QVariant>
#include <vector>
#include <windows.h>

namespace {

// The job the tools go into. Only the program holds a handle to it (not one
// a child inherits), so when the program ends, however it ends, the handle
// closes and the system ends every process in the job: a resident ExifTool
// and the Perl it starts. The program itself stays out of the job, so that
// what it opens for the user (a browser, an Explorer window) outlives it.
HANDLE toolJob()
{
    static const HANDLE job = [] {
        HANDLE made = CreateJobObjectW(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (made && !SetInformationJobObject(made, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
            CloseHandle(made);
            made = nullptr;
        }
        return made;
    }();
    return job;
}

void joinToolJob(qint64 processId)
{
    const HANDLE job = toolJob();
    if (!job || processId <= 0)
        return;
    // The QProcess holds the process's handle, so the number cannot have
    // passed to another process yet.
    const HANDLE process = OpenProcess(PROCESS_SET_QUOTA | PROCESS_TERMINATE, FALSE, DWORD(processId));
    if (!process)
        return;
    // A tool starts in the program's own job, when the program runs in one
    // (started by a terminal, an IDE, a launcher). Windows 8 and later nest
    // this job inside it; where the system or that job's limits refuse the
    // nesting, the tool runs on outside this job: it then ends with its input
    // closed when the program closes normally, though not when it is killed.
    AssignProcessToJobObject(job, process);
    CloseHandle(process);
}

const char JobConnected[] = "ostrellToolJobConnected";

// The folder as a working folder may name it: a plain path shorter than
// MAX_PATH, else its short 8.3 form where the volume has one; empty when
// neither fits.
QString workingFolder(int folderDescriptor)
{
    const QString path = QString::fromUtf8(Platform::descriptorPath(folderDescriptor));
    const auto fits = [](const QString &p) {
        return !p.isEmpty() && p.size() < MAX_PATH - 1 && !p.startsWith(QLatin1String("\\\\?\\"));
    };
    if (path.isEmpty() || fits(path))
        return path;
    std::vector<wchar_t> shortPath(std::size_t(path.size()) + 1);
    const DWORD length = GetShortPathNameW(reinterpret_cast<const wchar_t *>(path.utf16()), shortPath.data(),
                                           DWORD(shortPath.size()));
    if (length == 0 || length >= shortPath.size())
        return QString();
    QString found = QString::fromWCharArray(shortPath.data(), int(length));
    if (found.startsWith(QLatin1String("\\\\?\\UNC\\")))
        found = QLatin1String("\\\\") + found.mid(8);
    else if (found.startsWith(QLatin1String("\\\\?\\")))
        found = found.mid(4);
    return fits(found) ? found : QString();
}

} // namespace

void Platform::runInFolder(QProcess &process, int folderDescriptor)
{
    // QProcess has no hook between creating the process and letting it run,
    // and says started() from within start(): the tool joins the job within
    // moments of starting, long before ExifTool has started its Perl. A
    // program killed in those moments leaves that one tool behind.
    if (!process.property(JobConnected).toBool()) {
        process.setProperty(JobConnected, true);
        QObject::connect(&process, &QProcess::started, &process,
                         [&process] { joinToolJob(process.processId()); });
    }
    // The tools keep every core busy; a little lower priority keeps the
    // window quick to answer meanwhile. ExifTool is a console program: it
    // gets a console without a window, so none flashes up for each tool,
    // whether or not the program itself was started from a console.
    process.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments *arguments) {
        arguments->flags &= ~DWORD(CREATE_NEW_CONSOLE | DETACHED_PROCESS);
        arguments->flags |= BELOW_NORMAL_PRIORITY_CLASS | CREATE_NO_WINDOW;
    });
    if (folderDescriptor < 0)
        return;
    // Never let a tool write relative names anywhere but where it was sent.
    // The held folder cannot be renamed, so its path names it until the tool
    // has started. A folder that cannot be named gets a working folder no
    // system accepts ('<' is refused in every name), so the tool does not
    // start at all rather than start elsewhere.
    const QString folder = workingFolder(folderDescriptor);
    process.setWorkingDirectory(folder.isEmpty() ? QStringLiteral("<no folder>") : folder);
}

bool Platform::toolCanWorkIn(int folderDescriptor)
{
    return !workingFolder(folderDescriptor).isEmpty();
}

QStringList Platform::toolFileNameArguments()
{
    // Names reach the tool as UTF-8 (see files.cpp); without this ExifTool
    // would take them in the ANSI code page.
    return {QStringLiteral("-charset"), QStringLiteral("filename=utf8")};
}

QString Platform::toolInstallHint()
{
    return QStringLiteral("Please install it (from https://exiftool.org) and try again.");
}
