// Times the ways of making each picture's value against a plain run of the
// same photos, through the window: keywords added to each photo's own against
// keywords written as typed, dates shifted against a date written as typed.
// Then a spreadsheet of ROWS rows is read and its files listed: the time, the
// longest stall of the window's event loop, and the process's peak memory.
//
//   ostrell_valuesbench [PHOTOS=400] [ROUNDS=3] [ROWS=100000]
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "app/shared/dialogs.h"
#include "app/window/form1.h"
#include "app/window/valuechoice.h"
#include "bench/benchphotos.h"
#include "bench/benchplatform.h"
#include "bench/stallprobe.h"
#include "filelist/filelistmodel.h"

namespace {

class QuietDialogs : public Dialogs {
public:
    void message(const QString &text, const QString &) override { last = text; }
    void warning(const QString &, const QString &text) override { last = text; }
    bool question(const QString &) override { return false; }
    QString inputText(const QString &, const QString &) override { return QString(); }
    QStringList openFileNames(const QString &, const QString &) override { return {sheet}; }
    QString browseForFolder(const QString &, const QString &) override { return QString(); }
    bool openUrl(const QUrl &) override { return false; }
    QString last;
    QString sheet;
};

struct Way {
    const char *name;
    const char *tag;
    const char *way;
    const char *value;
    QList<double> seconds;
    double median() const
    {
        QList<double> sorted = seconds;
        std::sort(sorted.begin(), sorted.end());
        return sorted.value(sorted.size() / 2);
    }
};

double peakMegabytes()
{
    return peakKilobytes(Processes::Self) / 1024.0;
}

void settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// "Start Changing" clicked in the shown window, timed to its end message.
double runWindow(const QStringList &files, const QString &out, const Way &way, QString *message)
{
    QDir(out).removeRecursively();
    QDir().mkpath(out);
    flushDisks();
    QuietDialogs dialogs;
    Form1 window(&dialogs);
    window.show();
    window.fileList().appendEntries(files);
    window.findChild<QComboBox *>(QStringLiteral("Combo1"))->setCurrentText(QString::fromUtf8(way.tag));
    window.findChild<QComboBox *>(QStringLiteral("ValueWay"))->setCurrentText(QString::fromUtf8(way.way));
    window.findChild<QPlainTextEdit *>(QStringLiteral("Text1"))->setPlainText(QString::fromUtf8(way.value));
    window.findChild<QLineEdit *>(QStringLiteral("Text2"))->setText(out);
    settle(200);
    QEventLoop loop;
    QObject::connect(&window.batchRun(), &BatchRun::runFinished, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    window.findChild<QPushButton *>(QStringLiteral("PushButton3"))->click();
    loop.exec();
    const double seconds = clock.elapsed() / 1000.0;
    *message = dialogs.last;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return seconds;
}

// The spreadsheet read and its files listed through "Values From File…".
void loadSheet(const QString &photo, const QString &folder, int rows)
{
    const QStringList files = listCopies(photo, folder, rows);
    QString text = QStringLiteral("File,Title\r\n");
    for (int i = 0; i < files.size(); ++i)
        text += QStringLiteral("%1,\"Title %2, row %3\"\r\n").arg(QFileInfo(files.at(i)).fileName()).arg(i).arg(i + 2);
    QuietDialogs dialogs;
    dialogs.sheet = folder + QStringLiteral("/values.csv");
    QFile sheet(dialogs.sheet);
    if (!sheet.open(QIODevice::WriteOnly) || sheet.write(text.toUtf8()) < 0)
        return;
    sheet.close();
    text.clear();
    const double before = peakMegabytes();
    Form1 window(&dialogs);
    window.show();
    settle(200);
    QEventLoop loop;
    QObject::connect(window.findChild<ValueChoice *>(), &ValueChoice::loaded, &loop, &QEventLoop::quit);
    StallProbe probe;
    QElapsedTimer clock;
    clock.start();
    probe.start();
    window.findChild<QPushButton *>(QStringLiteral("ValuesFromFile"))->click();
    loop.exec();
    const double seconds = clock.elapsed() / 1000.0;
    std::printf("spreadsheet of %d rows read and listed: %.2f s, %d entries, longest stall %lld ms, "
                "peak memory %.1f MB (%.1f MB before the window)%s%s\n",
                rows, seconds, window.entryCount(), probe.stop(), peakMegabytes(), before,
                dialogs.last.isEmpty() ? "" : ", said: ", qPrintable(dialogs.last));
}

} // namespace

int main(int argc, char **argv)
{
    chooseWindowPlatform();
    QTemporaryDir work;
    isolateSettings(work.filePath(QStringLiteral("config")));
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    const int count = std::max(1, arguments.value(0, QStringLiteral("400")).toInt());
    const int rounds = std::max(1, arguments.value(1, QStringLiteral("3")).toInt());
    const int rows = std::max(1, arguments.value(2, QStringLiteral("100000")).toInt());

    const QString photo = work.filePath(QStringLiteral("phone.jpg"));
    if (!makePhoto(work.path(), photo, 1024, 768, 92)
        || !runProgram(QStringLiteral("exiftool"), {QStringLiteral("-q"), QStringLiteral("-overwrite_original"),
                                                     QStringLiteral("-XPKeywords=sea;sun;harbour"), photo})) {
        std::fprintf(stderr, "could not make the photo (is exiftool installed?)\n");
        return 1;
    }
    std::printf("machine: %d cores, %s; window on %s\n", QThread::idealThreadCount(),
                qPrintable(QSysInfo::prettyProductName()), qPrintable(QGuiApplication::platformName()));
    // First, while the process is small, so its peak is the spreadsheet's.
    loadSheet(photo, work.filePath(QStringLiteral("many")), rows);

    const QStringList files = listCopies(photo, work.filePath(QStringLiteral("src")), count);
    Way ways[] = {
        {"keywords as typed", "Keywords", "Write as typed", "boat;gull", {}},
        {"keywords added", "Keywords", "Add to each picture's keywords", "boat;gull", {}},
        {"date as typed", "Date and Time (original)", "Write as typed", "2021:08:31 12:00:00", {}},
        {"date shifted", "Date and Time (original)", "Shift each picture's date by", "+1h30m", {}},
    };
    for (int round = 0; round < rounds; ++round)
        for (Way &way : ways) {
            QString message;
            way.seconds.append(runWindow(files, work.filePath(QStringLiteral("out")), way, &message));
            if (message != QLatin1String("Done."))
                std::printf("%s: %s\n", way.name, qPrintable(message));
        }
    for (const Way &way : ways)
        std::printf("%-18s %d photos: median %.2f s of %d rounds\n", way.name, count, way.median(), rounds);
    std::printf("keywords added / as typed: %.3f (target 1.10 at most)\n", ways[1].median() / ways[0].median());
    std::printf("date shifted / as typed:   %.3f (target 1.10 at most)\n", ways[3].median() / ways[2].median());
    return 0;
}
