#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include "testsupport.h"
#include "writer/datevalue.h"
#include "writer/jpegpicturedata.h"
#include "writer/verifier.h"

namespace {

const QString kSample = QStringLiteral(TEST_SOURCE_DIR "/../app/Samples/Harbour.jpg");

// One argument line that ExifTool reads as a C string, so line breaks,
// quotes and leading blanks reach it exactly.
QByteArray cstrLine(const QString &argument)
{
    QByteArray escaped;
    for (const char c : argument.toUtf8()) {
        switch (c) {
        case '\\': escaped += "\\\\"; break;
        case '"': escaped += "\\\""; break;
        case '\r': escaped += "\\r"; break;
        case '\n': escaped += "\\n"; break;
        case '\t': escaped += "\\t"; break;
        default: escaped += c;
        }
    }
    return "#[CSTR]" + escaped + '\n';
}

// Runs ExifTool on an argument file; gives its standard output.
QString runExifTool(const QString &folder, const QByteArray &arguments)
{
    const QString argumentFile = folder + QStringLiteral("/arguments.txt");
    QFile file(argumentFile);
    if (!file.open(QIODevice::WriteOnly) || file.write(arguments) != arguments.size())
        return QString();
    file.close();
    QProcess tool;
    tool.start(QStringLiteral("exiftool"), {QStringLiteral("-@"), argumentFile});
    tool.waitForFinished(120000);
    return QString::fromUtf8(tool.readAllStandardOutput());
}

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
};

QList<TagCase> tagCases()
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
        cases.append({tag + QStringLiteral(" typical"), tag, row.typical, row.typical, QString()});
        cases.append({tag + QStringLiteral(" awkward"), tag, row.awkward, row.awkward, QString()});
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
    };
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
    QString copyPath(const QString &caseName) const
    {
        return m_dir.filePath(QStringLiteral("copy %1.jpg").arg(caseName));
    }

    QTemporaryDir m_dir;
};

// Every copy of the tag table is written in one ExifTool run.
void TestVerifier::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QFile::exists(kSample));
    QByteArray arguments;
    for (const TagCase &c : tagCases())
        arguments += writeArguments(copyPath(c.name), c.tag, c.written, kSample) + "-execute\n";
    runExifTool(m_dir.path(), arguments);
}

void TestVerifier::readsBackWhatExifToolWrote_data()
{
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("reason");
    for (const TagCase &c : tagCases())
        QTest::newRow(qPrintable(c.name)) << c.tag << c.typed << c.reason;
}

void TestVerifier::readsBackWhatExifToolWrote()
{
    QFETCH(QString, tag);
    QFETCH(QString, typed);
    QFETCH(QString, reason);

    const QString copy = copyPath(QString::fromUtf8(QTest::currentDataTag()));
    QVERIFY2(QFile::exists(copy), "ExifTool wrote no copy");
    const QString result = verifyCopy(native(kSample), native(copy), {tag, typed});
    if (reason.isEmpty())
        QCOMPARE(result, QString());
    else
        QVERIFY2(result.contains(reason), qPrintable(result));
}

// Worker threads check copies at the same time; each must get the answer it
// gets alone.
void TestVerifier::verifiesFromSeveralThreadsAtOnce()
{
    const QList<TagCase> cases = tagCases();
    QStringList alone;
    for (const TagCase &c : cases)
        alone.append(verifyCopy(native(kSample), native(copyPath(c.name)), {c.tag, c.typed}));
    QList<QStringList> together(4);
    QList<QThread *> threads;
    for (QStringList &results : together)
        threads.append(QThread::create([&] {
            for (int round = 0; round < 5; ++round)
                for (const TagCase &c : cases)
                    results.append(verifyCopy(native(kSample), native(copyPath(c.name)), {c.tag, c.typed}));
        }));
    for (QThread *thread : threads)
        thread->start();
    for (QThread *thread : threads) {
        QVERIFY(thread->wait(60000));
        delete thread;
    }
    for (const QStringList &results : together)
        for (int round = 0; round < 5; ++round)
            QCOMPARE(results.mid(round * cases.size(), cases.size()), alone);
}

void TestVerifier::comparesOnlyPictureData_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("reason");

    QTest::newRow("untouched copy") << "none" << "";
    QTest::newRow("one byte of scan data") << "scan" << "The picture data of the copy differs";
    QTest::newRow("one byte of a quantisation table") << "table" << "The picture data of the copy differs";
    QTest::newRow("one byte of the EXIF block") << "exif" << "";
    QTest::newRow("comment segment added") << "comment" << "";
    QTest::newRow("fill bytes before a marker") << "fill" << "";
    QTest::newRow("copy cut short") << "truncate" << "The copy is not a whole JPEG picture";
    QTest::newRow("source cut short, copied as it is") << "source cut" << "The source is not a whole JPEG picture";
    QTest::newRow("copy is not a JPEG") << "text" << "The copy is not a whole JPEG picture";
}

void TestVerifier::comparesOnlyPictureData()
{
    QFETCH(QString, change);
    QFETCH(QString, reason);

    QByteArray bytes = fileBytes(kSample);
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.constData());
    const JpegLayout layout = parseJpegLayout(data, std::size_t(bytes.size()));
    QVERIFY(layout.error.isEmpty());
    QVERIFY(!layout.exifSegments.empty());
    const qsizetype firstTable = qsizetype(layout.pictureSegments.front().offset);
    const qsizetype scanMiddle = qsizetype(layout.scan.offset + layout.scan.length / 2);

    if (change == QLatin1String("scan"))
        bytes[scanMiddle] = char(bytes.at(scanMiddle) == 0x12 ? 0x13 : 0x12);
    else if (change == QLatin1String("table"))
        bytes[firstTable + 10] = char(bytes.at(firstTable + 10) ^ 1);
    else if (change == QLatin1String("exif"))
        bytes[qsizetype(layout.exifSegments.front().offset) + 20] ^= 1;
    else if (change == QLatin1String("comment"))
        bytes.insert(2, QByteArray("\xFF\xFE\x00\x07hello", 9));
    else if (change == QLatin1String("fill"))
        bytes.insert(firstTable, QByteArray("\xFF\xFF\xFF", 3).left(2));
    else if (change == QLatin1String("truncate") || change == QLatin1String("source cut"))
        bytes.chop(100);
    else if (change == QLatin1String("text"))
        bytes = "not a picture\n";

    const QString copy = m_dir.filePath(QStringLiteral("changed %1.jpg").arg(change));
    QFile file(copy);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();

    const QString source = change == QLatin1String("source cut") ? copy : kSample;
    const QString result = verifyCopy(native(source), native(copy), {});
    if (reason.isEmpty())
        QCOMPARE(result, QString());
    else
        QVERIFY2(result.startsWith(reason), qPrintable(result));
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
