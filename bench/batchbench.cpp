// Times the writer against ExifTool used by hand, on N copies of one photo:
// the engine with one tool and with one per core, the window's own run,
// "exiftool -TAG=V -o DIR/ FILES" as one process, one process per file, and
// the floor: as many resident tools fed all their commands at once. Prints
// each time, the ratios, the longest stall of the event loop during the
// engine's run and the peak memory.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <functional>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

#include "app/dialogs.h"
#include "app/window/form1.h"
#include "filelist/filelistmodel.h"
#include "writer/batchrun.h"
#include "writer/verifier.h"
#include "writer/writerengine.h"

namespace {

const QString Tag = QStringLiteral("XPTitle");
const QString Value = QStringLiteral("Benchmark run ÆØÅ");

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
        , m_folder(QFile::encodeName(folder))
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
        job.sourcePath = QFile::encodeName(file);
        job.resultsFolder = m_folder;
        job.finalPath = m_folder + '/' + QFile::encodeName(QFileInfo(file).fileName());
        job.assignment = Assignment{QStringLiteral("-") + Tag + '=', Value};
        job.tagName = Tag;
        return job;
    }

private:
    QStringList m_files;
    QByteArray m_folder;
    int m_next = 0;
};

// The longest gap between the ticks of a 1 ms timer: how long the event loop
// was kept from the window.
class StallProbe {
public:
    StallProbe()
    {
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_longest = std::max(m_longest, m_clock.restart());
        });
    }
    void start()
    {
        m_longest = 0;
        m_clock.start();
        m_timer.start();
    }
    qint64 stop()
    {
        m_timer.stop();
        return m_longest;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
};

bool run(const QString &program, const QStringList &arguments)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    tool.start(program, arguments);
    tool.waitForFinished(-1);
    tool.readAllStandardOutput();
    return tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}

// A 12-megapixel picture with what cameras write: maker notes, a thumbnail,
// dates and exposure data.
bool makePhoto(const QString &folder, const QString &path)
{
    QImage picture(4000, 3000, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < picture.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            const int grain = int(random.bounded(24));
            const int r = int(128 + 100 * std::sin(x / 211.0) * std::cos(y / 157.0)) + grain;
            const int g = int(120 + 90 * std::sin((x + y) / 313.0)) + grain;
            const int b = int(110 + 80 * std::cos(x / 97.0 - y / 251.0)) + grain;
            line[x] = qRgb(qBound(0, r, 255), qBound(0, g, 255), qBound(0, b, 255));
        }
    }
    const QString thumbnail = folder + QStringLiteral("/thumb.jpg");
    const QString makerNotes = folder + QStringLiteral("/makernotes.bin");
    if (!picture.save(path, "JPEG", 90) || !picture.scaled(160, 120).save(thumbnail, "JPEG", 80))
        return false;
    // A Canon maker-note directory: file number, serial number, model.
    QByteArray notes("\x00\x03", 2);
    const auto entry = [&](quint16 tag, quint32 value) {
        const char bytes[12] = {char(tag >> 8), char(tag), 0, 4, 0, 0, 0, 1,
                                char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
        notes.append(bytes, 12);
    };
    entry(0x0008, 1001234);
    entry(0x000c, 123456789);
    entry(0x0010, 0x80000213);
    notes.append(4, '\0');
    QFile file(makerNotes);
    if (!file.open(QIODevice::WriteOnly) || file.write(notes) != notes.size())
        return false;
    file.close();
    return run(QStringLiteral("exiftool"),
               {QStringLiteral("-q"), QStringLiteral("-overwrite_original"),
                QStringLiteral("-Make=Canon"), QStringLiteral("-Model=Canon EOS 5D"),
                QStringLiteral("-MakerNoteCanon<=") + makerNotes,
                QStringLiteral("-ThumbnailImage<=") + thumbnail,
                QStringLiteral("-DateTimeOriginal=2021:08:31 12:34:56"),
                QStringLiteral("-CreateDate=2021:08:31 12:34:56"),
                QStringLiteral("-ExposureTime=1/250"), QStringLiteral("-FNumber=5.6"),
                QStringLiteral("-ISO=200"), QStringLiteral("-GPSLatitude=59.91"),
                QStringLiteral("-GPSLatitudeRef=N"), QStringLiteral("-GPSLongitude=10.75"),
                QStringLiteral("-GPSLongitudeRef=E"), path});
}

// Each run starts on an empty folder and a disk that is done writing the
// last one's gigabytes, so no run pays for another's write-back.
void clearFolder(const QString &folder)
{
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    ::sync();
}

struct EngineRun {
    double seconds = 0;
    qint64 stallMs = 0;
    int written = 0;
};

CopyCheck check(const QByteArray &source, const QByteArray &copy, const QString &tag, const QString &value)
{
    return verifyCopy(source, copy, {tag, value});
}

EngineRun runEngine(const QStringList &files, const QString &out, int workers, bool verify = true)
{
    clearFolder(out);
    ListSource source(files, out);
    WriterEngine::Options options;
    options.toolPath = QStringLiteral("exiftool");
    options.workers = workers;
    options.workingFolder = out;
    if (verify)
        options.verifier = check;
    WriterEngine engine(source, options);
    EngineRun result;
    QObject::connect(&engine, &WriterEngine::fileDone, [&](const FileOutcome &outcome) {
        result.written += countsAsWritten(outcome.kind) ? 1 : 0;
    });
    QEventLoop loop;
    QObject::connect(&engine, &WriterEngine::finished, &loop, &QEventLoop::quit);
    StallProbe probe;
    QElapsedTimer clock;
    clock.start();
    probe.start();
    engine.start(int(files.size()));
    loop.exec();
    result.seconds = clock.elapsed() / 1000.0;
    result.stallMs = probe.stop();
    return result;
}

double runWindow(const QStringList &files, const QString &out, QString *message)
{
    clearFolder(out);
    QuietDialogs dialogs;
    Form1 window(&dialogs);
    window.fileList().appendEntries(files);
    window.findChild<QComboBox *>(QStringLiteral("Combo1"))->setCurrentText(QStringLiteral("Title"));
    window.findChild<QPlainTextEdit *>(QStringLiteral("Text1"))->setPlainText(Value);
    window.findChild<QLineEdit *>(QStringLiteral("Text2"))->setText(out);
    QEventLoop loop;
    QObject::connect(&window.batchRun(), &BatchRun::runFinished, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    window.PushButton3_Click();
    loop.exec();
    const double seconds = clock.elapsed() / 1000.0;
    // The run lets go of its tools with the next turn of the event loop;
    // they end (and count) here, not in the next timing.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    *message = dialogs.last;
    return seconds;
}

// The limit of any writer built on resident ExifTools: every command written
// at once, the copies made straight under their final names.
double runFloor(const QStringList &files, const QString &out, int tools)
{
    clearFolder(out);
    QList<QProcess *> processes;
    QElapsedTimer clock;
    clock.start();
    for (int t = 0; t < tools; ++t) {
        auto *tool = new QProcess;
        tool->start(QStringLiteral("exiftool"), {QStringLiteral("-stay_open"), QStringLiteral("True"),
                                                 QStringLiteral("-@"), QStringLiteral("-")});
        QByteArray commands;
        for (int i = t; i < files.size(); i += tools) {
            commands += "-E\n-o\n" + QFile::encodeName(out + '/' + QFileInfo(files.at(i)).fileName())
                + "\n-" + Tag.toUtf8() + '=' + Value.toUtf8() + '\n' + QFile::encodeName(files.at(i))
                + "\n-execute\n";
        }
        commands += "-stay_open\nFalse\n";
        tool->write(commands);
        tool->closeWriteChannel();
        processes.append(tool);
    }
    // Both tools are served by one event loop, so neither waits for the other's input.
    QEventLoop loop;
    int running = int(processes.size());
    for (QProcess *tool : processes) {
        QObject::connect(tool, &QProcess::readyReadStandardOutput, tool, [tool] { tool->readAllStandardOutput(); });
        QObject::connect(tool, &QProcess::finished, &loop, [&] {
            if (--running == 0)
                loop.quit();
        });
    }
    loop.exec();
    const double seconds = clock.elapsed() / 1000.0;
    qDeleteAll(processes);
    return seconds;
}

// Processor time of this process and of the tools it has waited for.
double cpuSeconds()
{
    double total = 0;
    for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage usage{};
        getrusage(who, &usage);
        total += usage.ru_utime.tv_sec + usage.ru_stime.tv_sec
            + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    return total;
}

long peakKilobytes(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir work;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(work.filePath(QStringLiteral("config"))));
    QApplication app(argc, argv);
    const int count = argc > 1 && argv[1][0] ? QString::fromLocal8Bit(argv[1]).toInt() : 1000;
    QString photo = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();

    QDir root(work.path());
    root.mkdir(QStringLiteral("src"));
    if (photo.isEmpty()) {
        photo = root.filePath(QStringLiteral("photo.jpg"));
        if (!makePhoto(work.path(), photo)) {
            std::fprintf(stderr, "could not make the photo (is exiftool installed?)\n");
            return 1;
        }
    }
    QStringList files;
    for (int i = 0; i < count; ++i) {
        const QString path = root.filePath(QStringLiteral("src/IMG_%1.jpg").arg(i, 4, 10, QLatin1Char('0')));
        // Hard links: the same bytes N times without N times the disk.
        if (::link(QFile::encodeName(photo).constData(), QFile::encodeName(path).constData()) != 0
            && !QFile::copy(photo, path)) {
            std::fprintf(stderr, "could not list %s\n", qPrintable(path));
            return 1;
        }
        files.append(path);
    }
    const QString out = root.filePath(QStringLiteral("out"));
    const int cores = QThread::idealThreadCount();

    // Once through first, so every run finds the photo in the page cache.
    runFloor(files.mid(0, 20), out, 1);

    // Each way runs `rounds` times, the ways taking turns, so that a slow
    // spell of the machine falls on all of them alike; medians are shown.
    const int rounds = argc > 3 ? std::max(1, QString::fromLocal8Bit(argv[3]).toInt()) : 3;
    const int sample = std::min<int>(50, int(files.size()));
    struct Way {
        Way(QString wayName, std::function<double()> wayRun, double wayScale = 1)
            : name(std::move(wayName))
            , run(std::move(wayRun))
            , scale(wayScale)
        {
        }
        QString name;
        std::function<double()> run;
        double scale = 1;
        QList<double> seconds;
        QList<double> cpu;
        QString note;
        double medianSeconds() const { return median(seconds); }
        double medianCpu() const { return median(cpu); }
        static double median(QList<double> values)
        {
            std::sort(values.begin(), values.end());
            return values.isEmpty() ? 0 : values.at(values.size() / 2);
        }
    };
    EngineRun single, parallel, unchecked;
    QString windowMessage;
    QList<qint64> stalls, singleStalls;
    QList<Way> ways{
        {QStringLiteral("engine, 1 tool"), [&] {
             single = runEngine(files, out, 1);
             singleStalls.append(single.stallMs);
             return single.seconds;
         }},
        {QStringLiteral("engine, %1 tools").arg(cores), [&] {
             parallel = runEngine(files, out, 0);
             stalls.append(parallel.stallMs);
             return parallel.seconds;
         }},
        {QStringLiteral("engine, %1 tools, no read-back").arg(cores),
         [&] { return (unchecked = runEngine(files, out, 0, false)).seconds; }},
        {QStringLiteral("window, Start Changing"), [&] { return runWindow(files, out, &windowMessage); }},
        {QStringLiteral("exiftool -o DIR/ FILES"), [&] {
             clearFolder(out);
             QElapsedTimer clock;
             clock.start();
             run(QStringLiteral("exiftool"), QStringList{QStringLiteral("-q"), QStringLiteral("-E"),
                                                         QStringLiteral("-") + Tag + '=' + Value,
                                                         QStringLiteral("-o"), out + '/'}
                                                 + files);
             return clock.elapsed() / 1000.0;
         }},
        {QStringLiteral("one exiftool per file (scaled)"), [&] {
             clearFolder(out);
             QElapsedTimer clock;
             clock.start();
             for (int i = 0; i < sample; ++i)
                 run(QStringLiteral("exiftool"),
                     {QStringLiteral("-q"), QStringLiteral("-") + Tag + '=' + Value, QStringLiteral("-o"),
                      out + '/' + QFileInfo(files.at(i)).fileName(), files.at(i)});
             return clock.elapsed() / 1000.0;
         }, double(files.size()) / sample},
        {QStringLiteral("floor, %1 resident tools").arg(cores), [&] { return runFloor(files, out, cores); }},
    };
    for (int round = 0; round < rounds; ++round) {
        for (Way &way : ways) {
            const double before = cpuSeconds();
            way.seconds.append(way.run() * way.scale);
            way.cpu.append((cpuSeconds() - before) * way.scale);
        }
    }
    clearFolder(out);
    ways[0].note = QStringLiteral("(%1 written)").arg(single.written);
    ways[1].note = QStringLiteral("(%1 written)").arg(parallel.written);
    ways[2].note = QStringLiteral("(%1 written)").arg(unchecked.written);
    ways[3].note = QStringLiteral("(\"%1\")").arg(windowMessage);
    ways[5].note = QStringLiteral("(%1 files timed)").arg(sample);

    const QFileInfo info(photo);
    std::printf("machine: %d cores (QThread::idealThreadCount), %s\n", cores,
                qPrintable(QSysInfo::prettyProductName()));
    std::printf("photo: %s, %.1f MB; %d copies; tag %s; medians of %d rounds\n",
                qPrintable(info.fileName()), info.size() / 1e6, count, qPrintable(Tag), rounds);
    for (const Way &way : ways) {
        QStringList each;
        for (double seconds : way.seconds)
            each.append(QString::number(seconds, 'f', 2));
        std::printf("%-34s %7.2f s  %7.2f s processor  [%s] %s\n", qPrintable(way.name + ':'),
                    way.medianSeconds(), way.medianCpu(), qPrintable(each.join(' ')),
                    qPrintable(way.note));
    }
    const double engine = ways[1].medianSeconds();
    std::printf("ratios: engine / one process %.2f; engine / floor %.2f; engine / per-file %.3f; "
                "1 tool / %d tools %.2f; window / engine %.2f\n",
                engine / ways[4].medianSeconds(), engine / ways[6].medianSeconds(),
                engine / ways[5].medianSeconds(), cores, ways[0].medianSeconds() / engine,
                ways[3].medianSeconds() / engine);
    std::printf("read-back check: %+.1f %% of the engine's time without it, %+.1f %% of its "
                "processor time\n",
                100.0 * (engine - ways[2].medianSeconds()) / ways[2].medianSeconds(),
                100.0 * (ways[1].medianCpu() - ways[2].medianCpu()) / ways[2].medianCpu());
    std::printf("longest event-loop stall during the engine's runs: %lld ms (1 tool: %lld ms)\n",
                *std::max_element(stalls.begin(), stalls.end()),
                *std::max_element(singleStalls.begin(), singleStalls.end()));
    std::printf("peak memory: this process %.1f MB, largest tool %.1f MB\n",
                peakKilobytes(RUSAGE_SELF) / 1024.0, peakKilobytes(RUSAGE_CHILDREN) / 1024.0);
    return 0;
}
