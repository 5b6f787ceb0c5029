#include <QGuiApplication>
#include <QtTest>

#include "app/cursorfile.h"
#include "app/shared/paths.h"
#include "testsupport.h"

class TestPaths : public QObject {
    Q_OBJECT
private slots:
    void cleanPath_data();
    void cleanPath();
    void fileNameOf_data();
    void fileNameOf();
    void fileTests_data();
    void fileTests();
    void desktopFolderEndsWithSeparator();
    void cursorHotspot_data();
    void cursorHotspot();
};

namespace {
// The directory and first entry of an icon-format file, as little-endian bytes.
QByteArray iconHeader(quint16 type, uchar width, uchar height, quint16 hotX, quint16 hotY)
{
    QByteArray data(22, '\0');
    qToLittleEndian<quint16>(type, data.data() + 2);
    qToLittleEndian<quint16>(1, data.data() + 4);
    data[6] = char(width);
    data[7] = char(height);
    qToLittleEndian<quint16>(hotX, data.data() + 10);
    qToLittleEndian<quint16>(hotY, data.data() + 12);
    return data;
}
} // namespace

void TestPaths::cleanPath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QString>("expected");

    const QChar bs = QLatin1Char('\\');
    const QChar sl = QLatin1Char('/');
    QTest::newRow("two then three back-slashes") << R"(C:\\a\\\b)" << bs << R"(C:\a\\b)";
    QTest::newRow("four leading back-slashes") << R"(\\\\server\\share)" << bs
                                               << R"(\\server\share)";
    QTest::newRow("one leading back-slash") << R"(\server\share)" << bs << R"(\\server\share)";
    QTest::newRow("share already clean") << R"(\\server\share\a.jpg)" << bs
                                         << R"(\\server\share\a.jpg)";
    QTest::newRow("four in the middle") << R"(C:\a\\\\b)" << bs << R"(C:\a\\b)";
    QTest::newRow("slashes untouched by back-slash") << "C://a" << bs << "C://a";
    QTest::newRow("empty") << QString() << bs << QString();
    QTest::newRow("native doubled") << "/home//u//a.jpg" << sl << "/home/u/a.jpg";
    QTest::newRow("native three in the middle") << "/home///a.jpg" << sl << "/home//a.jpg";
    QTest::newRow("native leading run") << "///home/a.jpg" << sl << "/home/a.jpg";
    QTest::newRow("native two leading") << "//home//a.jpg" << sl << "/home/a.jpg";
    QTest::newRow("native root alone") << "//" << sl << "/";
    QTest::newRow("native relative") << "a//b" << sl << "a/b";
}

void TestPaths::cleanPath()
{
    QFETCH(QString, path);
    QFETCH(QChar, separator);
    QFETCH(QString, expected);
    QCOMPARE(CleanPath(path, separator), expected);
}

void TestPaths::fileNameOf_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QString>("expected");

    const QChar bs = QLatin1Char('\\');
    const QChar sl = QLatin1Char('/');
    QTest::newRow("back-slash path") << R"(C:\a\b.jpg)" << bs << "b.jpg";
    QTest::newRow("no separator") << "b.jpg" << bs << "b.jpg";
    QTest::newRow("trailing back-slash") << R"(C:\a\)" << bs << QString();
    // Except where "\\" is the native separator: Windows takes "/" as well.
    QTest::newRow("slash is no back-slash")
        << "/a/b.jpg" << bs << (nativeSeparator() == bs ? "b.jpg" : "/a/b.jpg");
    QTest::newRow("native path") << "/home/u/b c.jpg" << sl << "b c.jpg";
    QTest::newRow("native trailing slash") << "/home/u/" << sl << QString();
    QTest::newRow("native root file") << "/b.jpg" << sl << "b.jpg";
}

void TestPaths::fileNameOf()
{
    QFETCH(QString, path);
    QFETCH(QChar, separator);
    QFETCH(QString, expected);
    QCOMPARE(FileNameOf(path, separator), expected);
}

void TestPaths::fileTests_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<bool>("isFolder");
    QTest::addColumn<bool>("found");

    QTest::newRow("missing") << "missing.jpg" << false << false;
    QTest::newRow("missing below a file") << "file.jpg/x" << false << false;
    QTest::newRow("file") << "file.jpg" << false << true;
    QTest::newRow("folder") << "folder" << true << true;
    QTest::newRow("empty path") << QString() << false << false;
}

void TestPaths::fileTests()
{
    QFETCH(QString, relative);
    QFETCH(bool, isFolder);
    QFETCH(bool, found);

    QTemporaryDir tree;
    QVERIFY(tree.isValid());
    QVERIFY(QDir(tree.path()).mkdir(QStringLiteral("folder")));
    QFile file(tree.filePath(QStringLiteral("file.jpg")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    const QString path = relative.isEmpty() ? QString() : tree.filePath(relative);
    QCOMPARE(IsFolder(path), isFolder);
    QCOMPARE(FileFound(path), found);
}

void TestPaths::desktopFolderEndsWithSeparator()
{
    const QString desktop = DesktopFolder();
    QVERIFY(desktop.size() > 1);
    QVERIFY(desktop.endsWith(nativeSeparator()));
    QVERIFY(!desktop.endsWith(QString(2, nativeSeparator())));
}

void TestPaths::cursorHotspot_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QSize>("loaded");
    QTest::addColumn<QPoint>("expected"); // (-1, -1): none
    QTest::newRow("cursor") << iconHeader(2, 32, 32, 5, 1) << QSize(32, 32) << QPoint(5, 1);
    QTest::newRow("loaded larger") << iconHeader(2, 32, 32, 5, 1) << QSize(64, 64) << QPoint(10, 2);
    QTest::newRow("stated 256") << iconHeader(2, 0, 0, 128, 64) << QSize(64, 64) << QPoint(32, 16);
    QTest::newRow("icon") << iconHeader(1, 32, 32, 1, 32) << QSize(32, 32) << QPoint(-1, -1);
    QTest::newRow("truncated") << iconHeader(2, 32, 32, 5, 1).left(12) << QSize(32, 32) << QPoint(-1, -1);
}

void TestPaths::cursorHotspot()
{
    QFETCH(QByteArray, data);
    QFETCH(QSize, loaded);
    QFETCH(QPoint, expected);
    QCOMPARE(::cursorHotspot(data, loaded).value_or(QPoint(-1, -1)), expected);
}

OSTRELL_CORE_TEST_MAIN(TestPaths)
#include "tst_paths.moc"
