// Times a run over generated pictures through the resident ExifTool against
// one ExifTool process per file on the same pictures, and prints both.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

#include "app/dialogs.h"
#include "writer/batchrun.h"

namespace {

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

class ListHost : public BatchHost {
public:
    QStringList files;
    QString folder;
    int entryCount() const override { return int(files.size()); }
    QString entryText(int position) const override { return files.value(position - 1); }
    QString tagLabel() const override { return QStringLiteral("Artist"); }
    QString tagValue() const override { return QStringLiteral("Benchmark run"); }
    QString resultsFolder() const override { return folder; }
    void setBusyPointer(bool) override {}
    void setBarValue(int value) override { m_value = value; }
    int barValue() const override { return m_value; }
    void setBarText(const QString &text) override { m_text = text; }
    QString barText() const override { return m_text; }

private:
    int m_value = 0;
    QString m_text;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 200;

    QTemporaryDir work;
    QDir root(work.path());
    root.mkdir(QStringLiteral("src"));
    root.mkdir(QStringLiteral("resident"));
    root.mkdir(QStringLiteral("perfile"));
    ListHost host;
    QImage picture(640, 480, QImage::Format_RGB32);
    for (int i = 0; i < count; ++i) {
        picture.fill(QColor::fromHsv(i % 360, 160, 200));
        const QString path = root.filePath(QStringLiteral("src/IMG_%1.jpg").arg(i, 4, 10, QLatin1Char('0')));
        picture.save(path, "JPEG", 85);
        host.files.append(path);
    }

    QuietDialogs dialogs;
    host.folder = root.filePath(QStringLiteral("resident"));
    BatchRun run(host, dialogs);
    QEventLoop loop;
    QObject::connect(&run, &BatchRun::runFinished, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    run.PushButton3_Click();
    loop.exec();
    const double resident = clock.elapsed() / 1000.0;

    clock.restart();
    for (const QString &source : host.files) {
        QProcess tool;
        tool.start(QStringLiteral("exiftool"),
                   {QStringLiteral("-o"), root.filePath(QStringLiteral("perfile/")) + QFileInfo(source).fileName(),
                    QStringLiteral("-Artist=Benchmark run"), source});
        tool.waitForFinished(-1);
    }
    const double perFile = clock.elapsed() / 1000.0;

    std::printf("files: %d\n", count);
    std::printf("resident ExifTool (one run): %.2f s, %.1f ms per file; run ended with \"%s\"\n",
                resident, 1000 * resident / count, qPrintable(dialogs.last));
    std::printf("one ExifTool process per file: %.2f s, %.1f ms per file\n", perFile,
                1000 * perFile / count);
    std::printf("ratio (per-process / resident): %.1f\n", perFile / resident);
    return 0;
}
