#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QProcess>
#include <QTemporaryDir>
#include <QSemaphore>
#include <QtTest>

#include "testsupport.h"
#include "writer/engine/filework.h"
#include "writer/tags/datevalue.h"
#include "writer/verify/jpegpicturedata.h"
#include "writer/verify/verifier.h"

namespace {

const QString kSample = QStringLiteral(TEST_SOURCE_DIR "/../app/Samples/Harbour.jpg");

QByteArray writeArguments(const QString &copy, const QString &tag, const QString &value,
                          const QString &source)
{
    return cstrLine(QStringLiteral("-o")) + cstrLine(copy)
        + cstrLine(QStringLiteral("-%1=%2").arg(tag, value)) + cstrLine(source);
}

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

struct TagCase {
    QString name;
    QString tag;
    QString typed;
    QString written; // what ExifTool is really asked to write
    QString reason;  // part of the refusal; empty when the copy passes
    QString note = QString();
    QString source = kSample;
};

// The sample carries an ImageDescription and an Artist, as camera photos do.
const QString kSampleTitleNote = QStringLiteral(
    "Windows Explorer shows this picture's Image Description instead of its Title: \"An example "
    "picture to try Ostrell on\"");
const QString kSampleAuthorNote = QStringLiteral(
    "Windows Explorer shows this picture's Artist instead of its Author: \"Ostrell sample\"");

// Sources made from the sample: one whose ImageDescription holds only blanks
// and NULs and whose Artist is too long for one line, one with neither.
QString blankSource(const QString &folder)
{
    return folder + QStringLiteral("/blank description.jpg");
}
QString bareSource(const QString &folder)
{
    return folder + QStringLiteral("/no description.jpg");
}
// Camera photos: Canon maker notes and GPS, EXIF in either byte order.
QString cameraSource(const QString &folder, bool bigEndian)
{
    return folder + (bigEndian ? QStringLiteral("/camera MM.jpg") : QStringLiteral("/camera II.jpg"));
}
const QString kLongArtist = QStringLiteral("Studio ") + QString(80, QLatin1Char('x'));

QList<TagCase> tagCases(const QString &folder)
{
    const QString longText = QString(5000, QLatin1Char('x')) + QStringLiteral(" end");
    struct Row { const char *tag; QString typical; QString awkward; };
    const Row rows[] = {
        {"XPTitle", QStringLiteral("Summer 2021"), QStringLiteral("  Café ☕ 日本\r\nzweite Zeile  ")},
        {"XPSubject", QStringLiteral("a;b"), QStringLiteral("quote \" back \\ tab\t.")},
        {"XPKeywords", QStringLiteral("beach;sea"), QStringLiteral("ü; ö; ß; Ω")},
        {"XPAuthor", QStringLiteral("Jane Doe"), QStringLiteral("Ωμέγα\nsecond line")},
        {"XPComment", QStringLiteral("Nice light"), longText},
        {"ImageDescription", QStringLiteral("Harbour at dusk"), QStringLiteral(" Café \\back \"q\" two\r\nlines ")},
        {"Make", QStringLiteral("Canon"), QStringLiteral("日本 ")},
        {"Model", QStringLiteral("EOS 5D"), QStringLiteral("\tmodel\n")},
        {"Software", QStringLiteral("Ostrell 1.0"), longText},
        {"Artist", QStringLiteral("Jane Doe"), QStringLiteral("emoji 😀 fine in UTF-8")},
        {"ModifyDate", QStringLiteral("2021:08:31 12:34:56"), QStringLiteral("2021-08-31 12:34")},
        {"DateTimeOriginal", QStringLiteral("2020:01:02 03:04:05"), QStringLiteral("2021:8:31 12:00:00.25+02:00")},
        {"CreateDate", QStringLiteral("2019:12:31 23:59:59"), QStringLiteral("now")},
    };
    QList<TagCase> cases;
    for (const Row &row : rows) {
        const QString tag = QLatin1String(row.tag);
        const QString note = tag == QLatin1String("XPTitle")    ? kSampleTitleNote
                           : tag == QLatin1String("XPAuthor") ? kSampleAuthorNote
                                                              : QString();
        cases.append({tag + QStringLiteral(" typical"), tag, row.typical, row.typical, QString(), note});
        cases.append({tag + QStringLiteral(" awkward"), tag, row.awkward, row.awkward, QString(), note});
    }
    const QString huge(70000, QLatin1Char('a'));
    cases += QList<TagCase>{
        {QStringLiteral("empty value removes the tag"), QStringLiteral("Artist"), {}, {}, {}},
        {QStringLiteral("empty date removes the tag"), QStringLiteral("DateTimeOriginal"), {}, {}, {}},
        {QStringLiteral("another text stored"), QStringLiteral("Artist"), QStringLiteral("Ann"),
         QStringLiteral("Anne"), QStringLiteral("ExifTool stored \"Anne\" instead of the value typed")},
        {QStringLiteral("another date stored"), QStringLiteral("CreateDate"),
         QStringLiteral("2021:08:31 12:00:01"), QStringLiteral("2021:08:31 12:00:00"),
         QStringLiteral("ExifTool stored \"2021:08:31 12:00:00\" instead")},
        {QStringLiteral("refused date leaves the source's"), QStringLiteral("DateTimeOriginal"),
         QStringLiteral("yesterday"), QStringLiteral("yesterday"),
         QStringLiteral("ExifTool stored \"2021:08:31 12:00:00\" instead")},
        {QStringLiteral("refused date, none before"), QStringLiteral("ModifyDate"),
         QStringLiteral("yesterday"), QStringLiteral("yesterday"),
         QStringLiteral("did not take \"yesterday\" as a date and time")},
        {QStringLiteral("tag left for an empty value"), QStringLiteral("XPTitle"), {},
         QStringLiteral("left over"), QStringLiteral("left XPTitle in the copy, holding \"left over\"")},
        {QStringLiteral("tag not stored"), QStringLiteral("Model"), QStringLiteral("X"), {},
         QStringLiteral("did not store Model")},
        {QStringLiteral("emoji mangled in UCS-2"), QStringLiteral("XPComment"), QStringLiteral("sun 😀"),
         QStringLiteral("sun 😀"), QStringLiteral("cannot hold characters such as emoji: ExifTool stored \"sun [U+F600]\"")},
        {QStringLiteral("value too large for one block"), QStringLiteral("ImageDescription"), huge, huge,
         QStringLiteral("split the metadata over 2 EXIF blocks")},
        {QStringLiteral("title over a description of blanks and NULs"), QStringLiteral("XPTitle"),
         QStringLiteral("Summer"), QStringLiteral("Summer"), {}, {}, blankSource(folder)},
        {QStringLiteral("title over no description"), QStringLiteral("XPTitle"), QStringLiteral("Summer"),
         QStringLiteral("Summer"), {}, {}, bareSource(folder)},
        {QStringLiteral("author over a long artist, cut"), QStringLiteral("XPAuthor"),
         QStringLiteral("Jane"), QStringLiteral("Jane"), {},
         QStringLiteral("Windows Explorer shows this picture's Artist instead of its Author: \"Studio ")
             + QString(53, QLatin1Char('x')) + QStringLiteral("… (87 characters)\""),
         blankSource(folder)},
    };
    for (const bool bigEndian : {false, true}) {
        const QString order = bigEndian ? QStringLiteral(", big-endian") : QStringLiteral(", little-endian");
        const QString camera = cameraSource(folder, bigEndian);
        const QString title = QStringLiteral("Kai ☕ 日本"), date = QStringLiteral("2020:01:02 03:04:05");
        cases += QList<TagCase>{
            {QStringLiteral("title over maker notes") + order, QStringLiteral("XPTitle"), title, title, {},
             QStringLiteral("Windows Explorer shows this picture's Image Description instead of its Title: \"Quay\""),
             camera},
            {QStringLiteral("date over maker notes") + order, QStringLiteral("DateTimeOriginal"), date, date, {}, {}, camera},
            {QStringLiteral("author removed over maker notes") + order, QStringLiteral("XPAuthor"), {}, {}, {}, {}, camera},
        };
    }
    return cases;
}

} // namespace

class TestVerifier : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void readsBackWhatExifToolWrote_data();
    void readsBackWhatExifToolWrote();
    void verifiesFromSeveralThreadsAtOnce();
    void comparesOnlyPictureData_data();
    void comparesOnlyPictureData();
    void agreesWithExifToolOnDates();

private:
    QString largePicture() const { return m_dir.filePath(QStringLiteral("large.jpg")); }
    QString copyPath(const QString &caseName) const
    {
        return m_dir.filePath(QStringLiteral("copy %1.jpg").arg(caseName));
    }

    QTemporaryDir m_dir;
};

// Every copy of the tag table is written in one ExifTool run, after the
// sources made from the sample.
void TestVerifier::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QFile::exists(kSample));
    const QString folder = m_dir.path();
    const QByteArray blanks = "BLANKSBLANKS";
    runExifTool(folder, cstrLine(QStringLiteral("-o")) + cstrLine(blankSource(folder))
                            + cstrLine(QStringLiteral("-ImageDescription=") + QLatin1String(blanks))
                            + cstrLine(QStringLiteral("-Artist=") + kLongArtist) + cstrLine(kSample)
                            + "-execute\n" + cstrLine(QStringLiteral("-o")) + cstrLine(bareSource(folder))
                            + "-ImageDescription=\n-Artist=\n" + cstrLine(kSample) + "-execute\n");
    for (const bool bigEndian : {false, true})
        QVERIFY(makeCameraPhoto(kSample, cameraSource(folder, bigEndian), bigEndian));
    QByteArray blank = fileBytes(blankSource(folder));
    QVERIFY(blank.contains(blanks));
    blank.replace(blanks, QByteArray("  \0\0 \0  \0\0 \0", 12));
    QFile file(blankSource(folder));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(blank) == blank.size());
    file.close();
    QVERIFY(readTag(bareSource(folder), QStringLiteral("ImageDescription")).isEmpty());

    QByteArray arguments;
    for (const TagCase &c : tagCases(folder))
        arguments += writeArguments(copyPath(c.name), c.tag, c.written, c.source) + "-execute\n";
    runExifTool(folder, arguments);

    // A picture larger than a slice, in several scans with tables between them.
    QImage noise(640, 480, QImage::Format_RGB32);
    quint32 seed = 1;
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            noise.setPixel(x, y, seed >> 8);
        }
    QImageWriter writer(largePicture());
    writer.setFormat("jpeg");
    writer.setQuality(95);
    writer.setProgressiveScanWrite(true);
    QVERIFY2(writer.write(noise), qPrintable(writer.errorString()));
    QVERIFY2(QFileInfo(largePicture()).size() > qint64(SlicedFile::kDefaultSlice),
             qPrintable(QString::number(QFileInfo(largePicture()).size())));
}

void TestVerifier::readsBackWhatExifToolWrote_data()
{
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("note");
    QTest::addColumn<QString>("source");
    for (const TagCase &c : tagCases(m_dir.path()))
        QTest::newRow(qPrintable(c.name)) << c.tag << c.typed << c.reason << c.note << c.source;
}

// Read in the usual slices and in slices of a few bytes, so that every
// structure of both files crosses from one slice into the next.
void TestVerifier::readsBackWhatExifToolWrote()
{
    QFETCH(QString, tag);
    QFETCH(QString, typed);
    QFETCH(QString, reason);
    QFETCH(QString, note);
    QFETCH(QString, source);

    const QString copy = copyPath(QString::fromUtf8(QTest::currentDataTag()));
    QVERIFY2(QFile::exists(copy), "ExifTool wrote no copy");
    for (const std::size_t slice : {SlicedFile::kDefaultSlice, std::size_t(7)}) {
        const CopyCheck result = verifyCopy(native(source), native(copy), {tag, typed}, slice);
        if (reason.isEmpty())
            QCOMPARE(result.wrong, QString());
        else
            QVERIFY2(result.wrong.contains(reason), qPrintable(result.wrong));
        QCOMPARE(result.note, note);
    }
}

// The run's worker threads check copies at the same time; each must get the
// answer it gets alone.
void TestVerifier::verifiesFromSeveralThreadsAtOnce()
{
    const QList<TagCase> cases = tagCases(m_dir.path());
    const auto check = [this](const TagCase &c) {
        const CopyCheck result = verifyCopy(native(c.source), native(copyPath(c.name)), {c.tag, c.typed});
        return result.wrong + QLatin1Char('|') + result.note;
    };
    QStringList alone;
    for (const TagCase &c : cases)
        alone.append(check(c));
    QList<QStringList> together(4);
    QSemaphore done;
    for (QStringList &results : together)
        FileWork::start([&] {
            for (int round = 0; round < 5; ++round)
                for (const TagCase &c : cases)
                    results.append(check(c));
            done.release();
        });
    QVERIFY(done.tryAcquire(int(together.size()), 120000));
    for (const QStringList &results : together)
        for (int round = 0; round < 5; ++round)
            QCOMPARE(results.mid(round * cases.size(), cases.size()), alone);
}

void TestVerifier::comparesOnlyPictureData_data()
{
    QTest::addColumn<bool>("large");
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("reason");

    const QString differs = QStringLiteral("The picture data of the copy differs");
    for (const bool large : {false, true}) {
        const auto row = [large](const char *name) -> QTestData & {
            return QTest::addRow("%s%s", large ? "large, " : "", name) << large;
        };
        row("untouched copy") << "none" << "";
        row("one byte of scan data") << "scan" << differs;
        row("copy cut short") << "truncate" << "The copy is not a whole JPEG picture";
        row("trailer after the picture, copied") << "trailer" << "";
        row("trailer dropped from the copy") << "trailer dropped" << "";
        row("one byte of scan data, trailer dropped") << "scan, trailer dropped" << differs;
    }
    QTest::newRow("one byte of a quantisation table") << false << "table" << differs;
    QTest::newRow("one byte of the EXIF block") << false << "exif" << "";
    QTest::newRow("comment segment added") << false << "comment" << "";
    QTest::newRow("comments longer than a slice added") << false << "long comments" << "";
    QTest::newRow("fill bytes before a marker") << false << "fill" << "";
    QTest::newRow("source cut short, copied as it is") << false << "source cut" << "The source is not a whole JPEG picture";
    QTest::newRow("copy is not a JPEG") << false << "text" << "The copy is not a whole JPEG picture";
}

void TestVerifier::comparesOnlyPictureData()
{
    QFETCH(bool, large);
    QFETCH(QString, change);
    QFETCH(QString, reason);

    const QByteArray original = fileBytes(large ? largePicture() : kSample);
    const auto *data = reinterpret_cast<const unsigned char *>(original.constData());
    const JpegLayout layout = parseJpegLayout(data, std::size_t(original.size()));
    QVERIFY(layout.error.isEmpty());
    const qsizetype firstTable = qsizetype(layout.pictureSegments.front().offset);
    const qsizetype scanMiddle = qsizetype(layout.scan.offset + layout.scan.length / 2);

    QByteArray bytes = original;
    QByteArray sourceBytes = original;
    // Pseudo-random bytes, markers among them, after EOI.
    QByteArray trailer;
    for (int i = 0; i < 300000; ++i)
        trailer.append(char(i % 251 == 0 ? 0xFF : (quint32(i) * 7919u) % 256u));
    if (change.startsWith(QLatin1String("scan")))
        bytes[scanMiddle] = char(bytes.at(scanMiddle) == 0x12 ? 0x13 : 0x12);
    if (change.endsWith(QLatin1String("trailer dropped")))
        sourceBytes += trailer;
    if (change == QLatin1String("trailer")) {
        bytes += trailer;
        sourceBytes += trailer;
    } else if (change == QLatin1String("table")) {
        bytes[firstTable + 10] = char(bytes.at(firstTable + 10) ^ 1);
    } else if (change == QLatin1String("exif")) {
        QVERIFY(!layout.exifSegments.empty());
        bytes[qsizetype(layout.exifSegments.front().offset) + 20] ^= 1;
    } else if (change == QLatin1String("comment")) {
        bytes.insert(2, QByteArray("\xFF\xFE\x00\x07hello", 9));
    } else if (change == QLatin1String("long comments")) {
        for (int i = 0; i < 6; ++i)
            bytes.insert(2, QByteArray("\xFF\xFE\xEA\x62", 4) + QByteArray(60000, char('a' + i)));
    } else if (change == QLatin1String("fill")) {
        bytes.insert(firstTable, QByteArray("\xFF\xFF\xFF", 3).left(2));
    } else if (change == QLatin1String("truncate") || change == QLatin1String("source cut")) {
        bytes.chop(100);
        if (change == QLatin1String("source cut"))
            sourceBytes = bytes;
    } else if (change == QLatin1String("text")) {
        bytes = "not a picture\n";
    }

    const QString name = QString::fromUtf8(QTest::currentDataTag());
    const QString copy = m_dir.filePath(QStringLiteral("changed %1.jpg").arg(name));
    const QString source = m_dir.filePath(QStringLiteral("source %1.jpg").arg(name));
    for (const auto &[path, content] : {std::pair{copy, bytes}, std::pair{source, sourceBytes}}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    }

    // Slices of a few bytes, of sizes that put each structure's bytes on
    // every side of a slice boundary somewhere.
    QList<std::size_t> slices{SlicedFile::kDefaultSlice, 7};
    if (!large)
        slices += {8, 9, 10, 11, 12, 13};
    for (const std::size_t slice : slices) {
        const QString result = verifyCopy(native(source), native(copy), {}, slice).wrong;
        if (reason.isEmpty())
            QCOMPARE(result, QString());
        else
            QVERIFY2(result.startsWith(reason), qPrintable(QStringLiteral("%1 (slice %2)").arg(result).arg(slice)));
    }
}

// Every value goes through ExifTool in one run; the copy is "created" when it
// took the date and only "copied" when it refused it.
void TestVerifier::agreesWithExifToolOnDates()
{
    const QStringList values{
        QStringLiteral("2021:08:31 12:00:00"), QStringLiteral("2021:8:31 12:00"),
        QStringLiteral("2021-08-31 12:34"),    QStringLiteral("2021-08-31"),
        QStringLiteral("2021:08:31"),          QStringLiteral("2021:08:31 12"),
        QStringLiteral("20210831120000"),      QStringLiteral("2021:08:31 25:00:00"),
        QStringLiteral("2021:08:31 24:00:00"), QStringLiteral("2021:08:31 12:60:00"),
        QStringLiteral("2021:08:31 12:00:60"), QStringLiteral("2021:13:31 12:00:00"),
        QStringLiteral("2021:02:30 12:00:00"), QStringLiteral("0000:00:00 00:00:00"),
        QStringLiteral("21:08:31 12:00:00"),   QStringLiteral("12021:08:31 12:00:00"),
        QStringLiteral("yesterday"),           QStringLiteral("now"),
        QStringLiteral("NOW"),                 QStringLiteral(" now"),
        QStringLiteral("now "),                QStringLiteral("nowZ"),
        QStringLiteral(" "),                   QStringLiteral(""),
        QStringLiteral("2021:08:31 12:00:00 "), QStringLiteral(" 2021:08:31 12:00:00"),
        QStringLiteral("2021:08:31 12:00:00+02:00"), QStringLiteral("2021:08:31 12:00:00.123"),
        QStringLiteral("2021:08:31 12:00:00Z"), QStringLiteral("2021:08:31T12:00:00-0500"),
        QStringLiteral("2021:08:31 12:00+02"), QStringLiteral("2021:08:31 12-30"),
        QStringLiteral("abc 2021/08/31 12.00.00 abc"), QStringLiteral("2021:08:31\n12:00:00"),
        QStringLiteral("2021:08:31 12:00.5"),  QStringLiteral("2021:08:31 12+02:00\n"),
        QStringLiteral("2021:08:31 12:00 DST"), QStringLiteral("2021:08:31 12-05:00 dst"),
    };
    QByteArray arguments;
    for (int i = 0; i < values.size(); ++i) {
        arguments += writeArguments(m_dir.filePath(QStringLiteral("date%1.jpg").arg(i)),
                                    QStringLiteral("DateTimeOriginal"), values.at(i), kSample);
        arguments += "-echo3\n{row}\n-execute\n";
    }
    const QStringList answers = runExifTool(m_dir.path(), arguments).split(QStringLiteral("{row}"));
    QCOMPARE(answers.size(), values.size() + 1);
    for (int i = 0; i < values.size(); ++i) {
        const bool exifToolTookIt = answers.at(i).contains(QLatin1String("image files created"));
        QVERIFY2(exifToolAcceptsDate(values.at(i)) == exifToolTookIt,
                 qPrintable(QStringLiteral("\"%1\": ExifTool %2 it")
                                .arg(values.at(i), exifToolTookIt ? "took" : "refused")));
    }
    QVERIFY(invalidDateMessage(QStringLiteral("yesterday")).contains(QLatin1String("YYYY:MM:DD HH:MM:SS")));
}

OSTRELL_CORE_TEST_MAIN(TestVerifier)
#include "tst_verifier.moc"
