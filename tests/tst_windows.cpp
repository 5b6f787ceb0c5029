#include "batchrunsupport.h"

#include <thread>

#include "platform/filenames.h"
#include "platform/files.h"
#include "platform/toolprocess.h"
#include "writer/command/batchreport.h"
#include "writer/output/publication.h"
#include "writer/output/runfolder.h"

// What only Windows does to a run: names it opens as devices, paths past
// MAX_PATH, other programs holding fresh files open, console windows.
class TestWindows : public QObject, private BatchRunFixture {
    Q_OBJECT
private slots:
    void init() { BatchRunFixture::init(); }
    void cleanup() { BatchRunFixture::cleanup(); }

    void namesWindowsRefuses_data();
    void namesWindowsRefuses();
    void longPaths_data();
    void longPaths();
    void heldByAnotherProgram_data();
    void heldByAnotherProgram();
    void toolsStartWithoutConsoleWindow();

private:
    QStringList resultsEntries() const
    {
        return QDir(m_out).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }
};

// A photo whose own name Windows opens as a device (made here through the
// "\\?\" form, as a camera card or a Linux disk may hold it) is refused with
// the reason; nothing is read from or written to a device.
void TestWindows::namesWindowsRefuses_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("refusal"); // empty: written
    QTest::newRow("device with extension") << "CON.jpg" << "device CON";
    QTest::newRow("lower case") << "nul.JPG" << "device NUL";
    QTest::newRow("port") << "COM1.jpg" << "device COM1";
    QTest::newRow("blank before the dot") << "con .jpg" << "device CON";
    QTest::newRow("printer, no extension") << "lpt3" << "device LPT3";
    QTest::newRow("closing dot") << "a.jpg." << "ends in a dot";
    QTest::newRow("closing blank") << "a.jpg " << "ends in a blank";
    QTest::newRow("only begins like a device") << "console.jpg" << "";
    QTest::newRow("port ten is a name") << "COM10.jpg" << "";
}

void TestWindows::namesWindowsRefuses()
{
    QFETCH(QString, name);
    QFETCH(QString, refusal);
    const QString source = m_src + QLatin1Char('\\') + name;
    const QString made = m_src + QStringLiteral("\\made.jpg");
    QVERIFY(makeJpeg(made));
    const QByteArray before = fileBytes(made);
    QVERIFY(renameExactly(made, source));
    // Read as the file it is, never as a device.
    const Platform::FileStatus status = Platform::statusOf(Platform::encodeName(source));
    QVERIFY(status.ok() && status.kind == Platform::FileKind::Regular && status.size == before.size());
    m_host.entries = QStringList{source};
    m_host.paths = {Platform::encodeName(source)};

    BatchRun run(m_host, m_dialogs);
    QVERIFY(runToEnd(run));
    const QList<FileOutcome> failures = m_reports.last().failures();
    if (refusal.isEmpty()) {
        QVERIFY2(failures.isEmpty(), qPrintable(m_dialogs.shown.last().details));
        QCOMPARE(resultsEntries(), QStringList{name});
    } else {
        QCOMPARE(failures.size(), 1);
        QVERIFY2(failures.first().reason.contains(refusal), qPrintable(failures.first().reason));
        QCOMPARE(resultsEntries(), QStringList());
    }
    QVERIFY(renameExactly(source, made));
    QCOMPARE(fileBytes(made), before);
}

// Folders deeper than MAX_PATH, for the photos, the results, or both.
void TestWindows::longPaths_data()
{
    QTest::addColumn<bool>("deepSource");
    QTest::addColumn<bool>("deepResults");
    QTest::newRow("photo past MAX_PATH") << true << false;
    QTest::newRow("results folder past MAX_PATH") << false << true;
    QTest::newRow("both") << true << true;
}

void TestWindows::longPaths()
{
    QFETCH(bool, deepSource);
    QFETCH(bool, deepResults);
    const auto deep = [](const QString &from) {
        QString path = from;
        for (int level = 1; path.size() <= 300; ++level)
            path += QStringLiteral("\\folder %1 with a name long enough to add up").arg(level);
        return path;
    };
    const QString source = (deepSource ? deep(m_src) : m_src) + QStringLiteral("\\deep photo.jpg");
    const QString out = deepResults ? deep(m_out) : m_out;
    QVERIFY(QDir().mkpath(QFileInfo(source).path()));
    QVERIFY(QDir().mkpath(out));
    QVERIFY(makeJpeg(source));
    m_host.entries = QStringList{source};
    m_host.paths = {Platform::encodeName(source)};
    m_host.folder = out + QLatin1Char('\\');

    BatchRun run(m_host, m_dialogs);
    QVERIFY(runToEnd(run));
    QVERIFY2(m_reports.last().failures().isEmpty(), qPrintable(m_dialogs.shown.last().details));
    QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{QStringLiteral("deep photo.jpg")});
    const QString check = m_dir->filePath(QStringLiteral("check.jpg"));
    QVERIFY(QFile::copy(out + QStringLiteral("\\deep photo.jpg"), check));
    QCOMPARE(readTag(check, QStringLiteral("Artist")), QStringLiteral("Summer 2021"));
}

// Another program holds a handle that lets nobody remove or rename the file
// or folder (as a virus scanner does with a fresh copy): what can wait a
// moment is done, what cannot is reported, and the run's folder goes, or is
// reported as kept and goes with the next run.
void TestWindows::heldByAnotherProgram_data()
{
    QTest::addColumn<QString>("held");
    QTest::addColumn<int>("letGoMs");      // -1: held until after the run
    QTest::addColumn<QString>("outcome");  // in the copy's reason; empty: written
    QTest::addColumn<bool>("folderKept");   // the run's folder stays, reported
    QTest::addColumn<QStringList>("kept"); // left in it
    QTest::newRow("results folder") << "results" << -1 << "" << false << QStringList();
    QTest::newRow("an earlier copy") << "first.jpg" << -1 << "" << false << QStringList();
    QTest::newRow("the copy, for a moment") << "1.tmp" << 300 << "" << false << QStringList();
    QTest::newRow("the copy, throughout") << "1.tmp" << -1 << "could not be given its name" << true
                                          << QStringList{"1.tmp"};
    QTest::newRow("the run's folder") << "run" << -1 << "" << true << QStringList();
}

void TestWindows::heldByAnotherProgram()
{
    QFETCH(QString, held);
    QFETCH(int, letGoMs);
    QFETCH(QString, outcome);
    QFETCH(bool, folderKept);
    QFETCH(QStringList, kept);
    const QString source = m_src + QStringLiteral("\\a.jpg");
    QVERIFY(makeJpeg(source));
    QString whyNot;
    std::unique_ptr<RunFolder> folder = RunFolder::create(Platform::encodeName(m_out), &whyNot);
    QVERIFY2(folder, qPrintable(whyNot));
    const QString run = QString::fromUtf8(Platform::descriptorPath(folder->runDescriptor()));
    // Copies as the tool leaves them in the run's folder.
    QVERIFY(makeJpeg(run + QStringLiteral("\\1.tmp")) && makeJpeg(run + QStringLiteral("\\2.tmp")));
    PublishGate firstGate, gate;
    const std::atomic_bool cancelled{false};
    const auto publish = [&](const char *output, const char *name, PublishGate &through) {
        PublishInput input;
        input.source = Platform::encodeName(source);
        input.output = output;
        input.finalName = name;
        return publishCopy(input, CopyVerifier(), *folder, through, cancelled);
    };
    QCOMPARE(int(publish("2.tmp", "first.jpg", firstGate).kind), int(FileOutcome::Kind::Written));

    const QString path = held == QLatin1String("results") ? m_out
        : held == QLatin1String("run")                    ? run
        : held.endsWith(QLatin1String(".tmp"))            ? run + QLatin1Char('\\') + held
                                                          : m_out + QLatin1Char('\\') + held;
    std::shared_ptr<void> handle = holdAgainstRemoval(path);
    QVERIFY(handle);
    std::thread letGo;
    if (letGoMs >= 0)
        letGo = std::thread([&handle, letGoMs] {
            std::this_thread::sleep_for(std::chrono::milliseconds(letGoMs));
            handle.reset();
        });
    const Publication publication = publish("1.tmp", "a.jpg", gate);
    if (letGo.joinable())
        letGo.join();
    if (outcome.isEmpty()) {
        QVERIFY2(publication.kind == FileOutcome::Kind::Written, qPrintable(publication.reason));
    } else {
        QCOMPARE(int(publication.kind), int(FileOutcome::Kind::Failed));
        QVERIFY2(publication.reason.contains(outcome), qPrintable(publication.reason));
    }
    folder->finish();
    handle.reset();

    const LeftBehind left = folder->leftBehind();
    QStringList keptNames;
    for (const QByteArray &name : left.filesKept)
        keptNames.append(QString::fromUtf8(name));
    QCOMPARE(keptNames, kept);
    QCOMPARE(!left.runFolderKept.isEmpty(), folderKept);
    QStringList expected{QStringLiteral("first.jpg")};
    if (outcome.isEmpty())
        expected.prepend(QStringLiteral("a.jpg"));
    if (folderKept) {
        expected.prepend(QString::fromUtf8(left.runFolderKept));
        BatchReport report;
        report.earlierRuns = left;
        QVERIFY2(report.message().contains(QLatin1String("could not be removed")), qPrintable(report.message()));
        QVERIFY2(report.details().contains(QString::fromUtf8(left.runFolderKept)), qPrintable(report.details()));
    }
    QCOMPARE(resultsEntries(), expected);
    folder.reset();

    // The next run in the folder takes away what this one had to keep.
    std::unique_ptr<RunFolder> next = RunFolder::create(Platform::encodeName(m_out), &whyNot);
    QVERIFY2(next, qPrintable(whyNot));
    next->finish();
    next.reset();
    expected.removeAll(QString::fromUtf8(left.runFolderKept));
    QCOMPARE(resultsEntries(), expected);
}

void TestWindows::toolsStartWithoutConsoleWindow()
{
    QProcess tool;
    Platform::runInFolder(tool, -1);
    QVERIFY(startsWithoutConsoleWindow(tool));
}

OSTRELL_CORE_TEST_MAIN(TestWindows)
#include "tst_windows.moc"
