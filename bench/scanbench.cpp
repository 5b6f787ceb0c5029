// Times the folder scan on a generated tree of 100,000 empty files (100
// folders of 1,000 files, three levels deep) and compares it with
// `find <tree> -type f`. Besides the wall time it reports how the main
// thread's event loop fared: the longest gap between two chunks of results,
// and the longest delay of a 5 ms timer (what a user would feel as a stall).
//
// Usage: ostrell_scanbench [folder-for-the-tree] [runs]

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "filelist/scanqueue.h"

namespace {

constexpr int FilesPerFolder = 1000;

// 4 folders at the first level, 4 in each of them, 5 in each of those: 100
// folders, every one holding files.
QStringList treeFolders(const QString &root)
{
    QStringList folders;
    for (int a = 0; a < 4; ++a) {
        const QString first = QStringLiteral("%1/level1_%2").arg(root).arg(a);
        folders.append(first);
        for (int b = 0; b < 4; ++b) {
            const QString second = QStringLiteral("%1/level2_%2").arg(first).arg(b);
            folders.append(second);
            for (int c = 0; c < 5; ++c)
                folders.append(QStringLiteral("%1/level3_%2").arg(second).arg(c));
        }
    }
    return folders;
}

bool buildTree(const QString &root)
{
    for (const QString &folder : treeFolders(root)) {
        if (!QDir().mkpath(folder))
            return false;
        for (int i = 0; i < FilesPerFolder; ++i) {
            QFile file(QStringLiteral("%1/IMG_%2.jpg").arg(folder).arg(i, 4, 10, QLatin1Char('0')));
            if (!file.open(QIODevice::WriteOnly))
                return false;
        }
    }
    return true;
}

struct ScanFigures {
    qint64 wallMs = 0;
    qint64 firstChunkMs = 0;
    qint64 longestChunkGapMs = 0;
    qint64 longestTimerDelayMs = 0;
    qsizetype entries = 0;
    qsizetype chunks = 0;
};

ScanFigures timeScan(const ScanItem &item)
{
    ScanFigures figures;
    ScanQueue queue;
    QEventLoop loop;
    QElapsedTimer wall;
    QElapsedTimer sinceChunk;
    ListEntries sink;

    QObject::connect(&queue, &ScanQueue::entriesFound, &loop, [&](const ListEntries &chunk) {
        if (figures.chunks == 0)
            figures.firstChunkMs = wall.elapsed();
        else
            figures.longestChunkGapMs = std::max(figures.longestChunkGapMs, sinceChunk.elapsed());
        sinceChunk.start();
        ++figures.chunks;
        sink += chunk;
    });
    QObject::connect(&queue, &ScanQueue::jobFinished, &loop, [&] {
        figures.wallMs = wall.elapsed();
        loop.quit();
    });

    QTimer ticker;
    ticker.setInterval(5);
    QElapsedTimer sinceTick;
    QObject::connect(&ticker, &QTimer::timeout, &loop, [&] {
        figures.longestTimerDelayMs = std::max(figures.longestTimerDelayMs, sinceTick.elapsed() - 5);
        sinceTick.start();
    });

    wall.start();
    sinceTick.start();
    ticker.start();
    queue.enqueue({item});
    loop.exec();
    figures.entries = sink.size();
    return figures;
}

qint64 timeFind(const QString &root)
{
    QProcess find;
    find.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    find.start(QStringLiteral("find"), {root, QStringLiteral("-type"), QStringLiteral("f")});
    if (!find.waitForFinished(-1) || find.exitCode() != 0)
        return -1;
    return timer.elapsed();
}

void printScan(const char *label, const ScanFigures &f)
{
    std::printf("%-22s %7lld ms  entries %lld in %lld chunks; first chunk after %lld ms, "
                "longest gap between chunks %lld ms, longest 5 ms timer delay %lld ms\n",
                label, qint64(f.wallMs), qint64(f.entries), qint64(f.chunks), qint64(f.firstChunkMs),
                qint64(f.longestChunkGapMs), qint64(f.longestTimerDelayMs));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTemporaryDir temporary(args.size() > 1 ? args.at(1) + QStringLiteral("/scanbench-XXXXXX")
                                            : QDir::tempPath() + QStringLiteral("/scanbench-XXXXXX"));
    const int runs = args.size() > 2 ? std::max(1, args.at(2).toInt()) : 3;
    if (!temporary.isValid()) {
        std::fprintf(stderr, "Cannot make a temporary folder\n");
        return 1;
    }
    const QString root = temporary.path();

    QElapsedTimer build;
    build.start();
    if (!buildTree(root)) {
        std::fprintf(stderr, "Cannot build the tree in %s\n", qPrintable(root));
        return 1;
    }
    std::printf("Tree of %d files in %s built in %lld ms\n", 100 * FilesPerFolder, qPrintable(root),
                qint64(build.elapsed()));

    const ScanItem command{ScanItem::Kind::FolderCommand, root, QStringLiteral("*.jpg"), {}};
    const ScanItem drop{ScanItem::Kind::FolderDrop, root, QStringLiteral("*.*"), {}};
    timeFind(root); // the same warm caches for every contender

    qint64 bestFind = -1;
    ScanFigures bestCommand, bestDrop;
    for (int run = 0; run < runs; ++run) {
        const qint64 find = timeFind(root);
        const ScanFigures c = timeScan(command);
        const ScanFigures d = timeScan(drop);
        std::printf("run %d: find %lld ms, command %lld ms, drop %lld ms\n", run + 1, find,
                    qint64(c.wallMs), qint64(d.wallMs));
        if (bestFind < 0 || (find >= 0 && find < bestFind))
            bestFind = find;
        if (run == 0 || c.wallMs < bestCommand.wallMs)
            bestCommand = c;
        if (run == 0 || d.wallMs < bestDrop.wallMs)
            bestDrop = d;
    }

    std::printf("\nBest of %d runs\n", runs);
    std::printf("%-22s %7lld ms\n", "find -type f", bestFind);
    printScan("folder command *.jpg", bestCommand);
    printScan("drop *.*", bestDrop);
    if (bestFind > 0) {
        std::printf("ratio command / find: %.1f\n", double(bestCommand.wallMs) / double(bestFind));
        std::printf("ratio drop / find:    %.1f\n", double(bestDrop.wallMs) / double(bestFind));
    }
    return bestCommand.entries == 100 * FilesPerFolder && bestDrop.entries == 100 * FilesPerFolder ? 0 : 2;
}
