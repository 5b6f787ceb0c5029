#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTimer>
#include <atomic>
#include <QtTest>
#include <cstdio>
#include <thread>
#include <utility>

#include "enginesupport.h"
#include "platform/files.h"
#include "testsupport.h"
#include "writer/engine/filework.h"
#include "writer/engine/writerengine.h"
#include "writer/output/runfolder.h"
#include "writer/report/reasons.h"
#include "writer/report/runreport.h"
#include "writer/verify/verifier.h"


class TestWriterEngine : public QObject {
    Q_OBJECT
private slots:
    void racingRunsKeepTheirOwnCopies();
    void runsStartingTogetherKeepTheirFolders();
    void killedToolLeavesOnlyTemporaryFiles();
    void sweepsOnlyWhatDeadRunsLeft();
    void plantedLinksAndPipesAreNeverFollowed();
    void stalledFileSystemLeavesTheLoopAnswering_data();
    void stalledFileSystemLeavesTheLoopAnswering();
    void renamedResultsFolderKeepsNothingOfTheRun();
    void fakeMarkersInANameMoveNoVerdict();
    void resultsArriveThoughWakesAreMissed();

};

// Two runs write the same names into one folder at the same time: every copy
// one reports written is there and holds its own value; every other file is
// reported as taken, never claimed.
void TestWriterEngine::racingRunsKeepTheirOwnCopies()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("src")));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("out")));
    const QString out = dir.filePath(QStringLiteral("out"));
    const QStringList sources = makePhotos(dir, QStringLiteral("src/f%1.jpg"), 40);
    QCOMPARE(sources.size(), 40);

    ListSource listA(sources, out, QStringLiteral("run A"));
    ListSource listB(sources, out, QStringLiteral("run B"));
    WriterEngine::Options options = optionsFor(out);
    options.workers = 2;
    WriterEngine engineA(listA, options);
    WriterEngine engineB(listB, options);
    QList<FileOutcome> outcomesA, outcomesB;
    connect(&engineA, &WriterEngine::fileDone, this, [&](const FileOutcome &o) { outcomesA.append(o); });
    connect(&engineB, &WriterEngine::fileDone, this, [&](const FileOutcome &o) { outcomesB.append(o); });
    QSignalSpy finishedA(&engineA, &WriterEngine::finished);
    QSignalSpy finishedB(&engineB, &WriterEngine::finished);
    engineA.start(40);
    engineB.start(40);
    QTRY_VERIFY_WITH_TIMEOUT(finishedA.size() == 1 && finishedB.size() == 1, 120000);

    const QHash<QString, QString> artists = artistsIn(out);
    QVERIFY2(artists.size() == 40, qPrintable(everythingIn(out).join(' ') + '\n' + reportDetails(outcomesA)));
    int writtenA = 0, writtenB = 0;
    const auto check = [&](const QList<FileOutcome> &outcomes, const QString &value, int *written) {
        QCOMPARE(outcomes.size(), 40);
        for (const FileOutcome &outcome : outcomes) {
            const QString name = QFileInfo(outcome.source).fileName();
            if (outcome.kind == FileOutcome::Kind::Written) {
                ++*written;
                QCOMPARE(artists.value(name), value);
            } else {
                QCOMPARE(outcome.kind, FileOutcome::Kind::Failed);
                QVERIFY2(outcome.reason.contains(QLatin1String("is already in the results folder")),
                         qPrintable(outcome.reason));
                QVERIFY(artists.value(name) != value);
            }
        }
    };
    check(outcomesA, QStringLiteral("run A"), &writtenA);
    check(outcomesB, QStringLiteral("run B"), &writtenB);
    QCOMPARE(writtenA + writtenB, 40);
    // All of a run's collisions make one group in its report, not one each.
    if (writtenA < 40)
        QVERIFY2(reportDetails(outcomesA).startsWith(
                     QStringLiteral("%1 file%2 not written. A file of the same name is already")
                         .arg(40 - writtenA)
                         .arg(40 - writtenA == 1 ? "" : "s")),
                 qPrintable(reportDetails(outcomesA)));
    QCOMPARE(hiddenNames(out), QStringList());
}

// A run that starts while another is making its folder takes that folder,
// not yet locked, for a dead run's: the other must still end up with a
// folder of its own, never start in one being swept.
void TestWriterEngine::runsStartingTogetherKeepTheirFolders()
{
    QTemporaryDir dir;
    const QByteArray out = Platform::encodeName(dir.path());
    std::atomic<int> failures{0};
    QString firstReason;
    std::mutex reasonLock;
    const auto startRuns = [&] {
        for (int i = 0; i < 500; ++i) {
            QString whyNot;
            const std::unique_ptr<RunFolder> run = RunFolder::create(out, &whyNot);
            const bool lockThere = run && Platform::statusAt(run->runDescriptor(), "lock").ok();
            if (!lockThere) {
                const std::lock_guard<std::mutex> locked(reasonLock);
                if (failures++ == 0)
                    firstReason = run ? QStringLiteral("its lock was taken away") : whyNot;
            }
            if (run)
                run->finish();
        }
    };
    std::thread other(startRuns);
    startRuns();
    other.join();
    QVERIFY2(failures == 0, qPrintable(QString::number(failures) + " runs failed: " + firstReason));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
}

void TestWriterEngine::killedToolLeavesOnlyTemporaryFiles()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("out")));
    const QString out = dir.filePath(QStringLiteral("out"));
    // Stands in for a slow ExifTool killed while it writes a copy: the first
    // tools die half-way through their first copy; those that take their
    // place write whole ones (the source's path).
    const QString tool = makeToolStandIn(dir.path(), QStringLiteral("standin"),
                                         {QStringLiteral("pause=0.3"),
                                          QStringLiteral("diesonce=") + dir.filePath(QStringLiteral("died"))});
    QVERIFY(!tool.isEmpty());
    QStringList sources;
    for (int i = 0; i < 8; ++i) {
        sources.append(dir.filePath(QStringLiteral("p%1.jpg").arg(i)));
        QVERIFY(makeJpeg(sources.last()));
    }

    ListSource list(sources, out, QStringLiteral("kept"));
    WriterEngine::Options options = optionsFor(out, tool);
    options.workers = 2;
    WriterEngine engine(list, options);
    QList<FileOutcome> outcomes;
    bool onlyWholeCopies = true;
    connect(&engine, &WriterEngine::fileDone, this, [&](const FileOutcome &o) {
        outcomes.append(o);
        // Under a final name there is never anything but a whole copy.
        for (const QString &name : QDir(out).entryList(QDir::Files | QDir::Hidden))
            if (!name.startsWith(QLatin1String(".ostrell-")))
                onlyWholeCopies = onlyWholeCopies
                    && fileBytes(out + '/' + name) == Platform::encodeName(dir.filePath(name));
    });
    QSignalSpy finished(&engine, &WriterEngine::finished);
    engine.start(int(sources.size()));
    QTRY_VERIFY_WITH_TIMEOUT(finished.size() == 1, 60000);

    QVERIFY(onlyWholeCopies);
    QCOMPARE(outcomes.size(), sources.size());
    QStringList written;
    int lost = 0;
    for (const FileOutcome &outcome : outcomes) {
        if (outcome.kind == FileOutcome::Kind::Written) {
            written.append(QFileInfo(outcome.source).fileName());
        } else {
            ++lost;
            QVERIFY2(outcome.reason.contains(QLatin1String("ExifTool ended")), qPrintable(outcome.reason));
        }
    }
    // The files each tool was working on are lost; those waiting behind them
    // went to the tools that took their place.
    QVERIFY(lost >= 1 && lost <= 2);
    written.sort();
    QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden, QDir::Name), written);
}

// A run that crashed left its temporary files; one still going on holds its
// lock. The next run removes the first and leaves the second alone.
void TestWriterEngine::sweepsOnlyWhatDeadRunsLeft()
{
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("a.jpg"));
    QVERIFY(makeJpeg(source));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("out")));
    const QString out = dir.filePath(QStringLiteral("out"));
    const auto make = [&](const QString &name) {
        QFile file(out + '/' + name);
        return file.open(QIODevice::WriteOnly) && file.write("x") == 1;
    };
    const QStringList dead{".ostrell-41-dead.lock", ".ostrell-41-dead-1.tmp", ".ostrell-41-dead-7.tmp"};
    const QStringList alive{".ostrell-42-live.lock", ".ostrell-42-live-3.tmp"};
    const QStringList users{".ostrell-notes.txt", "keep.jpg"};
    for (const QString &name : dead + alive + users)
        QVERIFY(make(name));
    // Held the way a running program holds them.
    const Platform::FileHandle outFolder(Platform::openFolder(Platform::encodeName(out)));
    const Platform::FileHandle held(Platform::openLockAt(outFolder.get(), Platform::encodeName(alive.first())));
    QVERIFY(Platform::tryLock(held.get()));
    // Run folders: one of a run that died, one of a run still going on.
    for (const QString &run : {QStringLiteral(".ostrell-run-dead01"), QStringLiteral(".ostrell-run-live01")}) {
        QVERIFY(QDir(out).mkdir(run, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(make(run + QStringLiteral("/lock")) && make(run + QStringLiteral("/3.tmp")));
    }
    const Platform::FileHandle liveRun(Platform::openFolderAt(outFolder.get(), ".ostrell-run-live01"));
    const Platform::FileHandle heldRun(Platform::openLockAt(liveRun.get(), "lock"));
    QVERIFY(Platform::tryLock(heldRun.get()));

    ListSource list({source}, out, QStringLiteral("x"));
    WriterEngine::Options options = optionsFor(out);
    WriterEngine engine(list, options);
    QSignalSpy finished(&engine, &WriterEngine::finished);
    engine.start(1);
    QTRY_VERIFY_WITH_TIMEOUT(finished.size() == 1, 60000);

    QStringList expected = alive + users + QStringList{"a.jpg"};
    expected.sort();
    QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
    // The run's own folder is gone too.
    QCOMPARE(QDir(out).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{".ostrell-run-live01"});
}

// Someone who can write the results folder plants links and a pipe at the
// names the run will use, and a link dressed as a dead run's folder. Nothing
// is written through them and nothing they point at is touched.
void TestWriterEngine::plantedLinksAndPipesAreNeverFollowed()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("out")) && QDir(dir.path()).mkpath(QStringLiteral("elsewhere")));
    const QString out = dir.filePath(QStringLiteral("out"));
    const QString elsewhere = dir.filePath(QStringLiteral("elsewhere"));
    QFile victim(elsewhere + QStringLiteral("/victim.jpg"));
    QVERIFY(victim.open(QIODevice::WriteOnly) && victim.write("victim") == 6);
    victim.close();
    QFile lock(elsewhere + QStringLiteral("/lock"));
    QVERIFY(lock.open(QIODevice::WriteOnly));
    lock.close();
    if (!makeSymbolicLink(victim.fileName(), out + QStringLiteral("/a.jpg")))
        QSKIP("This system refuses this user symbolic links");
    QVERIFY(makeSymbolicLink(elsewhere + QStringLiteral("/created.jpg"), out + QStringLiteral("/b.jpg")));
    // Where file systems hold no pipes, a plain file takes the name.
    QVERIFY(makeNamedPipe(out + QStringLiteral("/c.jpg")) || makeJpeg(out + QStringLiteral("/c.jpg")));
    QVERIFY(makeSymbolicLink(elsewhere, out + QStringLiteral("/.ostrell-run-planted")));
    QStringList sources;
    for (const char *name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"}) {
        sources.append(dir.filePath(QLatin1String(name)));
        QVERIFY(makeJpeg(sources.last()));
    }

    ListSource list(sources, out, QStringLiteral("planted"));
    WriterEngine::Options options = optionsFor(out);
    options.fileTimeoutMs = 20000;
    options.verifier = [](const QByteArray &source, const QByteArray &copy, const QString &tag,
                          const QString &value) { return verifyCopy(source, copy, {tag, value}); };
    WriterEngine engine(list, options);
    const QList<FileOutcome> outcomes = runToEnd(engine, 4);

    QCOMPARE(outcomes.size(), 4);
    for (int i = 0; i < 3; ++i)
        QVERIFY2(outcomes.at(i).reason.contains(QLatin1String("is already in the results folder")),
                 qPrintable(outcomes.at(i).reason));
    QCOMPARE(outcomes.at(3).kind, FileOutcome::Kind::Written);
    QCOMPARE(fileBytes(victim.fileName()), QByteArray("victim"));
    QVERIFY(!QFileInfo::exists(elsewhere + QStringLiteral("/created.jpg")));
    QCOMPARE(QDir(elsewhere).entryList(QDir::Files, QDir::Name), (QStringList{"lock", "victim.jpg"}));
    QVERIFY(QFileInfo(out + QStringLiteral("/a.jpg")).isSymLink());
    QCOMPARE(readTag(out + QStringLiteral("/d.jpg"), QStringLiteral("Artist")), QStringLiteral("planted"));
}

// A mount that stops answering: the loop goes on, the file whose call hangs
// is given up after the time limit, and the files that went to the worker
// thread with it are still written.
void TestWriterEngine::stalledFileSystemLeavesTheLoopAnswering_data()
{
    QTest::addColumn<bool>("whileChecking");
    QTest::addColumn<QString>("reason");
    QTest::newRow("looking at a source") << false
        << QStringLiteral("The file system did not answer for this file within %1.");
    QTest::newRow("reading a source back") << true
        << QStringLiteral("The file system did not finish checking and saving this copy within %1.");
}

void TestWriterEngine::stalledFileSystemLeavesTheLoopAnswering()
{
    QFETCH(bool, whileChecking);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("out")));
    const QString out = dir.filePath(QStringLiteral("out"));
    const QStringList sources = makePhotos(dir, QStringLiteral("s%1.jpg"), 4);
    QCOMPARE(sources.size(), 4);
    // The limit holds for the tool's answers too, so it must let the tool
    // start and write: a second here, seconds for ExifTool for Windows
    // under Wine.
    QElapsedTimer starting;
    starting.start();
    QProcess tool;
    tool.start(QStringLiteral("exiftool"), {QStringLiteral("-q"), QStringLiteral("-Artist=warm"), QStringLiteral("-o"),
                                            dir.filePath(QStringLiteral("warm.jpg")), sources.first()});
    QVERIFY(tool.waitForFinished(60000));
    const int limitMs = int(qMax<qint64>(1, 5 * starting.elapsed() / 1000)) * 1000;
    reason = reason.arg(timeLimitText(limitMs));
    QSemaphore released;
    std::atomic_int calls{0};
    // The second call is a first look at one of the sources.
    if (!whileChecking) {
        FileWork::setBeforeEachCall([&] {
            if (++calls == 2)
                released.acquire();
        });
    }
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
    ticker.start(10);

    ListSource list(sources, out, QStringLiteral("stall"));
    WriterEngine::Options options = optionsFor(out);
    options.fileTimeoutMs = limitMs;
    // Reading the first source back hangs, as on a share that went away.
    const QByteArray firstSource = Platform::encodeName(sources.first());
    if (whileChecking) {
        options.verifier = [&](const QByteArray &source, const QByteArray &copy, const QString &tag,
                               const QString &value) {
            if (source == firstSource)
                released.acquire();
            return verifyCopy(source, copy, {tag, value});
        };
    }
    WriterEngine engine(list, options);
    const QList<FileOutcome> outcomes = runToEnd(engine, 4);
    released.release();
    FileWork::setBeforeEachCall({});

    // Looks at sources run side by side, so the stalled one need not be the first.
    QCOMPARE(outcomes.size(), 4);
    int stalled = 0;
    for (const FileOutcome &outcome : outcomes) {
        if (outcome.reason == reason)
            ++stalled;
        else
            QVERIFY2(outcome.kind == FileOutcome::Kind::Written, qPrintable(outcome.reason));
    }
    QCOMPARE(stalled, 1);
    // The loop kept running through the stall (a second's worth of 10 ms ticks).
    QVERIFY2(ticks >= 20, qPrintable(QString::number(ticks)));
}

// The results folder is renamed while the run goes on: the copies still go
// into it, whole, and nothing of the run is left in it. Windows refuses to
// rename the folder the run holds: they all go where it is.
void TestWriterEngine::renamedResultsFolderKeepsNothingOfTheRun()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("out")));
    const QString out = dir.filePath(QStringLiteral("out"));
    const QString moved = dir.filePath(QStringLiteral("moved"));
    const QStringList sources = makePhotos(dir, QStringLiteral("m%1.jpg"), 12);
    QCOMPARE(sources.size(), 12);
    ListSource list(sources, out, QStringLiteral("moved along"));
    WriterEngine::Options options = optionsFor(out);
    options.workers = 2;
    WriterEngine engine(list, options);
    bool tried = false, renamed = false;
    connect(&engine, &WriterEngine::fileDone, this, [&] {
        if (!std::exchange(tried, true))
            renamed = QDir().rename(out, moved);
    });
    const QList<FileOutcome> outcomes = runToEnd(engine, 12);

    QCOMPARE(outcomes.size(), 12);
    QCOMPARE(renamed, heldFoldersCanBeRenamed());
    const QString folder = renamed ? moved : out;
    QVERIFY(!QFileInfo::exists(renamed ? out : moved));
    QCOMPARE(hiddenNames(folder), QStringList());
    QCOMPARE(QDir(folder).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    const QHash<QString, QString> artists = artistsIn(folder);
    for (const FileOutcome &outcome : outcomes) {
        QVERIFY2(outcome.kind == FileOutcome::Kind::Written, qPrintable(outcome.reason));
        QCOMPARE(artists.value(QFileInfo(outcome.source).fileName()), QStringLiteral("moved along"));
    }
}

// A name holding line breaks and the tool's own markers: ExifTool prints it
// in its error, and every file still gets its own verdict.
void TestWriterEngine::fakeMarkersInANameMoveNoVerdict()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("out")));
    const QString out = dir.filePath(QStringLiteral("out"));
    if (!fileNamesAreBytes())
        QSKIP("Windows refuses line breaks in names");
    QString fake = QStringLiteral("bad");
    for (int id = 1; id <= 4; ++id)
        fake += QStringLiteral("\n{end%1}\nError: planted").arg(id);
    const QStringList sources{dir.filePath(QStringLiteral("a.jpg")), dir.filePath(fake + QStringLiteral("\n.jpg")),
                              dir.filePath(QStringLiteral("c.jpg")), dir.filePath(QStringLiteral("d.jpg"))};
    for (const QString &source : sources)
        QVERIFY(makeJpeg(source));
    QFile broken(sources.at(1));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write(QByteArray("\xff\xd8\xff\xe1\x00\x10" "Exif\0\0garbage garbage", 28));
    broken.close();

    ListSource list(sources, out, QStringLiteral("own verdict"));
    WriterEngine::Options options = optionsFor(out);
    options.workers = 1;
    options.commandsPerWorker = 4;
    WriterEngine engine(list, options);
    const QList<FileOutcome> outcomes = runToEnd(engine, 4);

    QCOMPARE(outcomes.size(), 4);
    QCOMPARE(outcomes.at(1).kind, FileOutcome::Kind::Failed);
    QVERIFY2(outcomes.at(1).toolLine.contains(QLatin1String("Corrupted JPEG")), qPrintable(outcomes.at(1).toolLine));
    for (int i : {0, 2, 3}) {
        QVERIFY2(outcomes.at(i).kind == FileOutcome::Kind::Written, qPrintable(outcomes.at(i).reason));
        QCOMPARE(readTag(out + QLatin1Char('/') + QFileInfo(sources.at(i)).fileName(), QStringLiteral("Artist")),
                 QStringLiteral("own verdict"));
    }
}

// A wake of the main thread that its event loop misses delays the results
// waiting behind it; the run still ends, with every copy written.
void TestWriterEngine::resultsArriveThoughWakesAreMissed()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("src")));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("out")));
    const QString out = dir.filePath(QStringLiteral("out"));
    const QStringList sources = makePhotos(dir, QStringLiteral("src/w%1.jpg"), 4);
    QCOMPARE(sources.size(), 4);

    ListSource list(sources, out, QStringLiteral("no wakes"));
    WriterEngine engine(list, optionsFor(out));
    QList<FileOutcome> outcomes;
    connect(&engine, &WriterEngine::fileDone, this, [&](const FileOutcome &o) { outcomes.append(o); });
    QSignalSpy finished(&engine, &WriterEngine::finished);
    FileWork::setWakesLost(true);
    engine.start(int(sources.size()));
    const bool ended = QTest::qWaitFor([&] { return finished.size() == 1; }, 60000);
    FileWork::setWakesLost(false);
    QVERIFY(ended);
    QCOMPARE(outcomes.size(), sources.size());
    for (const FileOutcome &outcome : std::as_const(outcomes))
        QVERIFY2(outcome.kind == FileOutcome::Kind::Written, qPrintable(outcome.reason));
    QCOMPARE(artistsIn(out).size(), sources.size());
}

OSTRELL_CORE_TEST_MAIN(TestWriterEngine)
#include "tst_writerengine.moc"
