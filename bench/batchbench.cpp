// Times the window's run against ExifTool used as a shell uses it, on N
// copies of a small phone photo and of a large camera photo:
//   - the floor: one "exiftool -stay_open True -@ ARGFILE" per core, started
//     by a shell, every command in its argument file;
//   - by hand: "exiftool -TAG=V -o DIR/ FILES", started by a shell;
//   - the window: "Start Changing" clicked, until its end message, in a real
//     X server when DISPLAY is set (run it under xvfb-run), else offscreen;
//   - the engine alone, with and without the read-back check and the sync;
//   - the floor again, its copies synced to disk once all are written.
// Prints medians of interleaved rounds, the processor time of everything and
// of this program alone, the ratios, the longest stall of the window's event
// loop and the peak memory.
//
//   ostrell_batchbench [COPIES=1000] [ROUNDS=3]
//   ostrell_batchbench --memory [COPIES=20000]   (peak memory of one window run)
//   ostrell_batchbench --only K [COPIES] [ROUNDS] (one way: 0 floor, 1 by hand,
//                                                2 window, 3-5 engine, 6 floor synced)
//   --phone: the phone photo only (for a profiler)
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <cstdio>

#include "app/shared/dialogs.h"
#include "app/window/form1.h"
#include "bench/benchphotos.h"
#include "bench/benchplatform.h"
#include "bench/stallprobe.h"
#include "filelist/filelistmodel.h"
#include "platform/filenames.h"
#include "writer/command/batchrun.h"
#include "writer/engine/writerengine.h"
#include "writer/verify/verifier.h"

namespace {

const QString Tag = QStringLiteral("XPTitle");
const QString Value = QStringLiteral("Benchmark run ÆØÅ");

// --only K: just the K-th way, to profile it (see the list in benchmarkPhoto).
int onlyWay = -1;

class QuietDialogs : public Dialogs {
public:
    void message(const QString &text, const QString &) override { last = text; }
    void warning(const QString &, const QString &text) override { last = text; }
    bool question(const QString &) override { return false; }
    QString inputText(const QString &, const QString &) override { return QString(); }
    QStringList openFileNames(const QString &, const QString &) override { return {}; }
    QString browseForFolder(const QString &, const QString &) override { return QString(); }
    bool openUrl(const QUrl &) override { return false; }
    QString last;
};

class ListSource : public JobSource {
public:
    ListSource(const QStringList &files, const QString &folder)
        : m_files(files)
        , m_folder(Platform::encodeName(QDir::toNativeSeparators(folder)))
    {
    }
    std::optional<WriteJob> nextJob() override
    {
        if (m_next >= m_files.size())
            return std::nullopt;
        const QString &file = m_files.at(m_next++);
        WriteJob job;
        job.position = m_next;
        job.source = file;
        // Paths as the window makes them: the system's separators and encoding.
        job.sourcePath = Platform::encodeName(QDir::toNativeSeparators(file));
        job.resultsFolder = m_folder;
        job.finalPath = Platform::joinedPath(m_folder, Platform::nameOfPath(job.sourcePath));
        job.assignment = Assignment{QStringLiteral("-") + Tag + '=', Value};
        job.tagName = Tag;
        return job;
    }

private:
    QStringList m_files;
    QByteArray m_folder;
    int m_next = 0;
};

// Each run starts on an empty folder and a disk that is done writing the
// last one's copies, so no run pays for another's write-back.
void clearFolder(const QString &folder)
{
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    flushDisks();
}

CopyCheck check(const QByteArray &source, const QByteArray &copy, const QString &tag, const QString &value)
{
    return verifyCopy(source, copy, {tag, value});
}

struct Outcome {
    double seconds = 0;
    qint64 stallMs = 0;
    int written = 0;
    QString message;
};

Outcome runEngine(const QStringList &files, const QString &out, bool verify, bool sync)
{
    clearFolder(out);
    ListSource source(files, out);
    WriterEngine::Options options;
    // Found as the window finds it: exiftool.exe on Windows.
    options.toolPath = QStandardPaths::findExecutable(QStringLiteral("exiftool"));
    options.resultsFolder = out;
    options.syncCopies = sync;
    if (verify)
        options.verifier = check;
    WriterEngine engine(source, options);
    Outcome result;
    QObject::connect(&engine, &WriterEngine::fileDone, [&](const FileOutcome &outcome) {
        result.written += countsAsWritten(outcome.kind) ? 1 : 0;
        if (!countsAsWritten(outcome.kind) && result.message.isEmpty())
            result.message = outcome.reason;
    });
    // A way that wrote nothing says why, rather than print a time.
    QObject::connect(&engine, &WriterEngine::failedToStart,
                     [&](const QString &reason) { result.message = reason; });
    QEventLoop loop;
    QObject::connect(&engine, &WriterEngine::finished, &loop, &QEventLoop::quit);
    QObject::connect(&engine, &WriterEngine::failedToStart, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    engine.start(int(files.size()));
    loop.exec();
    result.seconds = clock.elapsed() / 1000.0;
    return result;
}

// "Start Changing" clicked in the shown window, timed to its end message.
Outcome runWindow(const QStringList &files, const QString &out)
{
    clearFolder(out);
    QuietDialogs dialogs;
    Form1 window(&dialogs);
    window.show();
    window.fileList().appendEntries(files);
    window.findChild<QComboBox *>(QStringLiteral("Combo1"))->setCurrentText(QStringLiteral("Title"));
    window.findChild<QPlainTextEdit *>(QStringLiteral("Text1"))->setPlainText(Value);
    window.findChild<QLineEdit *>(QStringLiteral("Text2"))->setText(out);
    QEventLoop settle;
    QTimer::singleShot(200, &settle, &QEventLoop::quit);
    settle.exec();
    QEventLoop loop;
    QObject::connect(&window.batchRun(), &BatchRun::runFinished, &loop, &QEventLoop::quit);
    StallProbe probe;
    QElapsedTimer clock;
    clock.start();
    probe.start();
    window.findChild<QPushButton *>(QStringLiteral("PushButton3"))->click();
    loop.exec();
    Outcome result;
    result.seconds = clock.elapsed() / 1000.0;
    result.stallMs = probe.stop();
    result.message = dialogs.last;
    // The run lets go of its tools with the next turn of the event loop;
    // they end (and count) here, not in the next timing.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return result;
}

// The limit of any writer built on resident ExifTools: one per core, each
// with every command of its share in an argument file, as a shell starts them.
// With `synced`, the copies are then synced to disk, all at once: the limit
// of a writer whose copies survive a power cut.
double runFloor(const QStringList &files, const QString &out, int tools, const QString &argumentFolder,
                bool synced = false)
{
    clearFolder(out);
    QStringList argumentFiles;
    for (int t = 0; t < tools; ++t) {
        QByteArray commands;
        for (int i = t; i < files.size(); i += tools)
            commands += "-E\n-o\n" + QFile::encodeName(out + '/' + QFileInfo(files.at(i)).fileName())
                + "\n-" + Tag.toUtf8() + '=' + Value.toUtf8() + '\n' + QFile::encodeName(files.at(i))
                + "\n-execute\n";
        commands += "-stay_open\nFalse\n";
        argumentFiles.append(argumentFolder + QStringLiteral("/tool%1.args").arg(t));
        QFile file(argumentFiles.last());
        if (!file.open(QIODevice::WriteOnly) || file.write(commands) != commands.size())
            return -1;
    }
    return residentToolsSeconds(argumentFiles, synced ? out : QString());
}

double runByHand(const QStringList &files, const QString &out)
{
    clearFolder(out);
    return byHandSeconds(QStringLiteral("-%1=%2").arg(Tag, Value), out, files);
}

struct Way {
    Way(QString wayName, std::function<Outcome()> wayRun)
        : name(std::move(wayName))
        , run(std::move(wayRun))
    {
    }
    QString name;
    std::function<Outcome()> run;
    QList<double> seconds;
    QList<double> cpu;
    QList<double> ownCpu;
    QList<double> ownKernel;
    Outcome last;
    double median() const { return middle(seconds); }
    double medianCpu() const { return middle(cpu); }
    double medianOwnCpu() const { return middle(ownCpu); }
    double medianOwnKernel() const { return middle(ownKernel); }
    static double middle(QList<double> values)
    {
        std::sort(values.begin(), values.end());
        return values.isEmpty() ? 0 : values.at(values.size() / 2);
    }
};

void benchmarkPhoto(const QString &photo, const QString &label, int count, int rounds, const QString &work)
{
    const QString folder = work + QStringLiteral("/src-") + label;
    const QStringList files = listCopies(photo, folder, count);
    const QString out = work + QStringLiteral("/out");
    const int cores = QThread::idealThreadCount();
    // Once through first, so every run finds the photo in the page cache.
    runFloor(files.mid(0, 20), out, 1, work);

    QList<Way> ways{
        {QStringLiteral("floor, %1 resident tools (shell)").arg(cores),
         [&] { Outcome o; o.seconds = runFloor(files, out, cores, work); return o; }},
        {QStringLiteral("exiftool -o DIR/ FILES (shell)"), [&] { Outcome o; o.seconds = runByHand(files, out); return o; }},
        {QStringLiteral("window, Start Changing"), [&] { return runWindow(files, out); }},
        {QStringLiteral("engine, check and sync"), [&] { return runEngine(files, out, true, true); }},
        {QStringLiteral("engine, sync, no check"), [&] { return runEngine(files, out, false, true); }},
        {QStringLiteral("engine, no check, no sync"), [&] { return runEngine(files, out, false, false); }},
        {QStringLiteral("floor, copies then synced (shell)"),
         [&] { Outcome o; o.seconds = runFloor(files, out, cores, work, true); return o; }},
    };
    if (onlyWay >= 0 && onlyWay < ways.size())
        ways = QList<Way>{ways.at(onlyWay)};
    // The ways take turns, so a slow spell of the machine falls on all alike.
    for (int round = 0; round < rounds; ++round) {
        for (Way &way : ways) {
            // Removing the last way's copies is no part of this one's time.
            clearFolder(out);
            const double ownBefore = cpuSeconds(Processes::Self);
            const double kernelBefore = cpuSeconds(Processes::Self, CpuMode::Kernel);
            const double before = ownBefore + cpuSeconds(Processes::WaitedChildren);
            way.last = way.run();
            way.seconds.append(way.last.seconds);
            const double ownAfter = cpuSeconds(Processes::Self);
            way.cpu.append(ownAfter + cpuSeconds(Processes::WaitedChildren) - before);
            way.ownCpu.append(ownAfter - ownBefore);
            way.ownKernel.append(cpuSeconds(Processes::Self, CpuMode::Kernel) - kernelBefore);
        }
    }
    clearFolder(out);

    std::printf("\n%s photo: %.2f MB; %d copies; tag %s; medians of %d rounds\n", qPrintable(label),
                QFileInfo(photo).size() / 1e6, count, qPrintable(Tag), rounds);
    for (const Way &way : ways) {
        QStringList each;
        for (double seconds : way.seconds)
            each.append(QString::number(seconds, 'f', 2));
        QString note;
        if (!way.last.message.isEmpty())
            note = QStringLiteral("\"%1\", longest stall %2 ms").arg(way.last.message).arg(way.last.stallMs);
        else if (way.last.written)
            note = QStringLiteral("%1 written").arg(way.last.written);
        std::printf("  %-36s %6.2f s  processor %5.2f s (this program %4.2f s, %.3f ms a file, %.3f of it "
                    "in the kernel)  [%s] %s\n",
                    qPrintable(way.name + ':'), way.median(), way.medianCpu(), way.medianOwnCpu(),
                    1000.0 * way.medianOwnCpu() / count, 1000.0 * way.medianOwnKernel() / count,
                    qPrintable(each.join(' ')), qPrintable(note));
    }
    if (ways.size() < 7)
        return;
    // The limit a writer is judged by: its copies are checked and survive a
    // power cut, so the floor it is held to syncs its copies too.
    const double durableFloor = ways[6].median();
    std::printf("  window / durable floor %.3f (limit 1.05); this program %.3f ms a file in the window, "
                "%.3f in the engine\n",
                ways[2].median() / durableFloor, 1000.0 * ways[2].medianOwnCpu() / count,
                1000.0 * ways[3].medianOwnCpu() / count);
    std::printf("  other ratios: engine / durable floor %.3f; window / floor %.3f; window / by hand %.3f\n",
                ways[3].median() / durableFloor, ways[2].median() / ways[0].median(),
                ways[2].median() / ways[1].median());
    std::printf("  cost of the check %+.1f %%, of the sync %+.1f %% (engine's wall time)\n",
                100.0 * (ways[3].median() - ways[4].median()) / ways[4].median(),
                100.0 * (ways[4].median() - ways[5].median()) / ways[5].median());
}

} // namespace

int main(int argc, char **argv)
{
    chooseWindowPlatform();
    QTemporaryDir work;
    isolateSettings(work.filePath(QStringLiteral("config")));
    QApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    const bool memory = arguments.removeAll(QStringLiteral("--memory")) > 0;
    const bool phoneOnly = arguments.removeAll(QStringLiteral("--phone")) > 0;
    if (const int at = arguments.indexOf(QStringLiteral("--only")); at >= 0 && at + 1 < arguments.size()) {
        onlyWay = arguments.at(at + 1).toInt();
        arguments.remove(at, 2);
    }
    const int count = arguments.value(0).toInt() > 0 ? arguments.value(0).toInt() : (memory ? 20000 : 1000);
    const int rounds = std::max(1, arguments.value(1).toInt() > 0 ? arguments.value(1).toInt() : 3);

    const QString small = work.filePath(QStringLiteral("phone.jpg"));
    const QString large = work.filePath(QStringLiteral("camera.jpg"));
    if (!makePhoto(work.path(), small, 1024, 768, 92) || (!memory && !phoneOnly && !makePhoto(work.path(), large, 4000, 3000, 88))) {
        std::fprintf(stderr, "could not make the photos (is exiftool installed?)\n");
        return 1;
    }
    std::printf("machine: %d cores (QThread::idealThreadCount), %s; window on %s\n",
                QThread::idealThreadCount(), qPrintable(QSysInfo::prettyProductName()),
                qPrintable(QGuiApplication::platformName()));
    if (memory) {
        const QStringList files = listCopies(small, work.filePath(QStringLiteral("src")), count);
        const Outcome outcome = runWindow(files, work.filePath(QStringLiteral("out")));
        std::printf("window run of %d files: %.1f s, \"%s\", longest stall %lld ms, peak memory %.1f MB\n",
                    count, outcome.seconds, qPrintable(outcome.message), outcome.stallMs,
                    peakKilobytes(Processes::Self) / 1024.0);
        return 0;
    }
    benchmarkPhoto(small, QStringLiteral("phone"), count, rounds, work.path());
    if (!phoneOnly)
        benchmarkPhoto(large, QStringLiteral("camera"), std::max(1, count / 4), rounds, work.path());
    std::printf("\npeak memory: this process %.1f MB, largest tool %.1f MB\n",
                peakKilobytes(Processes::Self) / 1024.0, peakKilobytes(Processes::WaitedChildren) / 1024.0);
    return 0;
}
