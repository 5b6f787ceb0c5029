// Makes the screenshots of the picture details in docs/screenshots/: the
// window with the thumbnail beside the value box, and the details window, in
// a light and a dark desktop scheme. Run by scripts/make-details-screenshots
// under Xvfb. With "values", the choice of how the value is used, open, and
// the details of a picture whose keywords a run adds to (values-*.png).
//
//   ostrell_detailsshots OUTPUT_FOLDER [values]
#include <QApplication>
#include <QAbstractItemView>
#include <QComboBox>
#include <QScreen>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <cstdio>

#include "app/window/form1.h"
#include "app/window/picturedetailswindow.h"
#include "app/window/picturethumbnail.h"
#include "bench/benchphotos.h"
#include "bench/benchplatform.h"
#include "filelist/filelistmodel.h"
#include "filelist/window/filelistview.h"

namespace {

void spinUntil(const std::function<bool()> &done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
}

void spinFor(int ms)
{
    QElapsedTimer clock;
    clock.start();
    spinUntil([&] { return clock.elapsed() > ms; });
}

QPalette darkPalette()
{
    QPalette dark(QColor(0x35, 0x35, 0x35), QColor(0x2a, 0x2a, 0x2a));
    dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Base, QColor(0x24, 0x24, 0x24));
    dark.setColor(QPalette::AlternateBase, QColor(0x30, 0x30, 0x30));
    dark.setColor(QPalette::Highlight, QColor(0x35, 0x84, 0xe4));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::ToolTipBase, QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::ToolTipText, QColor(0xee, 0xee, 0xee));
    return dark;
}

void shoot(const QString &folder, const QString &scheme, const QStringList &photos)
{
    Form1 form;
    form.move(40, 40);
    form.show();
    form.fileList().appendEntries(photos);
    form.findChild<QComboBox *>(QStringLiteral("Combo1"))->setCurrentText(QStringLiteral("Title"));
    form.findChild<QPlainTextEdit *>(QStringLiteral("Text1"))->setPlainText(QStringLiteral("Harbour walk, spring 2026"));
    auto *list = form.findChild<FileListView *>(QStringLiteral("ListView1"));
    list->setCurrentIndex(list->model()->index(0, 0));
    auto *thumbnail = form.findChild<PictureThumbnail *>(QStringLiteral("Thumbnail"));
    spinUntil([&] { return !thumbnail->picture().isNull(); });
    spinFor(300);
    form.grab().save(QStringLiteral("%1/details-thumbnail-%2.png").arg(folder, scheme));

    form.findChild<QPushButton *>(QStringLiteral("DetailsButton"))->click();
    auto *details = form.findChild<PictureDetailsWindow *>(QStringLiteral("PictureDetails"));
    details->move(80, 80);
    auto *summary = details->findChild<QLabel *>(QStringLiteral("DetailsSummary"));
    spinUntil([&] { return summary->text().startsWith(QStringLiteral("Title:")); });
    spinFor(300);
    details->grab().save(QStringLiteral("%1/details-window-%2.png").arg(folder, scheme));
    std::printf("%s/details-thumbnail-%s.png\n%s/details-window-%s.png\n", qPrintable(folder),
                qPrintable(scheme), qPrintable(folder), qPrintable(scheme));
}

void shootValues(const QString &folder, const QStringList &photos)
{
    Form1 form;
    form.move(40, 40);
    form.show();
    form.fileList().appendEntries(photos);
    form.findChild<QComboBox *>(QStringLiteral("Combo1"))->setCurrentText(QStringLiteral("Keywords"));
    auto *way = form.findChild<QComboBox *>(QStringLiteral("ValueWay"));
    way->setCurrentText(QStringLiteral("Add to each picture's keywords"));
    form.findChild<QPlainTextEdit *>(QStringLiteral("Text1"))->setPlainText(QStringLiteral("boat; gull"));
    auto *list = form.findChild<FileListView *>(QStringLiteral("ListView1"));
    list->setCurrentIndex(list->model()->index(0, 0));
    auto *thumbnail = form.findChild<PictureThumbnail *>(QStringLiteral("Thumbnail"));
    spinUntil([&] { return !thumbnail->picture().isNull(); });
    way->showPopup();
    spinFor(500);
    // The open list is a window of its own: the screen shows both.
    const QRect popup = way->view()->window()->frameGeometry();
    const QRect shown = form.frameGeometry().united(popup);
    form.screen()->grabWindow(0, shown.x(), shown.y(), shown.width(), shown.height())
        .save(QStringLiteral("%1/values-choice.png").arg(folder));
    way->hidePopup();

    form.findChild<QPushButton *>(QStringLiteral("DetailsButton"))->click();
    auto *details = form.findChild<PictureDetailsWindow *>(QStringLiteral("PictureDetails"));
    details->move(80, 80);
    auto *summary = details->findChild<QLabel *>(QStringLiteral("DetailsSummary"));
    spinUntil([&] { return summary->text().startsWith(QStringLiteral("Keywords:")); });
    spinFor(300);
    details->grab().save(QStringLiteral("%1/values-details.png").arg(folder));
    std::printf("%s/values-choice.png\n%s/values-details.png\n", qPrintable(folder), qPrintable(folder));
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[1]);
    QTemporaryDir dir;
    isolateSettings(dir.filePath(QStringLiteral("config")));
    const QString harbour = dir.filePath(QStringLiteral("Harbour.jpg"));
    const QString gulls = dir.filePath(QStringLiteral("Gulls.jpg"));
    if (!makePhoto(dir.path(), harbour, 1600, 1200, 85) || !makePhoto(dir.path(), gulls, 1600, 1200, 85)
        || !runProgram(QStringLiteral("exiftool"),
                       {QStringLiteral("-q"), QStringLiteral("-overwrite_original"),
                        QStringLiteral("-XPTitle=Harbour at dawn"),
                        QStringLiteral("-ImageDescription=OLYMPUS DIGITAL CAMERA"),
                        QStringLiteral("-Artist=Ann Berg"), QStringLiteral("-Orientation#=6"), harbour})
        || !runProgram(QStringLiteral("exiftool"), {QStringLiteral("-q"), QStringLiteral("-overwrite_original"),
                                                    QStringLiteral("-XPTitle=Gulls"), gulls})) {
        std::fprintf(stderr, "could not make the photos (is exiftool installed?)\n");
        return 1;
    }
    const QStringList photos{harbour, gulls, harbour, dir.filePath(QStringLiteral("missing.jpg"))};
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    if (QCoreApplication::arguments().value(2) == QLatin1String("values")) {
        QApplication::setPalette(QApplication::style()->standardPalette());
        if (!runProgram(QStringLiteral("exiftool"), {QStringLiteral("-q"), QStringLiteral("-overwrite_original"),
                                                     QStringLiteral("-XPKeywords=harbour;dawn;Boat"), harbour}))
            return 1;
        shootValues(output, photos);
        return 0;
    }
    QApplication::setPalette(QApplication::style()->standardPalette());
    shoot(output, QStringLiteral("light"), photos);
    QApplication::setPalette(darkPalette());
    shoot(output, QStringLiteral("dark"), photos);
    return 0;
}
