// Disks that fail a run: a share so slow that a stop must not wait for what
// the tools hold, and a card that fills up. Real ExifTool, every copy read
// back, and nothing but whole copies left in the results folder.

#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QtTest>
#include <cerrno>

#include "enginesupport.h"
#include "mountsupport.h"
#include "platform/files.h"
#include "testsupport.h"
#include "writer/engine/writerengine.h"
#include "writer/report/reasons.h"
#include "writer/verify/verifier.h"

namespace {

const QString Value = QStringLiteral("Autumn");

// Copies of one photo of noise, which JPEG cannot shrink: about 0.7 bytes a pixel.
QStringList makePhotos(const QString &folder, int count, int width, int height)
{
    QImage noise(width, height, QImage::Format_RGB32);
    QRandomGenerator random(27);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            noise.setPixel(x, y, random.generate() | 0xff000000u);
    const QString first = folder + QStringLiteral("/IMG_00.jpg");
    if (!noise.save(first, "JPEG", 90))
        return {};
    QStringList photos{first};
    for (int i = 1; i < count; ++i) {
        photos.append(folder + QStringLiteral("/IMG_%1.jpg").arg(i, 2, 10, QLatin1Char('0')));
        if (!QFile::copy(first, photos.last()))
            return {};
    }
    return photos;
}

// The names of the copies reported written; each must be whole and hold the value.
QStringList checkedCopies(const QList<FileOutcome> &outcomes, const QString &out)
{
    QStringList names;
    for (const FileOutcome &outcome : outcomes) {
        if (!countsAsWritten(outcome.kind))
            continue;
        const QString name = QFileInfo(outcome.source).fileName();
        const CopyCheck check = verifyCopy(QFile::encodeName(outcome.source),
                                           QFile::encodeName(out + QLatin1Char('/') + name),
                                           {QStringLiteral("Artist"), Value});
        if (!check.wrong.isEmpty())
            return {name + QStringLiteral(": ") + check.wrong};
        names.append(name);
    }
    names.sort();
    return names;
}

} // namespace

class TestDiskFaults : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { m_whyNot = TestMounts::whyNot(); }
    void errorsNameTheDiskState_data();
    void errorsNameTheDiskState();
    void stopOnASlowShare_data();
    void stopOnASlowShare();
    void fullCard();

private:
    QString m_whyNot;
    QTemporaryDir m_local;
};

void TestDiskFaults::errorsNameTheDiskState_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("words");
    QTest::newRow("no space") << ENOSPC << "the disk is full";
    QTest::newRow("quota") << EDQUOT << "the disk is full";
    QTest::newRow("read-only") << EROFS << "the disk is read-only";
    QTest::newRow("FUSE server gone") << ENOTCONN << "the disk was removed or stopped answering";
    QTest::newRow("FUSE call under way") << ECONNABORTED << "the disk was removed or stopped answering";
    QTest::newRow("device gone") << ENODEV << "the disk was removed or stopped answering";
    QTest::newRow("no such device or address") << ENXIO << "the disk was removed or stopped answering";
    QTest::newRow("input/output error") << EIO << "the disk was removed or stopped answering";
    QTest::newRow("transport shut down") << ESHUTDOWN << "the disk was removed or stopped answering";
    QTest::newRow("refused: the system's words") << EACCES << Platform::errorText(EACCES);
}

void TestDiskFaults::errorsNameTheDiskState()
{
    QFETCH(int, error);
    QFETCH(QString, words);
    QCOMPARE(systemWords(error), words);
}

// A share at about 100 KB/s: after the stop, only the files the tools had
// begun may still be written, and the run ends within seconds rather than
// after every command handed to a tool. A second run writes the rest.
void TestDiskFaults::stopOnASlowShare_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("copies renamed over their claims") << int(TestMounts::Kind::NoLinks);
    // A copy being filled into its claim when the stop's grace ends stops there.
    QTest::newRow("copies filled into their claims") << int(TestMounts::Kind::NoRenameOver);
}

void TestDiskFaults::stopOnASlowShare()
{
    QFETCH(int, kind);
    if (!m_whyNot.isEmpty())
        QSKIP(qPrintable(m_whyNot));
    TestMounts mounts;
    TestMounts::Options slow;
    slow.writeDelayMs = 40;
    const QString root = mounts.mount(TestMounts::Kind(kind), slow);
    QVERIFY2(!root.isEmpty(), qPrintable(mounts.error()));
    const QString out = root + QStringLiteral("/out");
    const QString photos = m_local.filePath(QStringLiteral("slow%1").arg(kind));
    QVERIFY(QDir().mkpath(out) && QDir().mkpath(photos));
    const QStringList sources = makePhotos(photos, 8, 560, 420);
    QCOMPARE(sources.size(), 8);

    ListSource list(sources, out, Value);
    WriterEngine engine(list, checkedOptionsFor(out));
    QList<FileOutcome> outcomes;
    QElapsedTimer sinceStop;
    qsizetype writtenAtStop = 0;
    connect(&engine, &WriterEngine::fileDone, this, [&](const FileOutcome &outcome) {
        outcomes.append(outcome);
        if (outcome.kind != FileOutcome::Kind::Written || sinceStop.isValid())
            return;
        // As the window's "Yes" comes: from the event loop.
        sinceStop.start();
        QTimer::singleShot(0, &engine, [&] {
            writtenAtStop = std::count_if(outcomes.cbegin(), outcomes.cend(),
                                          [](const FileOutcome &o) { return countsAsWritten(o.kind); });
            engine.stop();
        });
    });
    QSignalSpy finished(&engine, &WriterEngine::finished);
    engine.start(int(sources.size()));
    QVERIFY(QTest::qWaitFor([&] { return finished.size() == 1; }, 120000));
    const qint64 stopToEnd = sinceStop.elapsed();

    const QStringList written = checkedCopies(outcomes, out);
    qInfo("stop to end: %lld ms; copies written after the stop: %lld", stopToEnd,
          qlonglong(written.size() - writtenAtStop));
    QVERIFY2(stopToEnd < 10000, qPrintable(QString::number(stopToEnd)));
    // One file a tool had begun, per tool, and a copy already being checked.
    QVERIFY2(written.size() - writtenAtStop <= 3, qPrintable(written.join(QLatin1Char(' '))));
    for (const FileOutcome &outcome : std::as_const(outcomes))
        QVERIFY2(countsAsWritten(outcome.kind) || outcome.kind == FileOutcome::Kind::Stopped,
                 qPrintable(outcome.source + QStringLiteral(": ") + outcome.reason));
    QCOMPARE(everythingIn(out), written);

    ListSource again(sources, out, Value);
    WriterEngine rerun(again, checkedOptionsFor(out));
    const QList<FileOutcome> all = runToEnd(rerun, int(sources.size()));
    QCOMPARE(all.size(), sources.size());
    QStringList names;
    for (const QString &source : sources)
        names.append(QFileInfo(source).fileName());
    QCOMPARE(checkedCopies(all, out), names);
    QCOMPARE(everythingIn(out), names);
}

// A card with room for some of the photos: each one that does not fit says
// the disk is full, each one reported written is whole, and no partial copy
// or run folder is left.
void TestDiskFaults::fullCard()
{
    if (!m_whyNot.isEmpty())
        QSKIP(qPrintable(m_whyNot));
    TestMounts mounts;
    TestMounts::Options small;
    small.imageBytes = 6 * 1024 * 1024;
    const QString root = mounts.mount(TestMounts::Kind::ExFat, small);
    QVERIFY2(!root.isEmpty(), qPrintable(mounts.error()));
    const QString out = root + QStringLiteral("/out");
    QVERIFY(QDir().mkpath(out) && QDir().mkpath(m_local.filePath(QStringLiteral("full"))));
    const QStringList sources = makePhotos(m_local.filePath(QStringLiteral("full")), 12, 900, 700);
    QCOMPARE(sources.size(), 12);

    ListSource list(sources, out, Value);
    WriterEngine engine(list, checkedOptionsFor(out));
    const QList<FileOutcome> outcomes = runToEnd(engine, int(sources.size()));
    QCOMPARE(outcomes.size(), sources.size());
    const QStringList written = checkedCopies(outcomes, out);
    QVERIFY2(written.size() >= 3 && written.size() < sources.size(), qPrintable(written.join(QLatin1Char(' '))));
    // Said of the disk, not as one guess among others.
    static const QRegularExpression full(QStringLiteral("[:(] ?the disk is full"));
    for (const FileOutcome &outcome : outcomes)
        QVERIFY2(countsAsWritten(outcome.kind) || full.match(outcome.reason).hasMatch(),
                 qPrintable(outcome.source + QStringLiteral(": ") + outcome.reason));
    QCOMPARE(everythingIn(out), written);
}

OSTRELL_CORE_TEST_MAIN(TestDiskFaults)
#include "tst_diskfaults.moc"
