// Adds a generated tree of 100,000 files through the window's folder command
// and reports how long it took next to find(1), and the longest time the
// window's event loop went without turning while the list filled.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "app/shared/dialogs.h"
#include "app/window/form1.h"
#include "bench/benchplatform.h"
#include "filelist/filelistmodel.h"
#include "filelist/scanqueue.h"

namespace {

class Answers : public Dialogs {
public:
    QString folder;
    void message(const QString &, const QString &) override {}
    void warning(const QString &, const QString &text) override
    {
        std::printf("report: %s\n", qPrintable(text));
    }
    bool question(const QString &) override { return false; }
    QString inputText(const QString &, const QString &) override { return QStringLiteral("jpg"); }
    QStringList openFileNames(const QString &, const QString &) override { return {}; }
    QString browseForFolder(const QString &, const QString &) override { return folder; }
    bool openUrl(const QUrl &) override { return false; }
};

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;
    isolateSettings(config.path());
    QApplication app(argc, argv);
    const int folders = 100, perFolder = 1000;

    QTemporaryDir work;
    const QString tree = work.filePath(QStringLiteral("tree"));
    for (int f = 0; f < folders; ++f) {
        const QString folder = QStringLiteral("%1/l%2/m%3/f%4").arg(tree).arg(f % 4).arg(f % 10).arg(f);
        QDir().mkpath(folder);
        for (int i = 0; i < perFolder; ++i) {
            QFile file(QStringLiteral("%1/IMG_%2.jpg").arg(folder).arg(i, 4, 10, QLatin1Char('0')));
            file.open(QIODevice::WriteOnly);
        }
    }

    QElapsedTimer clock;
    clock.start();
    QProcess find;
    find.start(QStringLiteral("find"), {tree, QStringLiteral("-type"), QStringLiteral("f")});
    find.waitForFinished(-1);
    const qint64 findMs = clock.elapsed();

    Answers answers;
    answers.folder = tree;
    Form1 window(&answers);
    window.show();

    QElapsedTimer sinceTick;
    qint64 longestStall = 0;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestStall = qMax(longestStall, sinceTick.elapsed());
        sinceTick.restart();
    });
    QObject::connect(&window.scanQueue(), &ScanQueue::jobFinished, &app, &QApplication::quit);
    QTimer::singleShot(0, [&] {
        sinceTick.start();
        ticker.start();
        clock.restart();
        window.PushButton4_Click();
    });
    app.exec();
    const qint64 addMs = clock.elapsed();

    std::printf("files in the tree: %d\n", folders * perFolder);
    std::printf("find -type f: %lld ms\n", static_cast<long long>(findMs));
    std::printf("window's folder command: %lld ms, %d entries listed\n",
                static_cast<long long>(addMs), window.fileList().entryCount());
    std::printf("ratio (window / find): %.1f\n", double(addMs) / double(qMax<qint64>(findMs, 1)));
    std::printf("longest stall of the window's event loop: %lld ms\n",
                static_cast<long long>(longestStall));
    return 0;
}
