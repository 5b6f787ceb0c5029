// Cards pulled and programs killed at random moments of a run, then the same
// run again: counts the photos left whole and anything else left in the
// results folder. Needs root, /dev/fuse and the card tools of the tests.
//
//   ostrell_pullbench [TRIES] [PHOTOS]   (20 and 200 by default)
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>
#include <cstdio>

#include "enginesupport.h"
#include "mountsupport.h"
#include "writer/verify/verifier.h"

namespace {

const QString Value = QStringLiteral("pulled and run again");

WriterEngine::Options checkedOptions(const QString &out)
{
    WriterEngine::Options options;
    options.toolPath = QStringLiteral("exiftool");
    options.resultsFolder = out;
    options.verifier = [](const QByteArray &source, const QByteArray &copy, const QString &tag, const QString &value) {
        return verifyCopy(source, copy, {tag, value});
    };
    return options;
}

QList<FileOutcome> run(const QStringList &photos, const QString &out, LeftBehind *found = nullptr)
{
    ListSource list(photos, out, Value);
    WriterEngine engine(list, checkedOptions(out));
    QList<FileOutcome> outcomes;
    QObject::connect(&engine, &WriterEngine::fileDone, [&](const FileOutcome &o) { outcomes.append(o); });
    QEventLoop loop;
    QObject::connect(&engine, &WriterEngine::finished, &loop, &QEventLoop::quit);
    QObject::connect(&engine, &WriterEngine::failedToStart, &loop, &QEventLoop::quit);
    engine.start(int(photos.size()));
    loop.exec();
    if (found)
        *found = engine.leftBehind();
    return outcomes;
}

QStringList makePhotos(const QString &folder, int count)
{
    QStringList photos;
    QRandomGenerator random(11);
    for (int i = 0; i < count; ++i) {
        QImage image(200 + int(random.bounded(200)), 150, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y, random.generate() | 0xff000000u);
        photos.append(QStringLiteral("%1/IMG_%2.jpg").arg(folder).arg(i, 3, 10, QLatin1Char('0')));
        image.save(photos.last(), "JPEG", 85);
    }
    return photos;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() == 4 && arguments.at(1) == QLatin1String("--run")) {
        const QStringList photos = QDir(arguments.at(2)).entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name);
        QStringList paths;
        for (const QString &name : photos)
            paths.append(arguments.at(2) + QLatin1Char('/') + name);
        run(paths, arguments.at(3));
        return 0;
    }
    const int tries = arguments.size() > 1 ? arguments.at(1).toInt() : 20;
    const int count = arguments.size() > 2 ? arguments.at(2).toInt() : 200;
    if (const QString why = TestMounts::whyNot(); !why.isEmpty()) {
        std::printf("cannot run here: %s\n", qPrintable(why));
        return 77;
    }
    QTemporaryDir local;
    const QStringList photos = makePhotos(local.path(), count);
    TestMounts mounts;
    TestMounts::Options big;
    big.imageBytes = 256 * 1024 * 1024;
    const QString card = mounts.mount(TestMounts::Kind::ExFat, big);
    const QString share = mounts.mount(TestMounts::Kind::NoRenameOver);
    if (card.isEmpty() || share.isEmpty()) {
        std::printf("mount failed: %s\n", qPrintable(mounts.error()));
        return 1;
    }

    // How long an undisturbed run takes on each, so the moments fall inside one.
    QDir().mkpath(card + QStringLiteral("/timing"));
    QDir().mkpath(share + QStringLiteral("/timing"));
    QElapsedTimer timer;
    timer.start();
    run(photos, card + QStringLiteral("/timing"));
    const qint64 cardMs = timer.restart();
    run(photos, share + QStringLiteral("/timing"));
    const qint64 shareMs = timer.elapsed();
    std::printf("undisturbed run of %d photos: exFAT card %lld ms, share without rename over %lld ms\n", count,
                qint64(cardMs), qint64(shareMs));

    int allWhole = 0, leftovers = 0;
    QRandomGenerator random(QRandomGenerator::system()->generate());
    for (int t = 1; t <= tries; ++t) {
        const bool pull = t % 2 == 1; // a card pulled, or the program killed on a share
        const QString root = pull ? card : share;
        const QString out = root + QStringLiteral("/try%1").arg(t);
        QDir().mkpath(out);
        const qint64 moment = 200 + qint64(random.bounded(int((pull ? cardMs : shareMs) * 9 / 10)));
        QProcess child;
        child.start(app.applicationFilePath(), {QStringLiteral("--run"), local.path(), out});
        child.waitForStarted();
        QThread::msleep(quint64(moment));
        if (pull)
            mounts.pull(root);
        child.kill();
        child.waitForFinished(10000);
        if (pull && !mounts.remount(root)) {
            std::printf("try %d: remount failed: %s\n", t, qPrintable(mounts.error()));
            return 1;
        }
        LeftBehind found;
        const QList<FileOutcome> outcomes = run(photos, out, &found);
        int whole = 0;
        for (const FileOutcome &outcome : outcomes) {
            const QString copy = out + QLatin1Char('/') + QFileInfo(outcome.source).fileName();
            if (countsAsWritten(outcome.kind)
                && verifyCopy(QFile::encodeName(outcome.source), QFile::encodeName(copy), {QStringLiteral("Artist"), Value})
                       .wrong.isEmpty())
                ++whole;
            else
                std::printf("  %s: %s\n", qPrintable(outcome.source), qPrintable(outcome.reason));
        }
        const QStringList there = QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        const int others = int(there.size()) - whole;
        std::printf("try %2d: %s at %5lld ms; re-run: %d of %d whole, %d claims cleared, %d left as they are, "
                    "%d other files\n",
                    t, pull ? "card pulled   " : "program killed", moment, whole, count, found.claimsCleared,
                    int(found.leftAsTheyAre.size()), others);
        std::fflush(stdout);
        allWhole += whole == count ? 1 : 0;
        leftovers += others;
    }
    std::printf("%d of %d tries left every photo whole; %d files other than copies left in all\n", allWhole, tries,
                leftovers);
    return allWhole == tries && leftovers == 0 ? 0 : 1;
}
