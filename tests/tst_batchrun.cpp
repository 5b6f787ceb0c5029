#include "batchrunsupport.h"
#include "platform/filenames.h"

class TestBatchRun : public QObject, private BatchRunFixture {
    Q_OBJECT
private slots:
    void init() { BatchRunFixture::init(); }
    void cleanup() { BatchRunFixture::cleanup(); }

    void emptyListShowsMessageOnly();
    void refusedBeforeAnyFile_data();
    void refusedBeforeAnyFile();
    void fourFilesWritten();
    void secondClickDuringRunIsIgnored();
    void inputsAreFixedAtStart_data();
    void inputsAreFixedAtStart();
    void noTagSelectedCopiesFiles();
    void copyWithoutTheValueIsRefused();
    void secondRunFinishesTheRest();
    void existingOutputIsLeftAlone();
    void firstListedOfOneNameWins();
    void onlyRegularFilesReachTheTool_data();
    void onlyRegularFilesReachTheTool();
    void nameThatIsNotUtf8KeepsItsBytes();
    void namesInAnyScript_data();
    void namesInAnyScript();
};

void TestBatchRun::emptyListShowsMessageOnly()
{
    BatchRun run(m_host, m_dialogs);
    run.PushButton3_Click();
    QCOMPARE(m_dialogs.shown.size(), 1);
    QCOMPARE(m_dialogs.shown.first().text, QStringLiteral("No files added."));
    QVERIFY(m_host.pointer.isEmpty());
    QVERIFY(m_host.barValues.isEmpty());
    QVERIFY(m_host.barTexts.isEmpty());
    QVERIFY(!run.BatchBusy());
}

// Each problem known before the run: one message, no file tried, the window
// as it was (and the value box focused again after a refused value).

void TestBatchRun::refusedBeforeAnyFile_data()
{
    QTest::addColumn<QString>("folder"); // relative to the test's folder; "" the results folder
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("toolMissing");
    QTest::addColumn<QStringList>("says");
    QTest::addColumn<bool>("refocused");
    const QString folderMissing = QStringLiteral("Folder does not exist. Please select another folder.");
    QTest::newRow("folder: empty text") << "<empty>" << "Artist" << "x" << false
                                        << QStringList{folderMissing} << false;
    QTest::newRow("folder: names a file") << "photos/a.jpg" << "Artist" << "x" << false
                                          << QStringList{folderMissing} << false;
    QTest::newRow("folder: does not exist") << "nowhere" << "Artist" << "x" << false
                                            << QStringList{folderMissing} << false;
    QTest::newRow("folder: cannot create files in it")
        << "<locked>" << "Artist" << "x" << false
        << QStringList{"Files cannot be created in the folder \"<locked>\". Please select another folder."}
        << false;
    QTest::newRow("tool missing") << "" << "Artist" << "x" << true
                                  << QStringList{"ExifTool was not found.", "install"} << false;
    QTest::newRow("date not understood")
        << "" << "Date and Time (original)" << "yesterday" << false
        << QStringList{"YYYY:MM:DD HH:MM:SS", "yesterday"} << true;
    QTest::newRow("emoji in Title") << "" << "Title" << "party \U0001F389 time" << false
                                    << QStringList{"\"Title\"", "\"\U0001F389\" (U+1F389)"} << true;
    QTest::newRow("beyond U+FFFF in Keywords")
        << "" << "Keywords" << "clef \U0001D11E, \U0001F600" << false
        << QStringList{"\"Keywords\"", "\"\U0001D11E\" (U+1D11E)"} << true;
}

void TestBatchRun::refusedBeforeAnyFile()
{
    QFETCH(QString, folder);
    QFETCH(QString, label);
    QFETCH(QString, value);
    QFETCH(bool, toolMissing);
    QFETCH(QStringList, says);
    QFETCH(bool, refocused);

    m_host.entries = makeSources({QStringLiteral("a.jpg"), QStringLiteral("b.jpg")});
    m_host.label = label;
    m_host.value = value;
    QString locked;
    if (folder == QLatin1String("<locked>")) {
        // Root may write anywhere the permissions forbid; not in a process's /proc folder.
        locked = m_dir->filePath(QStringLiteral("locked"));
        QVERIFY(QDir().mkpath(locked));
        QVERIFY(QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        if (QFile(locked + QStringLiteral("/probe")).open(QIODevice::WriteOnly))
            QSKIP("This system's permission bits do not stop files being made in a folder");
        if (runsAsSuperUser())
            locked = QStringLiteral("/proc/1");
        m_host.folder = locked;
        for (QString &text : says)
            text.replace(QLatin1String("<locked>"), locked);
    } else if (folder == QLatin1String("<empty>")) {
        m_host.folder.clear();
    } else if (!folder.isEmpty()) {
        m_host.folder = m_dir->filePath(folder);
    }
    // A tool that would leave a mark if it were ever started.
    const QString marker = m_dir->filePath(QStringLiteral("started"));
    const QString tool = makeToolStandIn(m_dir->path(), QStringLiteral("marking-tool"),
                                         {QStringLiteral("marker=") + marker, QStringLiteral("exit=1")});

    BatchRun run(m_host, m_dialogs);
    run.setToolProgram(toolMissing ? QStringLiteral("ostrell-no-such-exiftool") : tool);
    run.PushButton3_Click();
    QTRY_VERIFY(!run.BatchBusy());
    QCOMPARE(m_dialogs.shown.size(), 1);
    const QString text = m_dialogs.shown.first().text;
    for (const QString &part : says)
        QVERIFY2(text.contains(part), qPrintable(text));
    QCOMPARE(m_host.focused, refocused ? 1 : 0);
    QVERIFY(m_host.pointer.isEmpty());
    QVERIFY(m_host.barValues.isEmpty() && m_host.barTexts.isEmpty());
    QVERIFY(m_host.running.isEmpty() || !m_host.running.last());
    QTest::qWait(100);
    QVERIFY(!QFile::exists(marker));
    QVERIFY(outputNames().isEmpty());
    if (!locked.isEmpty())
        QFile::setPermissions(m_dir->filePath(QStringLiteral("locked")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void TestBatchRun::fourFilesWritten()
{
    // Windows refuses '"' in a name: a quote it takes instead.
    const QStringList names{"a.jpg", "b b.jpg", fileNamesAreBytes() ? "c\"q\".jpg" : "c'q'.jpg", "d$1.jpg"};
    m_host.entries = makeSources(names);
    QList<QByteArray> before;
    for (const QString &source : m_host.entries)
        before.append(fileBytes(source));

    BatchRun run(m_host, m_dialogs);
    run.setWorkerCount(2);
    QVERIFY(runToEnd(run));

    QVERIFY(barFollowed(names));
    QVERIFY(m_host.pointer.first());
    QVERIFY(!m_host.pointer.last());
    QCOMPARE(m_dialogs.shown.size(), 1);
    QCOMPARE(m_dialogs.shown.first().text, QStringLiteral("Done."));
    QVERIFY(m_dialogs.shown.first().details.isEmpty());
    QCOMPARE(m_dialogs.shown.first().folder, QUrl::fromLocalFile(m_out));
    QVERIFY(!run.BatchBusy());
    QCOMPARE(m_host.running, (QList<bool>{true, false}));
    QCOMPARE(m_host.progress.first(), qMakePair(0, 4));
    QCOMPARE(m_host.progress.last(), qMakePair(4, 4));
    QCOMPARE(m_host.progress.size(), 5);

    QCOMPARE(m_reports.last().total, 4);
    QVERIFY(m_reports.last().failures().isEmpty());
    for (int i = 0; i < names.size(); ++i) {
        QCOMPARE(readTag(m_out + QLatin1Char('/') + names.at(i), QStringLiteral("Artist")),
                 QStringLiteral("Summer 2021"));
        QCOMPARE(fileBytes(m_host.entries.at(i)), before.at(i));
    }
}

void TestBatchRun::secondClickDuringRunIsIgnored()
{
    m_host.entries = makeSources({QStringLiteral("a.jpg"), QStringLiteral("b.jpg")});
    BatchRun run(m_host, m_dialogs);
    int clicks = 0;
    m_host.onText = [&](const QString &text) {
        if (text.startsWith(QLatin1String("Processing: ")) && clicks++ == 0) {
            QVERIFY(run.BatchBusy());
            run.PushButton3_Click();
        }
    };
    QVERIFY(runToEnd(run));
    QTest::qWait(200); // a second run would have started by now
    QCOMPARE(m_reports.size(), 1);
    QCOMPARE(m_dialogs.shown.size(), 1);
    QCOMPARE(m_host.barValues, (QList<int>{50, 100, 0}));
    QCOMPARE(outputNames(), (QStringList{"a.jpg", "b.jpg"}));
}

// Whatever changes in the window once the run has started, every file gets
// the tag and value it had at Start, in the folder it had, in the list's order then.

void TestBatchRun::inputsAreFixedAtStart_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("value") << "value";
    QTest::newRow("tag") << "tag";
    QTest::newRow("results folder") << "folder";
    QTest::newRow("list re-ordered") << "reorder";
    QTest::newRow("list grown") << "grow";
    QTest::newRow("list shrunk") << "shrink";
    QTest::newRow("list cleared") << "clear";
}

void TestBatchRun::inputsAreFixedAtStart()
{
    QFETCH(QString, change);
    const QStringList names{"a.jpg", "b.jpg", "c.jpg", "d.jpg"};
    m_host.entries = makeSources(names);
    const QStringList added = makeSources({"e.jpg", "f.jpg"});
    const QString other = m_dir->filePath(QStringLiteral("other"));
    QVERIFY(QDir().mkpath(other));
    BatchRun run(m_host, m_dialogs);
    run.setWorkerCount(1);
    m_host.onText = [&](const QString &text) {
        if (text != QLatin1String("Processing: a.jpg"))
            return;
        if (change == QLatin1String("value"))
            m_host.value = QStringLiteral("CH");
        else if (change == QLatin1String("tag"))
            m_host.label = QStringLiteral("Title");
        else if (change == QLatin1String("folder"))
            m_host.folder = other;
        else if (change == QLatin1String("reorder"))
            std::reverse(m_host.entries.begin(), m_host.entries.end());
        else if (change == QLatin1String("grow"))
            m_host.entries += added;
        else if (change == QLatin1String("shrink"))
            m_host.entries = m_host.entries.mid(0, 2);
        else
            m_host.entries.clear();
    };
    QVERIFY(runToEnd(run));
    QCOMPARE(m_dialogs.shown.last().text, QStringLiteral("Done."));
    QVERIFY(barFollowed(names));
    QCOMPARE(m_reports.last().total, 4);
    QCOMPARE(outputNames(), names);
    QVERIFY(QDir(other).isEmpty());
    for (const QString &name : names) {
        const QString copy = m_out + QLatin1Char('/') + name;
        QCOMPARE(readTag(copy, QStringLiteral("Artist")), QStringLiteral("Summer 2021"));
        QCOMPARE(readTag(copy, QStringLiteral("XPTitle")), QString());
    }
}

void TestBatchRun::noTagSelectedCopiesFiles()
{
    m_host.entries = makeSources({"a.jpg"});
    m_host.label.clear();
    BatchRun run(m_host, m_dialogs);
    QVERIFY(runToEnd(run));
    QCOMPARE(m_dialogs.shown.last().text, QStringLiteral("Done."));
    QCOMPARE(outputNames(), QStringList{"a.jpg"});
    QCOMPARE(readTag(m_out + QStringLiteral("/a.jpg"), QStringLiteral("Artist")), QString());
}

// A copy that does not read back as typed is not published.

void TestBatchRun::copyWithoutTheValueIsRefused()
{
    m_host.entries = makeSources({"a.jpg"});
    BatchRun run(m_host, m_dialogs);
    run.setToolProgram(writeStandIn(m_dir->path(), QStringLiteral("0"), false, QByteArray(), true));
    QVERIFY(runToEnd(run));
    QCOMPARE(m_dialogs.shown.last().text, QStringLiteral("Done. 1 of 1 file could not be written."));
    const QString reason = m_reports.last().failures().first().reason;
    QVERIFY2(reason.contains(QLatin1String("Artist")), qPrintable(reason));
    QVERIFY(outputNames().isEmpty());
}

// Run again into the same folder: copies already there are kept untouched,
// only the missing one is written, and the run ends in plain "Done.".

void TestBatchRun::secondRunFinishesTheRest()
{
    m_host.entries = makeSources({"a.jpg", "b.jpg", "c.jpg"});
    {
        BatchRun run(m_host, m_dialogs);
        QVERIFY(runToEnd(run));
    }
    QCOMPARE(m_dialogs.shown.last().text, QStringLiteral("Done."));
    QVERIFY(QFile::remove(m_out + QStringLiteral("/b.jpg")));
    const QFileInfo kept(m_out + QStringLiteral("/a.jpg"));
    const QDateTime keptTime = kept.lastModified();
    QTest::qWait(1100); // a rewrite would show in the time

    BatchRun again(m_host, m_dialogs);
    QVERIFY(runToEnd(again));
    QCOMPARE(m_dialogs.shown.last().text, QStringLiteral("Done."));
    QCOMPARE(QFileInfo(m_out + QStringLiteral("/a.jpg")).lastModified(), keptTime);
    QCOMPARE(outputNames(), (QStringList{"a.jpg", "b.jpg", "c.jpg"}));
    QCOMPARE(readTag(m_out + QStringLiteral("/b.jpg"), QStringLiteral("Artist")),
             QStringLiteral("Summer 2021"));
    QList<FileOutcome::Kind> kinds;
    for (const FileOutcome &outcome : m_reports.last().outcomes)
        kinds.append(outcome.kind);
    QCOMPARE(kinds, (QList<FileOutcome::Kind>{FileOutcome::Kind::AlreadyThere, FileOutcome::Kind::Written,
                                              FileOutcome::Kind::AlreadyThere}));
}

void TestBatchRun::existingOutputIsLeftAlone()
{
    m_host.entries = makeSources({"a.jpg", "b.jpg"});
    const QString existing = m_out + QStringLiteral("/b.jpg");
    QVERIFY(makeJpeg(existing, 8, 8, 0xff0000));
    const QByteArray existingBytes = fileBytes(existing);
    m_host.value = QStringLiteral("x");

    BatchRun run(m_host, m_dialogs);
    QVERIFY(runToEnd(run));

    QCOMPARE(m_dialogs.shown.last().text, QStringLiteral("Done. 1 of 2 files could not be written."));
    const BatchReport report = m_reports.last();
    QCOMPARE(report.failures().size(), 1);
    QCOMPARE(report.failures().first().source, m_host.entries.at(1));
    QVERIFY2(report.failures().first().reason.contains(QLatin1String("A file named b.jpg is already in the results folder")),
             qPrintable(report.failures().first().reason));
    QCOMPARE(fileBytes(existing), existingBytes);
    QCOMPARE(readTag(m_out + QStringLiteral("/a.jpg"), QStringLiteral("Artist")), QStringLiteral("x"));
}

void TestBatchRun::firstListedOfOneNameWins()
{
    QVERIFY(QDir(m_src).mkpath(QStringLiteral("slow")));
    QVERIFY(QDir(m_src).mkpath(QStringLiteral("fast")));
    m_host.entries = makeSources({"slow/a.jpg", "fast/a.jpg", "b.jpg"});
    BatchRun run(m_host, m_dialogs);
    run.setWorkerCount(2);
    run.setToolProgram(writeStandIn(m_dir->path(), QStringLiteral("0")));
    run.setVerifier({}); // the stand-in writes no picture
    QVERIFY(runToEnd(run));
    QCOMPARE(outputNames(), (QStringList{"a.jpg", "b.jpg"}));
    QCOMPARE(fileBytes(m_out + QStringLiteral("/a.jpg")), m_host.entries.at(0).toUtf8());
    const QList<FileOutcome> failures = m_reports.last().failures();
    QCOMPARE(failures.size(), 1);
    QCOMPARE(failures.first().source, m_host.entries.at(1));
    QCOMPARE(failures.first().reason,
             QStringLiteral("Another listed file of the same name, %1, was written to this place first.")
                 .arg(m_host.entries.at(0)));
}

void TestBatchRun::onlyRegularFilesReachTheTool_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QByteArray>("firstBytes");
    QTest::newRow("named pipe") << "pipe" << "This is a named pipe, not a picture file." << QByteArray();
    QTest::newRow("folder") << "folder" << "This is a folder, not a file." << QByteArray();
    QTest::newRow("gone") << "gone" << "The file is not there any more." << QByteArray();
    QTest::newRow("no answer in time") << "hang" << "ExifTool did not finish this file within 3 seconds."
                                       << QByteArray();
    // What is not a JPEG never reaches the tool, whatever its extension.
    const auto notJpeg = [](const char *name, const char *what, const QByteArray &bytes) {
        QTest::newRow(name) << "bytes" << QStringLiteral("This is %1, not a JPEG picture.").arg(QLatin1String(what))
                            << bytes;
    };
    notJpeg("PNG", "a PNG picture", QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    notJpeg("TIFF", "a TIFF picture (or a camera's raw file)", QByteArray("II*\0\x08\0\0\0", 8));
    notJpeg("GIF", "a GIF picture", QByteArray("GIF89a\x01\0\x01\0", 10));
    notJpeg("HEIF", "a HEIF picture", QByteArray("\0\0\0\x18" "ftypheic\0\0\0\0", 16));
    notJpeg("MP4", "an MP4 or QuickTime video", QByteArray("\0\0\0\x18" "ftypisom\0\0\x02\0", 16));
    notJpeg("WebP", "a WebP picture", QByteArray("RIFF\x24\0\0\0WEBPVP8 ", 16));
    QTest::newRow("empty") << "bytes" << "The file is empty." << QByteArray("");
    QTest::newRow("text") << "bytes" << "This is not a JPEG picture." << QByteArray("Holiday notes\n");
}

void TestBatchRun::onlyRegularFilesReachTheTool()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QFETCH(QByteArray, firstBytes);
    const QString odd = m_src + QStringLiteral("/odd-hang.jpg");
    if (kind == QLatin1String("bytes")) {
        QFile file(odd);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(firstBytes) == firstBytes.size());
    } else if (kind == QLatin1String("pipe")) {
        if (!makeNamedPipe(odd))
            QSKIP("No named pipes in this system's file systems");
    }
    else if (kind == QLatin1String("folder"))
        QVERIFY(QDir().mkpath(odd));
    else if (kind == QLatin1String("hang"))
        QVERIFY(makeJpeg(odd));
    m_host.entries = QStringList{odd} + makeSources({"ok.jpg"});
    BatchRun run(m_host, m_dialogs);
    // Time for the stand-in to start and answer for "ok.jpg" on a loaded
    // machine (under Wine too); the hanging one waits far longer.
    run.setFileTimeout(kind == QLatin1String("hang") ? 3000 : FileTimeoutMs);
    run.setToolProgram(writeStandIn(m_dir->path(), QStringLiteral("0")));
    run.setVerifier({}); // the stand-in writes no picture
    QVERIFY(runToEnd(run));
    QCOMPARE(m_dialogs.shown.last().text, QStringLiteral("Done. 1 of 2 files could not be written."));
    QCOMPARE(m_reports.last().failures().first().reason, reason);
    // The run went on, and left nothing of the refused file.
    QCOMPARE(outputNames(), QStringList{"ok.jpg"});
}

// A Latin-1 name from an old camera: the copy gets the very same bytes.

void TestBatchRun::nameThatIsNotUtf8KeepsItsBytes()
{
    if (!fileNamesAreBytes())
        QSKIP("File names on this system are UTF-16 text, never stray bytes");
    const QString made = makeSources({"made.jpg"}).first();
    const QByteArray latin1 = QFile::encodeName(m_src) + "/caf\xe9.jpg";
    QCOMPARE(std::rename(QFile::encodeName(made).constData(), latin1.constData()), 0);
    m_host.entries = QStringList{QString::fromUtf8(latin1)};
    m_host.paths = {latin1};
    BatchRun run(m_host, m_dialogs);
    QVERIFY(runToEnd(run));
    QCOMPARE(m_dialogs.shown.last().text, QStringLiteral("Done."));
    const QByteArray copy = QFile::encodeName(m_out) + "/caf\xe9.jpg";
    QCOMPARE(verifyCopy(latin1, copy, {QStringLiteral("Artist"), m_host.value}).wrong, QString());
    std::remove(copy.constData()); // Qt cannot name them to clean up
    std::remove(latin1.constData());
}

// Names no ANSI code page holds, for the photos' folder, the photo and the
// results folder: the copy gets the photo's own name and the value.
void TestBatchRun::namesInAnyScript_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("results");
    QTest::newRow("Greek") << "Φάκελος" << "Ωμέγα.jpg" << "Αποτελέσματα";
    QTest::newRow("CJK") << "写真フォルダ" << "写真.jpg" << "結果";
    QTest::newRow("emoji") << "🙂 photos" << "🙂.jpg" << "out 🙂";
}

void TestBatchRun::namesInAnyScript()
{
    QFETCH(QString, folder);
    QFETCH(QString, name);
    QFETCH(QString, results);
    QVERIFY(QDir().mkpath(m_src + nativePath(QLatin1Char('/') + folder)));
    const QString source = m_src + nativePath(QLatin1Char('/') + folder + QLatin1Char('/') + name);
    QVERIFY(makeJpeg(source));
    const QString out = nativePath(m_dir->filePath(results));
    QVERIFY(QDir().mkpath(out));
    m_host.entries = QStringList{source};
    m_host.paths = {Platform::encodeName(source)};
    m_host.folder = out + nativePath(QStringLiteral("/"));

    BatchRun run(m_host, m_dialogs);
    QVERIFY(runToEnd(run));
    QVERIFY2(m_reports.last().failures().isEmpty(), qPrintable(m_dialogs.shown.last().details));
    QCOMPARE(QDir(out).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList{name});
    // Read back through a plain name: ExifTool for Windows takes its command
    // line in the ANSI code page.
    const QString check = m_dir->filePath(QStringLiteral("check.jpg"));
    QVERIFY(QFile::copy(out + nativePath(QLatin1Char('/') + name), check));
    QCOMPARE(readTag(check, QStringLiteral("Artist")), QStringLiteral("Summer 2021"));
}

OSTRELL_CORE_TEST_MAIN(TestBatchRun)
#include "tst_batchrun.moc"
