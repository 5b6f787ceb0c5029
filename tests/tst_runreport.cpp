#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "testsupport.h"
#include "writer/exiftool/toolverdict.h"
#include "writer/report/runreport.h"

using Kind = FileOutcome::Kind;
Q_DECLARE_METATYPE(QList<Kind>)

class TestRunReport : public QObject {
    Q_OBJECT

private slots:
    void endMessageCountsFailures_data();
    void endMessageCountsFailures();
    void detailsGroupAMixedBatch();
    void explainsWhatExifToolPrints_data();
    void explainsWhatExifToolPrints();
};

void TestRunReport::endMessageCountsFailures_data()
{
    QTest::addColumn<QList<Kind>>("kinds");
    QTest::addColumn<int>("total");
    QTest::addColumn<bool>("stopped");
    QTest::addColumn<QString>("message");

    QTest::newRow("all written") << QList<Kind>{Kind::Written, Kind::Written} << 2 << false << "Done.";
    QTest::newRow("already there and notes count as written")
        << QList<Kind>{Kind::AlreadyThere, Kind::WrittenWithNotes} << 2 << false << "Done.";
    QTest::newRow("one of one") << QList<Kind>{Kind::Failed} << 1 << false
                                << "Done. 1 of 1 file could not be written.";
    QTest::newRow("two of three") << QList<Kind>{Kind::Failed, Kind::Written, Kind::Failed} << 3
                                  << false << "Done. 2 of 3 files could not be written.";
    QTest::newRow("stopped, rest not started")
        << QList<Kind>{Kind::Written, Kind::Stopped, Kind::Stopped} << 3 << true
        << "Stopped. 2 of 3 files could not be written.";
    QTest::newRow("stopped after the last") << QList<Kind>{Kind::Written} << 1 << true << "Stopped.";
}

void TestRunReport::endMessageCountsFailures()
{
    QFETCH(QList<Kind>, kinds);
    QFETCH(int, total);
    QFETCH(bool, stopped);
    QFETCH(QString, message);

    QList<FileOutcome> outcomes;
    for (Kind kind : kinds)
        outcomes.append({kind, QStringLiteral("/p/a.jpg"), QString(), QString(), QString()});
    QCOMPARE(endMessage(outcomes, total, stopped), message);
    if (message == QLatin1String("Done.") || message == QLatin1String("Stopped."))
        QCOMPARE(reportDetails(outcomes).isEmpty(),
                 !kinds.contains(Kind::WrittenWithNotes));
}

void TestRunReport::detailsGroupAMixedBatch()
{
    const QString huge = QStringLiteral("exiftool -o \"/out/x.jpg\" -ImageDescription=\"")
        + QString(66000, QLatin1Char('a')) + QStringLiteral("\" \"/in/x.jpg\"");
    const QString notJpeg = QStringLiteral("The file is not a readable JPEG picture");
    const QString taken = QStringLiteral("A file of this name is already in the results folder");
    const QString shownInstead = QStringLiteral(
        "Windows Explorer shows this picture's Image Description instead of its Title: \"OLYMPUS DIGITAL CAMERA\"");
    const QList<FileOutcome> outcomes{
        {Kind::Failed, QStringLiteral("/in/a.jpg"), taken, QStringLiteral("Error: 'a' already exists - a"), huge},
        {Kind::Written, QStringLiteral("/in/ok.jpg"), QString(), QString(), huge},
        {Kind::Failed, QStringLiteral("/in/b.jpg"), notJpeg, QStringLiteral("Error: Corrupted JPEG image - b"), huge},
        {Kind::Failed, QStringLiteral("/in/c.jpg"), notJpeg, QStringLiteral("Error: Corrupted JPEG image - c"), huge},
        {Kind::AlreadyThere, QStringLiteral("/in/d.jpg"), QString(), QString(), huge},
        {Kind::WrittenWithNotes, QStringLiteral("/in/e.jpg"),
         QStringLiteral("ExifTool dropped damaged metadata of the source from the copy"),
         QStringLiteral("Warning: Truncated PreviewIFD directory. IFD dropped. - e"), huge},
        {Kind::Failed, QStringLiteral("/in/f.jpg"), notJpeg, QString(), huge},
        {Kind::WrittenWithNotes, QStringLiteral("/in/g.jpg"), shownInstead, QString(), huge},
        {Kind::WrittenWithNotes, QStringLiteral("/in/h.jpg"), shownInstead, QString(), huge},
    };
    QCOMPARE(endMessage(outcomes, 9, false), QStringLiteral("Done. 4 of 9 files could not be written."));

    const QString details = reportDetails(outcomes);
    const QStringList lines = details.split(QLatin1Char('\n'));
    // Most frequent reason first, each group's lines once, then the notes.
    const qsizetype notJpegAt = lines.indexOf(QStringLiteral("3 files not written. ") + notJpeg);
    const qsizetype takenAt = lines.indexOf(QStringLiteral("1 file not written. ") + taken);
    const qsizetype notesAt = lines.indexOf(QStringLiteral("Written, with notes"));
    QVERIFY2(notJpegAt >= 0 && notJpegAt < takenAt && takenAt < notesAt, qPrintable(details));
    QCOMPARE(lines.at(notJpegAt + 1), QStringLiteral("  ExifTool said: Error: Corrupted JPEG image - b"));
    QCOMPARE(lines.mid(notJpegAt + 3, 3),
             (QStringList{QStringLiteral("    /in/b.jpg"), QStringLiteral("    /in/c.jpg"),
                          QStringLiteral("    /in/f.jpg")}));
    // Written copies are grouped by their notes, without command lines.
    const qsizetype shownAt = lines.indexOf(QStringLiteral("2 files written. ") + shownInstead);
    QVERIFY2(shownAt > notesAt, qPrintable(details));
    QCOMPARE(lines.mid(shownAt + 1, 2),
             (QStringList{QStringLiteral("    /in/g.jpg"), QStringLiteral("    /in/h.jpg")}));
    QCOMPARE(details.count(QStringLiteral("Command line: ")), 2);
    QVERIFY(details.contains(QStringLiteral("… (66,057 characters)")));
    QVERIFY(details.contains(QLatin1String("    /in/e.jpg")));
    QVERIFY(details.contains(QLatin1String("1 file already in the results folder")));
    QVERIFY(!details.contains(QLatin1String("/in/ok.jpg")));
    for (const QString &line : lines)
        QVERIFY2(line.size() <= 300, qPrintable(line.left(80)));
}

void TestRunReport::explainsWhatExifToolPrints_data()
{
    QTest::addColumn<QByteArray>("sourceBytes"); // a file ExifTool is asked to tag; empty: use "errors"
    QTest::addColumn<bool>("outputExists");
    QTest::addColumn<QString>("errors");
    QTest::addColumn<QString>("words");
    QTest::addColumn<bool>("noteOnly");

    const QByteArray jpeg = fileBytes(QStringLiteral(TEST_SOURCE_DIR "/../app/Samples/Sunset.jpg"));
    QTest::newRow("text file named .jpg") << QByteArray("hello\n") << false << QString()
                                          << "The file is not a JPEG picture: its content is TXT" << false;
    QTest::newRow("PNG named .jpg") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) << false
                                    << QString() << "The file is not a JPEG picture: its content is PNG"
                                    << false;
    QTest::newRow("cut in its header") << jpeg.left(100) << false << QString()
                                       << "The file is not a readable JPEG picture" << false;
    QTest::newRow("empty file") << QByteArray() << false << QString()
                                << "The file is not a readable JPEG picture" << false;
    QTest::newRow("output name taken") << jpeg << true << QString()
                                       << "A file of this name is already in the results folder" << false;
    QTest::newRow("dropped metadata is a note, maker-note line is not a reason")
        << QByteArray() << false
        << "Warning: [minor] Maker notes could not be parsed - a.jpg\n"
           "Warning: Truncated PreviewIFD directory. IFD dropped. - a.jpg\n"
        << "ExifTool dropped damaged metadata of the source from the copy" << true;
    QTest::newRow("a failure wins over a note")
        << QByteArray() << false
        << "Warning: Truncated PreviewIFD directory. IFD dropped. - a.jpg\n"
           "Warning: [minor] Writing large value for ImageDescription - a.jpg\n"
        << "The value is too large for one EXIF block" << false;
    // A full card: the disk's state is asked for, as ExifTool gives no errno.
    QTest::newRow("output not written") << QByteArray() << false << "Error: Error writing output file - a.jpg\n"
                                        << "The copy could not be created in the results folder" << false;
    QTest::newRow("unknown line kept beside generic words")
        << QByteArray() << false << "Error: Something new - a.jpg\n"
        << "ExifTool could not write the copy" << false;
}

void TestRunReport::explainsWhatExifToolPrints()
{
    QFETCH(QByteArray, sourceBytes);
    QFETCH(bool, outputExists);
    QFETCH(QString, errors);
    QFETCH(QString, words);
    QFETCH(bool, noteOnly);

    QString output;
    if (errors.isEmpty()) {
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("in.jpg"));
        const QString copy = dir.filePath(QStringLiteral("out.jpg"));
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(sourceBytes);
        file.close();
        if (outputExists)
            QVERIFY(QFile::copy(source, copy));
        QProcess tool;
        tool.start(QStringLiteral("exiftool"), {QStringLiteral("-o"), copy,
                                                QStringLiteral("-Artist=x"), source});
        QVERIFY(tool.waitForFinished(60000));
        errors = QString::fromUtf8(tool.readAllStandardError());
        output = QString::fromUtf8(tool.readAllStandardOutput());
        QVERIFY2(tool.exitCode() != 0, qPrintable(output));
    }
    const ToolReason reason = explainToolLines(errors, output);
    QVERIFY2(reason.plainWords.startsWith(words), qPrintable(reason.plainWords));
    QCOMPARE(reason.isNoteOnly, noteOnly);
    QCOMPARE(reason.askTheDisk, words.startsWith(QLatin1String("The copy could not be created")));
    QVERIFY2(!reason.toolLine.isEmpty() && errors.contains(reason.toolLine), qPrintable(reason.toolLine));
    QCOMPARE(droppedMetadataNotes(errors).size(), errors.contains(QLatin1String("IFD dropped")) ? 1 : 0);
}

QTEST_GUILESS_MAIN(TestRunReport)
#include "tst_runreport.moc"
