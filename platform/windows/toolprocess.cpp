#include "platform/toolprocess.h"
#include "platform/files.h"

#include <QProcess>
#include <QVariant>
#include <memory>
#include <vector>
#include <windows.h>

namespace {

using Held = std::shared_ptr<void>;

Held held(HANDLE handle)
{
    return handle ? Held(handle, CloseHandle) : Held();
}

// A job of each tool's own, so that it can be ended with the processes it
// started. Only the program holds a handle to it (not one a child
// inherits), so when the program ends, however it ends, the handle closes
// and the system ends every process in the job: a resident ExifTool and the
// Perl it starts. The program itself stays out of the job, so that what it
// opens for the user (a browser, an Explorer window) outlives it.
class ToolJob : public QObject {
public:
    explicit ToolJob(QProcess &process)
        : QObject(&process)
    {
        setObjectName(QLatin1String(Name));
        HANDLE made = CreateJobObjectW(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (made && !SetInformationJobObject(made, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
            CloseHandle(made);
            made = nullptr;
        }
        job = held(made);
    }

    static ToolJob *of(const QProcess &process)
    {
        return static_cast<ToolJob *>(
            process.findChild<QObject *>(QLatin1String(Name), Qt::FindDirectChildrenOnly));
    }

    // The job's handle goes with the process object: what is left in it ends.
    Held job;

private:
    static constexpr char Name[] = "ostrellToolJob";
};

const char JobConnected[] = "ostrellToolJobConnected";

void joinToolJob(QProcess &process)
{
    delete ToolJob::of(process);
    auto *made = new ToolJob(process);
    if (!made->job || process.processId() <= 0)
        return;
    // The QProcess holds the process's handle, so the number cannot have
    // passed to another process yet.
    const Held tool = held(OpenProcess(PROCESS_SET_QUOTA | PROCESS_TERMINATE, FALSE, DWORD(process.processId())));
    // A tool starts in the program's own job, when the program runs in one
    // (started by a terminal, an IDE, a launcher). Windows 8 and later nest
    // this job inside it; where the system or that job's limits refuse the
    // nesting, the tool runs on outside this job: it then ends with its input
    // closed when the program closes normally, though not when it is killed.
    if (!tool || !AssignProcessToJobObject(made->job.get(), tool.get()))
        made->job.reset();
}

// The processes in the job, each opened to be waited for.
std::vector<Held> processesIn(HANDLE job)
{
    constexpr DWORD Most = 64; // as many as one wait takes
    struct {
        JOBOBJECT_BASIC_PROCESS_ID_LIST list;
        ULONG_PTR more[Most - 1];
    } ids{};
    ids.list.NumberOfAssignedProcesses = Most;
    std::vector<Held> opened;
    if (!QueryInformationJobObject(job, JobObjectBasicProcessIdList, &ids, sizeof ids, nullptr))
        return opened;
    for (DWORD i = 0; i < ids.list.NumberOfProcessIdsInList && i < Most; ++i)
        if (Held process = held(OpenProcess(SYNCHRONIZE, FALSE, DWORD(ids.list.ProcessIdList[i]))))
            opened.push_back(std::move(process));
    return opened;
}

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
        QObject::connect(&process, &QProcess::started, &process, [&process] { joinToolJob(process); });
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

Platform::ToolGone Platform::endTool(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return [](int) { return true; };
    // Opened before anything ends, so that no number can pass to another
    // process meanwhile: the tool itself, in its job or not, and what it started.
    std::vector<Held> gone;
    if (Held tool = held(OpenProcess(SYNCHRONIZE, FALSE, DWORD(process.processId()))))
        gone.push_back(std::move(tool));
    const ToolJob *job = ToolJob::of(process);
    if (job && job->job) {
        for (Held &started : processesIn(job->job.get()))
            gone.push_back(std::move(started));
        TerminateJobObject(job->job.get(), 1);
    }
    process.kill();
    gone.resize(qMin<size_t>(gone.size(), MAXIMUM_WAIT_OBJECTS));
    return [gone](int timeoutMs) {
        std::vector<HANDLE> handles;
        for (const Held &process : gone)
            handles.push_back(process.get());
        return handles.empty()
            || WaitForMultipleObjects(DWORD(handles.size()), handles.data(), TRUE, DWORD(qMax(0, timeoutMs)))
                < WAIT_OBJECT_0 + handles.size();
    };
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
