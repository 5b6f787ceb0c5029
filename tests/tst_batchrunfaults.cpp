// Runs that meet trouble: a failing step, warnings, a tool that is slow,
// lost or abandoned, and a run stopped while files are in flight.

#include "batchrunsupport.h"

class TestBatchRunFaults : public QObject, private BatchRunFixture {
    Q_OBJECT
private slots:
    void init() { BatchRunFixture::init(); }
    void cleanup() { BatchRunFixture::cleanup(); }

    void failureInStepIsReportedAndRunGoesOn();
    void warningsAboutOtherTagsDoNotCount_data();
    void warningsAboutOtherTagsDoNotCount();
    void waitingTextWhileToolWorks();
    void lostToolFailsFilesAndRunEnds_data();
    void lostToolFailsFilesAndRunEnds();
    void abandonLeavesNoResultFile();
    void stopLetsOnlyBegunFilesFinish();
    void stopQuestionClosesWhenTheRunEnds();
};

void TestBatchRunFaults::failureInStepIsReportedAndRunGoesOn()
{
    m_host.entries = makeSources({"a.jpg", "b.jpg"});
    bool failed = false;
    m_host.onText = [&](const QString &text) {
        if (text == QLatin1String("Processing: a.jpg") && !failed) {
            failed = true;
            throw Failure(QStringLiteral("Bar is gone"));
        }
    };
    BatchRun run(m_host, m_dialogs);
    QVERIFY(runToEnd(run));
    const QList<FakeDialogs::Shown> reports = m_dialogs.ofKind(QStringLiteral("warning"));
    QCOMPARE(reports.size(), 1);
    QCOMPARE(reports.first().caption, QStringLiteral("Application Error"));
    QVERIFY(reports.first().text.startsWith(QLatin1String("Bar is gone\r\n")));
    QVERIFY(reports.first().text.contains(QLatin1String(Location::StartChanging)));
    QCOMPARE(m_dialogs.shown.last().text, QStringLiteral("Done."));
    for (const QString &name : {QStringLiteral("/a.jpg"), QStringLiteral("/b.jpg")})
        QCOMPARE(readTag(m_out + name, QStringLiteral("Artist")), QStringLiteral("Summer 2021"));

    // The value cannot be read at Start: reported, and no file is tried
    // with a value nobody typed.
    m_dialogs.clear();
    m_host.onText = nullptr;
    m_host.failValueReads = 1;
    m_host.entries = makeSources({"c.jpg"});
    run.PushButton3_Click();
    QVERIFY(!run.BatchBusy());
    QCOMPARE(m_dialogs.shown.size(), 1);
    QVERIFY(m_dialogs.shown.first().text.startsWith(QLatin1String("Value box is gone\r\n")));
    QTest::qWait(100);
    QVERIFY(!outputNames().contains(QStringLiteral("c.jpg")));
}

void TestBatchRunFaults::warningsAboutOtherTagsDoNotCount_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QByteArray>("warning");
    QTest::addColumn<bool>("written");
    const QByteArray makerNotes("Warning: [minor] Maker notes could not be parsed - x.jpg\\n");
    QTest::newRow("maker notes, tag Make") << "Equipment Make" << makerNotes << true;
    QTest::newRow("maker notes, tag Artist") << "Artist" << makerNotes << true;
    QTest::newRow("about the tag")
        << "Equipment Make" << QByteArray("Warning: Not written IFD0:Make - x.jpg\\n") << false;
    QTest::newRow("about the tag, other case")
        << "Date and Time Taken" << QByteArray("Warning: bad modifydate - x.jpg\\n") << false;
}

void TestBatchRunFaults::warningsAboutOtherTagsDoNotCount()
{
    QFETCH(QString, label);
    QFETCH(QByteArray, warning);
    QFETCH(bool, written);

    m_host.entries = makeSources({"a.jpg"});
    m_host.label = label;
    m_host.value = QStringLiteral("2021:08:31 12:00:00");
    BatchRun run(m_host, m_dialogs);
    run.setToolProgram(writeStandIn(m_dir->path(), QStringLiteral("0"), false, warning));
    run.setVerifier({}); // the stand-in writes no picture
    QVERIFY(runToEnd(run));
    QCOMPARE(m_reports.last().failures().isEmpty(), written);
    QCOMPARE(outputNames().size(), written ? 1 : 0);
}

void TestBatchRunFaults::waitingTextWhileToolWorks()
{
    m_host.entries = makeSources({"IMG_0001.jpg"});
    BatchRun run(m_host, m_dialogs);
    run.setToolProgram(writeStandIn(m_dir->path(), QStringLiteral("1.5")));
    run.setVerifier({}); // the stand-in writes no picture
    run.setTickInterval(5);
    QVERIFY(runToEnd(run));

    const QString caption = QStringLiteral("Processing: IMG_0001.jpg");
    const QStringList texts = m_host.distinctTexts();
    QVERIFY2(texts.size() > 4, qPrintable(texts.join('|')));
    QCOMPARE(texts.at(0), caption);
    QCOMPARE(texts.at(1), caption + QStringLiteral(", Please wait.. 0"));
    QCOMPARE(texts.at(2), caption + QStringLiteral(", Please wait.. 1"));
    QCOMPARE(texts.at(texts.size() - 2), caption);
    QCOMPARE(texts.last(), QStringLiteral("Progress Bar"));
    // The file's own share, then the creeping value from poll 50 on.
    QCOMPARE(m_host.barValues.mid(0, 2), (QList<int>{100, 100}));
    QCOMPARE(m_host.barValues.last(), 0);
    QCOMPARE(m_dialogs.shown.last().text, QStringLiteral("Done."));
}

void TestBatchRunFaults::lostToolFailsFilesAndRunEnds_data()
{
    QTest::addColumn<bool>("endsAtOnce");
    QTest::addColumn<QString>("reason");
    QTest::newRow("dies on each file") << false << "ExifTool ended";
    // Restarting such a tool for ever would hang the run.
    QTest::newRow("ends as soon as it starts") << true << "ExifTool";
}

void TestBatchRunFaults::lostToolFailsFilesAndRunEnds()
{
    QFETCH(bool, endsAtOnce);
    QFETCH(QString, reason);
    m_host.entries = makeSources({"a.jpg", "b.jpg"});
    BatchRun run(m_host, m_dialogs);
    QString tool = writeStandIn(m_dir->path(), QStringLiteral("0.1"), true);
    if (endsAtOnce) {
        tool = makeToolStandIn(m_dir->path(), QStringLiteral("ends"), {QStringLiteral("exit=0")});
    }
    run.setToolProgram(tool);
    run.setVerifier({}); // the stand-in writes no picture
    QVERIFY(runToEnd(run));
    QCOMPARE(m_dialogs.shown.last().text, QStringLiteral("Done. 2 of 2 files could not be written."));
    for (const FileOutcome &failure : m_reports.last().failures())
        QVERIFY2(failure.reason.contains(reason), qPrintable(failure.reason));
    // The stand-in had made its temporary output before it died: not a result.
    QVERIFY(outputNames().isEmpty());
    QVERIFY(!run.BatchBusy());
}

void TestBatchRunFaults::abandonLeavesNoResultFile()
{
    m_host.entries = makeSources({"a.jpg", "b.jpg"});
    auto run = std::make_unique<BatchRun>(m_host, m_dialogs);
    run->setToolProgram(writeStandIn(m_dir->path(), QStringLiteral("5")));
    run->setVerifier({}); // the stand-in writes no picture
    run->PushButton3_Click();
    // The tool writes into the run's private folder only.
    const auto inRunFolder = [this] {
        const QStringList folders =
            QDir(m_out).entryList({QStringLiteral(".ostrell-run-*")}, QDir::Dirs | QDir::Hidden);
        return folders.size() == 1 ? QDir(m_out + '/' + folders.first()).entryList(QDir::Files).size() : 0;
    };
    QTRY_VERIFY_WITH_TIMEOUT(inRunFolder() >= 2, 10000);
    QVERIFY(outputNames().isEmpty());

    run->abandon();
    QVERIFY(!run->BatchBusy());
    run.reset();
    QVERIFY(QDir(m_out).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
    QVERIFY(m_dialogs.shown.isEmpty());
}

// One tool holds b, c and d when a is written and e is taken from the list:
// the stop lets b, which the tool has begun, finish; c and d, queued behind
// it, and e are never written.
void TestBatchRunFaults::stopLetsOnlyBegunFilesFinish()
{
    m_host.entries = makeSources({"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg", "f.jpg"});
    m_dialogs.questionAnswers = {true};
    BatchRun run(m_host, m_dialogs);
    run.setToolProgram(writeStandIn(m_dir->path(), QStringLiteral("0.2")));
    run.setVerifier({}); // the stand-in writes no picture
    run.setWorkerCount(1);
    m_host.onText = [&](const QString &text) {
        if (text == QLatin1String("Processing: e.jpg"))
            run.requestStop();
    };
    QVERIFY(runToEnd(run));
    QCOMPARE(m_dialogs.ofKind(QStringLiteral("question")).first().text,
             QStringLiteral("Stop the run? Files already written are kept."));
    QCOMPARE(m_dialogs.shown.last().text, QStringLiteral("Stopped. 4 of 6 files could not be written."));
    QVERIFY(m_dialogs.shown.last().details.startsWith(
        QLatin1String("4 files not written. Not started: the run was stopped first\n")));
    QCOMPARE(outputNames(), (QStringList{"a.jpg", "b.jpg"}));
    QVERIFY(!run.BatchBusy());
}

// The run ends while the stop question is open: the question goes first,
// then the end message; nothing was stopped.

void TestBatchRunFaults::stopQuestionClosesWhenTheRunEnds()
{
    m_host.entries = makeSources({"a.jpg", "b.jpg"});
    m_dialogs.holdQuestions = true;
    BatchRun run(m_host, m_dialogs);
    run.setToolProgram(writeStandIn(m_dir->path(), QStringLiteral("0.3")));
    run.setVerifier({}); // the stand-in writes no picture
    m_host.onText = [&](const QString &text) {
        if (text == QLatin1String("Processing: b.jpg"))
            QTimer::singleShot(0, &run, [&] { run.requestStop(); });
    };
    QVERIFY(runToEnd(run));
    QStringList kinds;
    for (const FakeDialogs::Shown &shown : m_dialogs.shown)
        kinds.append(shown.kind);
    QCOMPARE(kinds, (QStringList{"question", "closed", "message"}));
    QCOMPARE(m_dialogs.shown.last().text, QStringLiteral("Done."));
    QVERIFY(!m_reports.last().stopped);
    QCOMPARE(outputNames(), (QStringList{"a.jpg", "b.jpg"}));
    QVERIFY(!run.BatchBusy());
}

// Whatever the tools' timing, the first listed file of a name takes it.

OSTRELL_CORE_TEST_MAIN(TestBatchRunFaults)
#include "tst_batchrunfaults.moc"
