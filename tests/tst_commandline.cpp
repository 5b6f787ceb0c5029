#include <QGuiApplication>
#include <QtTest>

#include "testsupport.h"
#include "writer/exiftool/displaycommand.h"
#include "writer/tags/tagcatalogue.h"

class TestCommandLine : public QObject {
    Q_OBJECT
private slots:
    void workedExample();
    void catalogueRows_data();
    void catalogueRows();
    void labelMatchesExactly_data();
    void labelMatchesExactly();
    void assignment_data();
    void assignment();
    void commandLineWithoutAssignment();
    void resultPath_data();
    void resultPath();
};

void TestCommandLine::workedExample()
{
    const QChar backSlash = QLatin1Char('\\');
    const QString output = ResultPathFor(QStringLiteral("D:\\Out\\"),
                                         QStringLiteral("C:\\Photos\\IMG_0001.jpg"), backSlash);
    const std::optional<QString> option = TagOptionFor(QStringLiteral("Title"));
    QVERIFY(option);
    const QString line = BuildCommandLine(QStringLiteral("C:\\Temp\\exiftool.exe"), output,
                                          BuildAssignment(*option, QStringLiteral("Summer 2021")),
                                          QStringLiteral("C:\\Photos\\IMG_0001.jpg"));
    QCOMPARE(line, QStringLiteral(R"("C:\Temp\exiftool.exe" -o "D:\Out\IMG_0001.jpg")"
                                  R"( -XPTitle="Summer 2021" "C:\Photos\IMG_0001.jpg")"));
}

void TestCommandLine::catalogueRows_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("option");

    const char *const rows[][2] = {
        {"Title", " -XPTitle="},
        {"Subject", " -XPSubject="},
        {"Keywords", " -XPKeywords="},
        {"Author", " -XPAuthor="},
        {"Comment", " -XPComment="},
        {"Image Description", " -ImageDescription="},
        {"Equipment Make", " -Make="},
        {"Camera Model", " -Model="},
        {"Software", " -Software="},
        {"Artist", " -Artist="},
        {"Date and Time Taken", " -ModifyDate="},
        {"Date and Time (original)", " -DateTimeOriginal="},
        {"Date and Time (digitized)", " -CreateDate="},
    };
    int row = 0;
    for (const auto &r : rows) {
        QTest::newRow(r[0]) << row << QString::fromLatin1(r[0]) << QString::fromLatin1(r[1]);
        ++row;
    }
}

void TestCommandLine::catalogueRows()
{
    QFETCH(int, row);
    QFETCH(QString, label);
    QFETCH(QString, option);

    const TagRow &entry = TagCatalogue().at(size_t(row));
    QCOMPARE(QString::fromLatin1(entry.label), label);
    QCOMPARE(QString::fromLatin1(entry.option), option);
    QCOMPARE(TagOptionFor(label).value_or(QStringLiteral("(none)")), option);
}

void TestCommandLine::labelMatchesExactly_data()
{
    QTest::addColumn<QString>("label");
    QTest::newRow("lower case") << QStringLiteral("title");
    QTest::newRow("upper case") << QStringLiteral("TITLE");
    QTest::newRow("trailing blank") << QStringLiteral("Title ");
    QTest::newRow("leading blank") << QStringLiteral(" Title");
    QTest::newRow("prefix of a label") << QStringLiteral("Date and Time");
    QTest::newRow("empty") << QString();
    QTest::newRow("option text") << QStringLiteral(" -XPTitle=");
}

void TestCommandLine::labelMatchesExactly()
{
    QFETCH(QString, label);
    QVERIFY(!TagOptionFor(label).has_value());
}

void TestCommandLine::assignment_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty value") << "Title" << QString() << R"( -XPTitle="")";
    QTest::newRow("semicolon") << "Keywords" << "a;b" << R"( -XPKeywords="a;b")";
    QTest::newRow("two lines") << "Comment" << "one\r\ntwo" << " -XPComment=\"one\r\ntwo\"";
    QTest::newRow("blanks kept") << "Artist" << "  x  " << R"( -Artist="  x  ")";
}

void TestCommandLine::assignment()
{
    QFETCH(QString, label);
    QFETCH(QString, value);
    QFETCH(QString, expected);

    const std::optional<QString> option = TagOptionFor(label);
    QVERIFY(option);
    QCOMPARE(BuildAssignment(*option, value), expected);
    QCOMPARE(BuildAssignment(Assignment{*option, value}), expected);
}

void TestCommandLine::commandLineWithoutAssignment()
{
    QCOMPARE(BuildCommandLine(QStringLiteral("/usr/bin/exiftool"), QStringLiteral("/out/a.jpg"),
                              QString(), QStringLiteral("/in/a.jpg")),
             QStringLiteral(R"("/usr/bin/exiftool" -o "/out/a.jpg" "/in/a.jpg")"));
}

void TestCommandLine::resultPath_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QString>("expected");

    const QChar bs = QLatin1Char('\\');
    const QChar sl = QLatin1Char('/');
    QTest::newRow("closing back-slash")
        << R"(D:\Out\)" << R"(C:\Photos\IMG_0001.jpg)" << bs << R"(D:\Out\IMG_0001.jpg)";
    QTest::newRow("no closing back-slash")
        << R"(D:\Out)" << R"(C:\Photos\IMG_0001.jpg)" << bs << R"(D:\Out\IMG_0001.jpg)";
    // Same name from another folder: both land on one output path.
    QTest::newRow("same name elsewhere")
        << R"(D:\Out)" << R"(C:\Other\IMG_0001.jpg)" << bs << R"(D:\Out\IMG_0001.jpg)";
    QTest::newRow("share") << R"(\\server\share\)" << R"(C:\Photos\a.jpg)" << bs
                           << R"(\\server\share\a.jpg)";
    QTest::newRow("drive root") << R"(D:\)" << R"(C:\a.jpg)" << bs << R"(D:\a.jpg)";
    QTest::newRow("source folder itself")
        << R"(C:\Photos)" << R"(C:\Photos\IMG_0001.jpg)" << bs << R"(C:\Photos\IMG_0001.jpg)";
    QTest::newRow("native closing slash")
        << "/home/u/out/" << "/home/u/photos/a b.jpg" << sl << "/home/u/out/a b.jpg";
    QTest::newRow("native no closing slash")
        << "/home/u/out" << "/home/u/photos/a.jpg" << sl << "/home/u/out/a.jpg";
    QTest::newRow("native root") << "/" << "/home/u/a.jpg" << sl << "/a.jpg";
}

void TestCommandLine::resultPath()
{
    QFETCH(QString, folder);
    QFETCH(QString, source);
    QFETCH(QChar, separator);
    QFETCH(QString, expected);
    QCOMPARE(ResultPathFor(folder, source, separator), expected);
}

OSTRELL_CORE_TEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
