#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "app/details/detailrows.h"
#include "app/details/listsummary.h"
#include "app/details/picturefacts.h"
#include "app/details/picturevalue.h"
#include "testsupport.h"
#include "writer/command/prerunchecks.h"
#include "writer/tags/tagcatalogue.h"

Q_DECLARE_METATYPE(SummaryCount)

namespace {

// A 64 x 32 picture whose left half is red, tagged by ExifTool with the
// given assignments (arguments of its command line).
QString photo(const QString &folder, const QString &name, const QStringList &assignments)
{
    const QString path = folder + QLatin1Char('/') + name;
    QImage image(64, 32, QImage::Format_RGB32);
    image.fill(Qt::blue);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            image.setPixel(x, y, qRgb(255, 0, 0));
    if (!image.save(path, "JPEG", 95))
        return QString();
    if (assignments.isEmpty())
        return path;
    // In an argument file, whose lines ExifTool reads as UTF-8 on every
    // system: Windows hands it a command line in the ANSI code page.
    QByteArray arguments = "-q\n-overwrite_original\n";
    for (const QString &argument : assignments + QStringList{path})
        arguments += cstrLine(argument);
    QFile argumentFile(path + QStringLiteral(".args"));
    if (!argumentFile.open(QIODevice::WriteOnly) || argumentFile.write(arguments) != arguments.size())
        return QString();
    argumentFile.close();
    QProcess tool;
    tool.start(QStringLiteral("exiftool"), {QStringLiteral("-@"), argumentFile.fileName()});
    tool.waitForFinished(60000);
    return tool.exitCode() == 0 ? path : QString();
}

// "Label=value" for every tag the picture holds, in the selector's order.
QStringList heldTags(const PictureFacts &facts)
{
    QStringList held;
    for (std::size_t i = 0; i < facts.values.size(); ++i)
        if (facts.values[i])
            held.append(QString::fromLatin1(TagCatalogue()[i].label) + QLatin1Char('=') + *facts.values[i]);
    return held;
}

QStringList shownInstead(const PictureFacts &facts)
{
    QStringList shown;
    for (std::size_t i = 0; i < facts.shownInstead.size(); ++i)
        if (facts.shownInstead[i])
            shown.append(QStringLiteral("%1 shows %2: %3")
                             .arg(QString::fromLatin1(TagCatalogue()[i].label), facts.shownInstead[i]->tagLabel,
                                  facts.shownInstead[i]->text));
    return shown;
}

} // namespace

class PictureDetailsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void photosAndTheirTags_data()
    {
        QTest::addColumn<QStringList>("assignments");
        QTest::addColumn<QStringList>("held");
        QTest::addColumn<QStringList>("shown");

        QTest::newRow("no metadata") << QStringList() << QStringList() << QStringList();
        QTest::newRow("every tag") << QStringList{
            "-XPTitle=Harbour", "-XPSubject=Boats", "-XPKeywords=sea;port", "-XPAuthor=Ann",
            "-XPComment=Two\nlines", "-ImageDescription=Harbour", "-Make=Canon",
            "-Model=EOS 5D", "-Software=Ostrell", "-Artist=Ann", "-ModifyDate=2021:08:31 12:00:00",
            "-DateTimeOriginal=2021:08:30 11:00:00", "-CreateDate=2021:08:29 10:00:00"}
            << QStringList{"Title=Harbour", "Subject=Boats", "Keywords=sea;port", "Author=Ann",
                           "Comment=Two\nlines", "Image Description=Harbour", "Equipment Make=Canon",
                           "Camera Model=EOS 5D", "Software=Ostrell", "Artist=Ann",
                           "Date and Time Taken=2021:08:31 12:00:00",
                           "Date and Time (original)=2021:08:30 11:00:00",
                           "Date and Time (digitized)=2021:08:29 10:00:00"}
            // Both pairs agree: Explorer shows the same text.
            << QStringList();
        QTest::newRow("title hidden behind the description")
            << QStringList{"-XPTitle=Harbour walk", "-ImageDescription=OLYMPUS DIGITAL CAMERA"}
            << QStringList{"Title=Harbour walk", "Image Description=OLYMPUS DIGITAL CAMERA"}
            << QStringList{"Title shows Image Description: OLYMPUS DIGITAL CAMERA"};
        QTest::newRow("no title, a description shows in its place")
            << QStringList{"-ImageDescription=  Sunset  "}
            << QStringList{"Image Description=  Sunset  "}
            << QStringList{"Title shows Image Description: Sunset"};
        QTest::newRow("a description of blanks hides nothing")
            << QStringList{"-XPTitle=Meadow", "-ImageDescription=        "}
            << QStringList{"Title=Meadow", "Image Description=        "} << QStringList();
        QTest::newRow("author hidden behind the artist")
            << QStringList{"-XPAuthor=Ann", "-Artist=Studio Nord", "-XPTitle=<b>not markup</b>"}
            << QStringList{"Title=<b>not markup</b>", "Author=Ann", "Artist=Studio Nord"}
            << QStringList{"Author shows Artist: Studio Nord"};
        QTest::newRow("Latin-1 artist of an old camera")
            << QStringList{"-charset", "exif=Latin", "-Artist=Café"} << QStringList{"Artist=Café"}
            << QStringList{"Author shows Artist: Café"};
    }

    void photosAndTheirTags()
    {
        QFETCH(QStringList, assignments);
        QFETCH(QStringList, held);
        QFETCH(QStringList, shown);
        const QString path = photo(m_dir.path(), QStringLiteral("%1.jpg").arg(QTest::currentDataTag()),
                                   assignments);
        QVERIFY(!path.isEmpty());
        PictureReadOptions options;
        options.thumbnail = true;
        const PictureFacts facts = readPictureFacts(QFile::encodeName(path), options);
        QCOMPARE(facts.error, QString());
        QCOMPARE(heldTags(facts), held);
        QCOMPARE(shownInstead(facts), shown);
        QCOMPARE(facts.pixels, QSize(64, 32));
        QCOMPARE(facts.size, QFileInfo(path).size());
        // No embedded thumbnail here: the picture itself, decoded small.
        QCOMPARE(facts.thumbnail.size(), QSize(64, 32));
    }

    void thumbnailUprightAndUnreadableFiles()
    {
        // An embedded thumbnail, turned as the photo's Orientation says (6:
        // a quarter turn clockwise), so its red half ends on top.
        const QString thumb = photo(m_dir.path(), QStringLiteral("thumb.jpg"), {});
        const QString turned = photo(m_dir.path(), QStringLiteral("turned.jpg"),
                                     {"-Orientation#=6", "-ThumbnailImage<=" + thumb});
        QVERIFY(!turned.isEmpty());
        PictureReadOptions options;
        options.thumbnail = true;
        PictureFacts facts = readPictureFacts(QFile::encodeName(turned), options);
        QCOMPARE(facts.orientation, 6);
        QCOMPARE(facts.thumbnail.size(), QSize(32, 64));
        QVERIFY(qRed(facts.thumbnail.pixel(16, 8)) > 200);
        QVERIFY(qBlue(facts.thumbnail.pixel(16, 56)) > 200);

        // Each is answered at once, from the name or the first bytes.
        const QString fifo = m_dir.filePath(QStringLiteral("pipe.jpg"));
        const bool hasPipe = makeNamedPipe(fifo);
        QImage(8, 8, QImage::Format_RGB32).save(m_dir.filePath(QStringLiteral("png.jpg")), "PNG");
        QFile cut(m_dir.filePath(QStringLiteral("cut.jpg")));
        QVERIFY(cut.open(QIODevice::WriteOnly));
        cut.write(fileBytes(thumb).left(40));
        cut.close();
        QList<std::pair<QString, QString>> unreadable{
            {fifo, QStringLiteral("This is a named pipe, not a picture file.")},
            {m_dir.filePath(QStringLiteral("png.jpg")), QStringLiteral("This is a PNG picture, not a JPEG picture.")},
            {m_dir.filePath(QStringLiteral("gone.jpg")), QStringLiteral("The file is not there any more.")},
            {m_dir.path(), QStringLiteral("This is a folder, not a file.")},
            {cut.fileName(), QStringLiteral("The source is not a whole JPEG picture: a segment runs past the end of the file")},
        };
        if (!hasPipe) // none in this system's file systems
            unreadable.removeFirst();
        for (const auto &[path, reason] : unreadable) {
            facts = readPictureFacts(QFile::encodeName(path), options);
            QCOMPARE(facts.error, reason);
            QVERIFY(facts.thumbnail.isNull());
        }
    }

    void afterTheRun_data()
    {
        QTest::addColumn<QString>("tag");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("after");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<int>("way"); // ValueWay: made from this picture, as the run makes it

        QTest::newRow("valid") << "Title" << "Harbour walk" << "Harbour walk" << false << 0;
        QTest::newRow("empty removes") << "Artist" << "" << "(removed)" << false << 0;
        QTest::newRow("date as stored") << "Date and Time (original)" << "2021-08-31 12:34"
                                        << "2021:08:31 12:34:00" << false << 0;
        QTest::newRow("invalid date") << "Date and Time Taken" << "yesterday"
                                      << valueRefusal("Date and Time Taken", "yesterday") << true << 0;
        QTest::newRow("emoji in an XP tag") << "Comment" << "Nice \U0001F600"
                                            << valueRefusal("Comment", "Nice \U0001F600") << true << 0;
        QTest::newRow("its date shifted") << "Date and Time (original)" << "-1s" << "2019:12:31 23:59:59"
                                          << false << int(ValueWay::ShiftDate);
        QTest::newRow("a date it lacks") << "Date and Time Taken" << "+1h"
                                         << "The picture holds no Date and Time Taken to shift." << true
                                         << int(ValueWay::ShiftDate);
        QTest::newRow("its fields") << "Artist" << "{name} {date}" << "after 2020-01-01" << false
                                    << int(ValueWay::FillFields);
        QTest::newRow("keywords added to none") << "Keywords" << "a; b" << "a;b" << false
                                                << int(ValueWay::AddKeywords);
        QTest::newRow("emoji keyword added") << "Keywords" << "\U0001F600" << valueRefusal("Keywords", "\U0001F600")
                                             << true << int(ValueWay::AddKeywords);
    }

    void afterTheRun()
    {
        QFETCH(QString, tag);
        QFETCH(QString, value);
        QFETCH(QString, after);
        QFETCH(bool, refused);
        QFETCH(int, way);
        const QString path = photo(m_dir.path(), QStringLiteral("after.jpg"),
                                   {"-Artist=Ann", "-XPComment=Old", "-DateTimeOriginal=2020:01:01 00:00:00"});
        const PictureFacts facts = readPictureFacts(QFile::encodeName(path));
        const ValuePlan plan{ValueWay(way), tag, value};
        const QList<DetailRow> rows = way == int(ValueWay::AsTyped)
            ? detailRows(facts, tag, value)
            : detailRows(facts, tag, pictureValue(plan, {path, 1, 1}, facts));
        QCOMPARE(rows.size(), 13);
        for (const DetailRow &row : rows) {
            QCOMPARE(row.chosen, row.label == tag);
            // Only the chosen tag's row changes.
            QCOMPARE(row.afterRun, row.chosen ? after : row.stored);
            QCOMPARE(row.refused, row.chosen && refused);
        }
        QVERIFY(!after.isEmpty());
    }

    void summaryOfAList()
    {
        qRegisterMetaType<SummaryCount>();
        const QString a = photo(m_dir.path(), QStringLiteral("s-a.jpg"), {"-XPTitle=Boats"});
        const QString b = photo(m_dir.path(), QStringLiteral("s-b.jpg"),
                                {"-XPTitle=Boats", "-ImageDescription=OLYMPUS DIGITAL CAMERA"});
        const QString c = photo(m_dir.path(), QStringLiteral("s-c.jpg"), {"-XPTitle=Gulls"});
        const QString d = photo(m_dir.path(), QStringLiteral("s-d.jpg"), {});
        const QString png = m_dir.filePath(QStringLiteral("s-png.jpg"));
        QVERIFY(QImage(8, 8, QImage::Format_RGB32).save(png, "PNG"));
        const QList<QByteArray> list{QFile::encodeName(a), QFile::encodeName(b), QFile::encodeName(a),
                                     QFile::encodeName(c), QFile::encodeName(d), QFile::encodeName(png),
                                     QFile::encodeName(m_dir.filePath(QStringLiteral("missing.jpg")))};
        ListSummary summary(60000);
        QSignalSpy counted(&summary, &ListSummary::counted);
        summary.count(list, QStringLiteral("Title"));
        QVERIFY(counted.wait(20000));
        const SummaryCount count = counted.at(0).at(1).value<SummaryCount>();
        QCOMPARE(summaryText(counted.at(0).at(0).toString(), count),
                 QStringLiteral("Title: 3 of 6 pictures have one (2 different values); Windows shows "
                                "another tag's text on 1; 2 cannot be read; 1 entry is listed more than once"));

        // Paused, it reads nothing until resumed; a new count replaces the old.
        summary.setPaused(true);
        summary.count(list, QStringLiteral("Artist"));
        summary.count(list, QStringLiteral("Image Description"));
        QVERIFY(!counted.wait(300));
        summary.setPaused(false);
        QVERIFY(counted.wait(20000));
        QCOMPARE(counted.size(), 2);
        QCOMPARE(summaryText(counted.at(1).at(0).toString(), counted.at(1).at(1).value<SummaryCount>()),
                 QStringLiteral("Image Description: 1 of 6 pictures has one; "
                                "2 cannot be read; 1 entry is listed more than once"));
        QCOMPARE(countingText(3000, 20000), QStringLiteral("counting, 3,000 of 20,000"));
    }
};

OSTRELL_CORE_TEST_MAIN(PictureDetailsTest)
#include "tst_picturedetails.moc"
