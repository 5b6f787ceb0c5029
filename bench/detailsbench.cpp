// Times the picture details: from a new selection to its thumbnail and tags
// shown, in the window, for a 5 MB camera photo with maker notes, with the
// longest stall of the window's event loop; then the count of a 20,000-entry
// list, its time and the peak memory.
//
//   ostrell_detailsbench [ENTRIES=20000]
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "app/details/listsummary.h"
#include "app/window/form1.h"
#include "app/window/picturedetailswindow.h"
#include "app/window/picturethumbnail.h"
#include "bench/benchphotos.h"
#include "bench/benchplatform.h"
#include "bench/stallprobe.h"
#include "filelist/filelistmodel.h"
#include "filelist/window/filelistview.h"

namespace {

void spinUntil(const std::function<bool()> &done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int entries = argc > 1 ? std::max(1, atoi(argv[1])) : 20000;
    QTemporaryDir dir;
    isolateSettings(dir.filePath(QStringLiteral("config")));
    // Noise compresses badly: about 5 MB at this size and quality.
    const QString big = dir.filePath(QStringLiteral("camera.jpg"));
    if (!makePhoto(dir.path(), big, 4000, 3000, 95)) {
        std::fprintf(stderr, "could not make the photo (is exiftool installed?)\n");
        return 1;
    }
    const QString other = dir.filePath(QStringLiteral("other.jpg"));
    makePhoto(dir.path(), other, 4000, 3000, 95);
    std::printf("platform %s; photo %.1f MB, 4000 x 3000, maker notes and thumbnail\n",
                qPrintable(QGuiApplication::platformName()), QFileInfo(big).size() / 1e6);

    Form1 form;
    form.show();
    form.fileList().appendEntries({big, other});
    auto *list = form.findChild<FileListView *>(QStringLiteral("ListView1"));
    auto *thumbnail = form.findChild<PictureThumbnail *>(QStringLiteral("Thumbnail"));
    form.findChild<QPushButton *>(QStringLiteral("DetailsButton"))->click();
    auto *details = form.findChild<PictureDetailsWindow *>(QStringLiteral("PictureDetails"));
    auto *dimensions = details->findChild<QLabel *>(QStringLiteral("DetailsDimensions"));
    QElapsedTimer settle;
    settle.start();
    spinUntil([&] { return settle.elapsed() > 500; }); // both windows shown and painted

    QList<qint64> times;
    qint64 longestStall = 0;
    StallProbe probe;
    for (int round = 0; round < 20; ++round) {
        const int row = round % 2;
        list->setCurrentIndex(list->model()->index(1 - row, 0));
        spinUntil([&] { return !thumbnail->picture().isNull() && !dimensions->text().isEmpty(); });
        probe.start();
        QElapsedTimer clock;
        clock.start();
        list->setCurrentIndex(list->model()->index(row, 0));
        spinUntil([&] {
            return !thumbnail->picture().isNull() && dimensions->text() == QStringLiteral("4000 × 3000 pixels");
        });
        times.append(clock.elapsed());
        longestStall = std::max(longestStall, probe.stop());
    }
    std::sort(times.begin(), times.end());
    std::printf("selection to thumbnail and tags shown: median %lld ms, slowest %lld ms of %d; "
                "longest stall of the window's event loop %lld ms\n",
                times.at(times.size() / 2), times.last(), int(times.size()), longestStall);
    form.close();

    // The count: hard links to two photos, so the disk holds two.
    const QStringList copies = listCopies(big, dir.filePath(QStringLiteral("list")), entries);
    QList<QByteArray> paths;
    for (const QString &copy : copies)
        paths.append(QFile::encodeName(copy));
    ListSummary summary(2 * 60 * 1000);
    bool counted = false;
    QString text;
    QObject::connect(&summary, &ListSummary::counted, [&](const QString &tag, const SummaryCount &count) {
        counted = true;
        text = summaryText(tag, count);
    });
    probe.start();
    QElapsedTimer clock;
    clock.start();
    summary.count(paths, QStringLiteral("Camera Model"));
    spinUntil([&] { return counted; });
    const double seconds = clock.elapsed() / 1000.0;
    std::printf("count of %d entries: %.1f s (\"%s\"), longest stall %lld ms, peak memory %.1f MB\n",
                entries, seconds, qPrintable(text), probe.stop(), peakKilobytes(Processes::Self) / 1024.0);
    return 0;
}
