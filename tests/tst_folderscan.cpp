#include <QGuiApplication>
#include <QtTest>


#include "app/shared/errorreport.h"
#include "filelist/folderscan.h"
#include "scantreesupport.h"
#include "testsupport.h"

namespace {


QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

// The folder list of a scan, relative to root ("" for root itself), with "/".
QStringList relativeList(const QString &root, const QStringList &list)
{
    QStringList relative;
    for (const QString &folder : list) {
        QString rest = QDir::fromNativeSeparators(folder.mid(root.size() + 1));
        rest.chop(1);
        relative.append(rest);
    }
    return relative;
}

// From a folder as the folder picker gives it: native separators.
QStringList scan(const QString &root, QList<ScanFailure> *failures = nullptr)
{
    QStringList list{nativePath(root + QLatin1Char('/'))};
    GetSubDirectories2016(list, true, failures);
    return list;
}

} // namespace

class TestFolderScan : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();

    void attributes_data();
    void attributes();
    void existingFile_data();
    void existingFile();
    void unreadableFileIsNoFile();
    void unsafeChars_data();
    void unsafeChars();
    void wildcard_data();
    void wildcard();

    void extensionAnswers_data();
    void extensionAnswers();
    void listingIsInNameOrder();
    void listingOfMissingFolderIsEmpty_data();
    void listingOfMissingFolderIsEmpty();
    void listingOfUnreadableFolderFails();

    void scanIsBreadthFirst();
    void leftOutNames_data();
    void leftOutNames();
    void unreadableFoldersDropOut();
    void unreadableStartFolder();
    void linkLoopsEnd();
    void longPathIsNotEntered();
    void rootIsScanned();
    void stopEndsScan();

private:
    QTemporaryDir m_dir;
    QString m_root; // attribute and listing fixture
    bool m_hasPipe = false; // none where the file system holds no pipes
    bool m_hasLinks = false; // none where this user may make no working links

    // Skips a row whose fixture entry this system could not make.
    bool lacks(const QString &entry)
    {
        return (entry.startsWith(QLatin1String("pipe")) && !m_hasPipe)
            || ((entry.contains(QLatin1String("link"), Qt::CaseInsensitive) || entry.startsWith(QLatin1String("dangling")))
                && !m_hasLinks);
    }
};

void TestFolderScan::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_root = m_dir.path() + QStringLiteral("/fixture");
    QVERIFY(makeTree(m_root, {
        QStringLiteral("folder/"), QStringLiteral(".hiddenfolder/"),
        QStringLiteral("a.jpg"), QStringLiteral("B.JPG"), QStringLiteral("c.jpeg"),
        QStringLiteral("noext"), QStringLiteral("e.txt"), QStringLiteral(".h.jpg"),
        QStringLiteral("~t.jpg"), QStringLiteral("f.jpg/"),
    }));
    m_hasLinks = makeSymbolicLink(m_root + QStringLiteral("/a.jpg"), m_root + QStringLiteral("/linkToFile"));
    if (m_hasLinks) {
        QVERIFY(makeSymbolicLink(m_root + QStringLiteral("/folder"), m_root + QStringLiteral("/linkToFolder")));
        QVERIFY(makeSymbolicLink(m_root + QStringLiteral("/folder"), m_root + QStringLiteral("/.hiddenLink")));
        QVERIFY(makeSymbolicLink(m_root + QStringLiteral("/folder"), m_root + QStringLiteral("/g.jpg")));
        QVERIFY(makeSymbolicLink(m_root + QStringLiteral("/nothing"), m_root + QStringLiteral("/dangling.jpg")));
    }
    m_hasPipe = makeNamedPipe(m_root + QStringLiteral("/pipe.jpg"));
}

void TestFolderScan::attributes_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("expected");
    QTest::newRow("folder") << "folder" << 16;
    QTest::newRow("folder with separator") << "folder/" << 16;
    QTest::newRow("hidden folder") << ".hiddenfolder" << 18;
    QTest::newRow("file") << "a.jpg" << 32;
    QTest::newRow("hidden file") << ".h.jpg" << 34;
    QTest::newRow("link to file") << "linkToFile" << 1056;
    QTest::newRow("link to folder") << "linkToFolder" << 1040;
    QTest::newRow("link to folder with separator") << "linkToFolder/" << 1040;
    QTest::newRow("hidden link to folder") << ".hiddenLink" << 1042;
    QTest::newRow("dangling link") << "dangling.jpg" << 1024;
    QTest::newRow("pipe") << "pipe.jpg" << 0;
    QTest::newRow("missing") << "missing" << -1;
}

void TestFolderScan::attributes()
{
    QFETCH(QString, entry);
    QFETCH(int, expected);
    if (lacks(entry))
        QSKIP("No named pipes or working symbolic links here");
    QCOMPARE(fileAttributes(m_root + QLatin1Char('/') + entry), expected);
}

void TestFolderScan::existingFile_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("expected");
    QTest::newRow("file") << "a.jpg" << true;
    QTest::newRow("hidden file") << ".h.jpg" << true;
    QTest::newRow("link to file") << "linkToFile" << true;
    QTest::newRow("folder") << "folder" << false;
    QTest::newRow("link to folder") << "linkToFolder" << false;
    QTest::newRow("dangling link") << "dangling.jpg" << false;
    QTest::newRow("pipe, without hanging") << "pipe.jpg" << false;
    QTest::newRow("missing") << "missing" << false;
}

void TestFolderScan::existingFile()
{
    QFETCH(QString, entry);
    QFETCH(bool, expected);
    if (lacks(entry))
        QSKIP("No named pipes or working symbolic links here");
    QCOMPARE(IsExistingFile(m_root + QLatin1Char('/') + entry), expected);
    QVERIFY(!IsExistingFile(QString()));
}

void TestFolderScan::unreadableFileIsNoFile()
{
    const QString path = m_dir.path() + QStringLiteral("/locked.jpg");
    QVERIFY(makeTree(m_dir.path(), {QStringLiteral("locked.jpg")}));
    const UnreadablePaths locked({path});
    if (!locked.enforced())
        QSKIP("File permissions are not enforced here");
    QVERIFY(!IsExistingFile(path));
    QCOMPARE(fileAttributes(path), 32);
}

void TestFolderScan::unsafeChars_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("unsafe");
    QTest::newRow("plain") << "Holiday 2021" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("accents") << QStringLiteral(u"Café Ñandú") << false;
    // In UTF-8 "ā" holds the byte 0x81; only characters count, not bytes.
    QTest::newRow("UTF-8 byte in 128..159") << QStringLiteral(u"M\u0101ori") << false;
    // Windows' ANSI code pages hold no emoji.
    QTest::newRow("outside 16 bits") << QStringLiteral(u"pic \U0001F600") << !narrowCodePageHoldsEverything();
    QTest::newRow("no-break space 160") << QStringLiteral(u"a\u00a0b") << false;
    QTest::newRow("control 1") << QStringLiteral(u"a\u0001b") << true;
    QTest::newRow("tab") << "a\tb" << true;
    QTest::newRow("unit separator 31") << QStringLiteral(u"a\u001fb") << true;
    QTest::newRow("delete 127") << QStringLiteral(u"a\u007fb") << true;
    QTest::newRow("C1 128") << QStringLiteral(u"a\u0080b") << true;
    QTest::newRow("C1 159") << QStringLiteral(u"a\u009fb") << true;
    QTest::newRow("question mark") << "what?" << true;
    QTest::newRow("lone surrogate") << QString(QChar(0xd800)) << true;
}

void TestFolderScan::unsafeChars()
{
    QFETCH(QString, name);
    QFETCH(bool, unsafe);
    QCOMPARE(HasUnsafeChars(name), unsafe);
}

void TestFolderScan::wildcard_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("matches");
    QTest::newRow("star-dot-star, dotted") << "*.*" << "a.jpg" << true;
    QTest::newRow("star-dot-star, no dot") << "*.*" << "README" << true;
    QTest::newRow("star-dot-star, leading dot") << "*.*" << ".profile" << true;
    QTest::newRow("extension") << "*.jpg" << "a.jpg" << true;
    QTest::newRow("extension, other case") << "*.jpg" << "X.JPG" << true;
    QTest::newRow("extension, non-ASCII case") << QStringLiteral(u"*.é") << QStringLiteral(u"a.É") << true;
    QTest::newRow("longer extension") << "*.jpg" << "a.jpeg" << false;
    QTest::newRow("jpg is no jpeg") << "*.jpeg" << "a.jpg" << false;
    QTest::newRow("extension only") << "*.jpg" << ".jpg" << true;
    QTest::newRow("extension inside name") << "*.jpg" << "a.jpg.txt" << false;
    QTest::newRow("two dots") << "*.jpg" << "a.b.jpg" << true;
    QTest::newRow("double dot pattern") << "*..jpg" << "a.jpg" << false;
    QTest::newRow("double dot pattern, odd name") << "*..jpg" << "a..jpg" << true;
    QTest::newRow("question mark") << "*.j?g" << "a.jpg" << true;
    QTest::newRow("question mark needs one") << "*.j?g" << "a.jg" << false;
    QTest::newRow("question mark, wide character") << "?.jpg" << QStringLiteral(u"\U0001F600.jpg") << true;
    QTest::newRow("star backtracks") << "*a*b" << "xaxxab" << true;
    QTest::newRow("star at end") << "IMG*" << "img_0001.jpg" << true;
    QTest::newRow("closing dot-star takes no extension") << "a.*" << "a" << true;
    QTest::newRow("closing dot-star, other name") << "a.*" << "b" << false;
    QTest::newRow("exact") << "name.txt" << "NAME.TXT" << true;
    QTest::newRow("exact, differs") << "name.txt" << "name.txf" << false;
}

void TestFolderScan::wildcard()
{
    QFETCH(QString, pattern);
    QFETCH(QString, name);
    QFETCH(bool, matches);
    QCOMPARE(wildcardMatch(pattern, name), matches);
}

void TestFolderScan::extensionAnswers_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("jpg") << "jpg" << QStringList{".h.jpg", "B.JPG", "a.jpg", "~t.jpg"};
    QTest::newRow("JPG") << "JPG" << QStringList{".h.jpg", "B.JPG", "a.jpg", "~t.jpg"};
    QTest::newRow("j?g") << "j?g" << QStringList{".h.jpg", "B.JPG", "a.jpg", "~t.jpg"};
    QTest::newRow("jpeg") << "jpeg" << QStringList{"c.jpeg"};
    QTest::newRow("txt") << "txt" << QStringList{"e.txt"};
    QTest::newRow("star: every file, also without extension")
        << "*" << QStringList{".h.jpg", "B.JPG", "a.jpg", "c.jpeg", "e.txt", "linkToFile", "noext", "~t.jpg"};
    QTest::newRow("leading full stop") << ".jpg" << QStringList{};
}

void TestFolderScan::extensionAnswers()
{
    QFETCH(QString, answer);
    QFETCH(QStringList, expected);
    if (!m_hasLinks)
        expected.removeOne(QStringLiteral("linkToFile"));
    // Folders, links to folders, dangling links and pipes named *.jpg are no files.
    QCOMPARE(sorted(ListFiles(m_root, QStringLiteral("*.") + answer)), expected);
}

void TestFolderScan::listingIsInNameOrder()
{
    // Digit runs by value (also past 64 bits), case ignored, exact ties by character.
    QStringList expected{"A.jpg", "a.jpg", "IMG_02.jpg", "IMG_2.jpg", "img_3.JPG", "IMG_10.jpg",
                               "IMG_999.jpg", "IMG_1000000000000000000001.jpg", "Z.jpg"};
    QStringList shuffled;
    for (int i = 0; i < expected.size(); ++i)
        shuffled.append(expected.at((i * 4) % expected.size()));
    const QString folder = m_dir.path() + QStringLiteral("/order");
    QVERIFY(makeTree(folder, shuffled));
    // Where names ignore case, "a.jpg" opened the "A.jpg" made before it.
    if (QDir(folder).entryList(QDir::Files).size() < expected.size())
        expected.removeOne(QStringLiteral("a.jpg"));
    QCOMPARE(ListFiles(folder, QStringLiteral("*.jpg")), expected);
    QList<QByteArray> native;
    for (const QString &name : expected)
        native.append(name.toUtf8());
    QCOMPARE(ListNativeFiles(folder + QLatin1Char('/'), QStringLiteral("*.jpg")), native);
}

void TestFolderScan::listingOfMissingFolderIsEmpty_data()
{
    QTest::addColumn<QString>("folder");
    QTest::newRow("missing") << "missing";
    QTest::newRow("a file") << "a.jpg";
    QTest::newRow("below a file") << "a.jpg/deeper";
}

void TestFolderScan::listingOfMissingFolderIsEmpty()
{
    QFETCH(QString, folder);
    QCOMPARE(ListFiles(m_root + QLatin1Char('/') + folder, QStringLiteral("*.*")), QStringList());
}

void TestFolderScan::listingOfUnreadableFolderFails()
{
    const QString folder = m_dir.path() + QStringLiteral("/closed");
    QVERIFY(makeTree(folder, {QStringLiteral("a.jpg")}));
    const UnreadablePaths closed({folder});
    if (!closed.enforced())
        QSKIP("Folder permissions are not enforced here");
    try {
        ListFiles(folder, QStringLiteral("*.*"));
        QFAIL("no failure");
    } catch (const Failure &failure) {
        QVERIFY2(QString::fromStdString(failure.what()).contains(folder), failure.what());
    }
}

void TestFolderScan::scanIsBreadthFirst()
{
    const QString root = m_dir.path() + QStringLiteral("/bfs");
    QVERIFY(makeTree(root, {
        QStringLiteral("a/a1/a11/a111/"), QStringLiteral("a/a2/"), QStringLiteral("b/b1/b11/"),
        QStringLiteral("c/"), QStringLiteral("d/d1/"), QStringLiteral("d/D10/"), QStringLiteral("d/d2/"),
        QStringLiteral(".hidden/h1/"), QStringLiteral("a/file.jpg"),
    }));
    QList<ScanFailure> failures;
    const QStringList list = scan(root, &failures);
    QVERIFY(failures.isEmpty());
    const QString separator = nativePath(QStringLiteral("/"));
    for (const QString &folder : list)
        QVERIFY2(folder.endsWith(separator) && !folder.contains(separator + separator), qPrintable(folder));

    // Level by level, each folder's sub-folders in name order.
    QCOMPARE(relativeList(root, list),
             QStringList({"", ".hidden", "a", "b", "c", "d", ".hidden/h1", "a/a1", "a/a2", "b/b1", "d/d1", "d/d2",
                          "d/D10", "a/a1/a11", "b/b1/b11", "a/a1/a11/a111"}));
}

void TestFolderScan::leftOutNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("entered");
    QTest::newRow("control character") << QStringLiteral(u"a\u0001b") << false;
    QTest::newRow("tab") << "a\tb" << false;
    QTest::newRow("delete") << QStringLiteral(u"a\u007fb") << false;
    QTest::newRow("C1 control") << QStringLiteral(u"a\u0085b") << false;
    QTest::newRow("question mark") << "why?" << false;
    QTest::newRow("accents") << QStringLiteral(u"Été") << true;
    QTest::newRow("hidden") << ".cache" << true;
    QTest::newRow("starts with tilde") << "~old" << true;
}

void TestFolderScan::leftOutNames()
{
    QFETCH(QString, name);
    QFETCH(bool, entered);
    if (!fileNamesAreBytes() && (name.contains(QLatin1Char('?')) || name.at(1).unicode() < 32))
        QSKIP("Windows refuses control characters and \"?\" in names");
    static int row = 0;
    const QString root = m_dir.path() + QStringLiteral("/names-") + QString::number(++row);
    QVERIFY(makeTree(root, {QStringLiteral("plain/"), name + QStringLiteral("/below/")}));
    const QStringList relative = relativeList(root, scan(root));
    const QStringList expected = entered
        ? QStringList{"", "plain", name, name + QStringLiteral("/below")}
        : QStringList{"", "plain"};
    QCOMPARE(sorted(relative), sorted(expected));
}

void TestFolderScan::unreadableFoldersDropOut()
{
    const QString root = m_dir.path() + QStringLiteral("/denied");
    QVERIFY(makeTree(root, {
        QStringLiteral("a/a1/"), QStringLiteral("deny1/below/"), QStringLiteral("deny2/"),
        QStringLiteral("b/deny3/below/"), QStringLiteral("b/b1/b11/"), QStringLiteral("a/deny4/"),
    }));
    const UnreadablePaths closed({root + QStringLiteral("/deny1"), root + QStringLiteral("/deny2"),
                                  root + QStringLiteral("/b/deny3"), root + QStringLiteral("/a/deny4")});
    if (!closed.enforced())
        QSKIP("Folder permissions are not enforced here");
    QList<ScanFailure> failures;
    const QStringList relative = relativeList(root, scan(root, &failures));
    QCOMPARE(sorted(relative), sorted({"", "a", "a/a1", "b", "b/b1", "b/b1/b11"}));
    QVERIFY(failures.isEmpty());
}

void TestFolderScan::unreadableStartFolder()
{
    const QString root = m_dir.path() + QStringLiteral("/closedstart");
    QVERIFY(makeTree(root, {QStringLiteral("sub/")}));
    const UnreadablePaths closed({root});
    if (!closed.enforced())
        QSKIP("Folder permissions are not enforced here");
    QList<ScanFailure> failures;
    QCOMPARE(scan(root, &failures), QStringList());
    QVERIFY(failures.isEmpty());
}

void TestFolderScan::linkLoopsEnd()
{
    const QString root = m_dir.path() + QStringLiteral("/loops");
    const QString outside = m_dir.path() + QStringLiteral("/outside");
    QVERIFY(makeTree(root, {QStringLiteral("a/"), QStringLiteral("b/"), QStringLiteral("c/")}));
    QVERIFY(makeTree(outside, {QStringLiteral("o1/")}));
    if (!makeSymbolicLink(QStringLiteral(".."), root + QStringLiteral("/a/up")))
        QSKIP("No working symbolic links here");
    QVERIFY(makeSymbolicLink(QStringLiteral("."), root + QStringLiteral("/b/self")));
    QVERIFY(makeSymbolicLink(root, root + QStringLiteral("/c/back")));
    // Links to one folder outside: it is taken in once, under the first link
    // in the scan's order.
    QVERIFY(makeSymbolicLink(outside, root + QStringLiteral("/out")));
    QVERIFY(makeSymbolicLink(outside, root + QStringLiteral("/c/again")));
    QVERIFY(makeSymbolicLink(outside + QStringLiteral("/o1"), root + QStringLiteral("/c/deeper")));
    const QStringList relative = relativeList(root, scan(root));
    QCOMPARE(sorted(relative), sorted({"", "a", "b", "c", "c/deeper", "out"}));
}

void TestFolderScan::longPathIsNotEntered()
{
    const QString root = m_dir.path() + QStringLiteral("/long");
    const QString part(100, QLatin1Char('x'));
    QString deep = root;
    while (deep.size() < 260)
        deep += QLatin1Char('/') + part;
    QVERIFY(makeTree(deep, {QStringLiteral("child/")}));
    const QStringList list = scan(root);
    // The folder of 260 characters or more is listed but its sub-folders are not.
    QCOMPARE(list.last(), nativePath(deep + QLatin1Char('/')));
    QVERIFY(list.at(list.size() - 2).size() < 260);
}

void TestFolderScan::rootIsScanned()
{
    // A chosen root keeps its separator, so its element ends in two.
    const QString separator = nativePath(QStringLiteral("/"));
    const QString root = nativePath(QDir::rootPath()) + separator;
    QStringList list{root};
    QList<ScanFailure> failures;
    GetSubDirectories2016(list, false, &failures);
    QVERIFY(failures.isEmpty());
    QCOMPARE(list.first(), root);
    // The temporary folder's top folder ("/tmp", "C:\\users") is one of them.
    QVERIFY(list.contains(root + QDir::tempPath().section(QLatin1Char('/'), 1, 1) + separator));
    for (const QString &folder : list.mid(1)) {
        QVERIFY2(folder.startsWith(root) && folder.indexOf(separator, root.size()) == folder.size() - 1,
                 qPrintable(folder));
    }
}

void TestFolderScan::stopEndsScan()
{
    const QString root = m_dir.path() + QStringLiteral("/stop");
    QVERIFY(makeTree(root, {QStringLiteral("a/b/c/"), QStringLiteral("d/")}));
    QStringList list{root + QLatin1Char('/')};
    int asked = 0;
    GetSubDirectories2016(list, true, nullptr, [&] { return ++asked > 1; });
    QVERIFY(list.size() < 5);
}

OSTRELL_CORE_TEST_MAIN(TestFolderScan)
#include "tst_folderscan.moc"
