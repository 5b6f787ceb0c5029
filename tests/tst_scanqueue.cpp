#include <QGuiApplication>
#include <QThread>
#include <QtTest>


#include "app/shared/errorreport.h"
#include "filelist/scanqueue.h"
#include "scantreesupport.h"
#include "testsupport.h"

namespace {

// Paths come as the dialogs and drops give them, with native separators,
// and the entries go back that way.
QStringList native(const QStringList &paths)
{
    QStringList result;
    for (const QString &path : paths)
        result.append(nativePath(path));
    return result;
}

ScanItem fileItem(const QString &path)
{
    return {ScanItem::Kind::File, nativePath(path), QStringLiteral("*.*"), {}};
}

ScanItem dropItem(const QString &folder)
{
    return {ScanItem::Kind::FolderDrop, nativePath(folder), QStringLiteral("*.*"), {}};
}

ScanItem commandItem(const QString &folder, const QString &answer)
{
    return {ScanItem::Kind::FolderCommand, nativePath(folder), QStringLiteral("*.") + answer, {}};
}

// Everything a queue hands back, in arrival order.
struct Collector {
    explicit Collector(ScanQueue &queue)
    {
        QObject::connect(&queue, &ScanQueue::entriesFound, &queue, [this](const ListEntries &chunk) {
            if (QThread::currentThread() != qApp->thread())
                offGuiThread = true;
            chunks.append(chunk);
            for (const ListEntry &entry : chunk) {
                entries.append(entry.text);
                paths.append(entry.path);
            }
        });
        QObject::connect(&queue, &ScanQueue::jobFinished, &queue,
                         [this](int id, const QList<ScanFailure> &failed) {
                             finished.append(id);
                             failures += failed;
                         });
    }
    QList<ListEntries> chunks;
    QStringList entries;
    QList<QByteArray> paths;
    QList<int> finished;
    QList<ScanFailure> failures;
    bool offGuiThread = false;
};

QStringList underRoot(const QString &root, const QStringList &relative)
{
    QStringList paths;
    for (const QString &entry : relative)
        paths.append(nativePath(root + QLatin1Char('/') + entry));
    return paths;
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}


} // namespace

class TestScanQueue : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void commandAndDropRules_data();
    void commandAndDropRules();
    void jobsKeepTheirOrder();
    void mixedDropKeepsOrder();
    void manyFilesComeInChunks();
    void unreadableFoldersAddNothing();
    void listingFailureIsReported();
    void linkLoopListsEachFileOnce();
    void rootLikeFolder();
    void namesThatAreNotText();
    void destroyWhileScanning();

private:
    QTemporaryDir m_dir;
    QString m_rules; // tree of the rules table
    bool m_hasLinks = false; // none where this user may make no working links
};

void TestScanQueue::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_rules = m_dir.path() + QStringLiteral("/rules");
    QVERIFY(makeTree(m_rules, {
        QStringLiteral("a.jpg"), QStringLiteral(".x.jpg"), QStringLiteral("~t.jpg"), QStringLiteral("b.JPG"),
        QStringLiteral("c.jpeg"), QStringLiteral("noext"), QStringLiteral("sub/d.jpg"),
        QStringLiteral("sub/.y.jpg"), QStringLiteral("sub/~u.jpg"), QStringLiteral("sub/e.txt"),
        QStringLiteral(".hid/f.jpg"), QStringLiteral("sub/deeper/g.jpg"),
    }));
    // Hidden, but a link rather than a plain file: not the value 34, so the command takes it.
    m_hasLinks = makeSymbolicLink(m_rules + QStringLiteral("/a.jpg"), m_rules + QStringLiteral("/.lnk.jpg"));
}

void TestScanQueue::commandAndDropRules_data()
{
    QTest::addColumn<ScanItem>("item");
    QTest::addColumn<QStringList>("expected");
    const QString root = m_dir.path() + QStringLiteral("/rules");
    QTest::newRow("command jpg")
        << commandItem(root, QStringLiteral("jpg"))
        << QStringList{".lnk.jpg", "a.jpg", "b.JPG", ".hid/f.jpg", "sub/d.jpg", "sub/deeper/g.jpg"};
    QTest::newRow("command star")
        << commandItem(root, QStringLiteral("*"))
        << QStringList{".lnk.jpg", "a.jpg", "b.JPG", "c.jpeg", "noext", ".hid/f.jpg", "sub/d.jpg",
                       "sub/e.txt", "sub/deeper/g.jpg"};
    QTest::newRow("command leading full stop") << commandItem(root, QStringLiteral(".jpg")) << QStringList{};
    QTest::newRow("drop")
        << dropItem(root)
        << QStringList{".lnk.jpg", ".x.jpg", "a.jpg", "b.JPG", "c.jpeg", "noext", ".hid/f.jpg",
                       "sub/.y.jpg", "sub/d.jpg", "sub/e.txt", "sub/deeper/g.jpg"};
}

void TestScanQueue::commandAndDropRules()
{
    QFETCH(ScanItem, item);
    QFETCH(QStringList, expected);
    if (!m_hasLinks)
        expected.removeOne(QStringLiteral(".lnk.jpg"));
    ScanQueue queue;
    Collector collected(queue);
    const int id = queue.enqueue({item});
    QVERIFY(!queue.isIdle());
    QTRY_COMPARE(collected.finished, QList<int>{id});
    QVERIFY(queue.isIdle());
    QVERIFY(collected.failures.isEmpty());
    QVERIFY(!collected.offGuiThread);

    // Same files; each folder's files before those of the next level.
    QCOMPARE(sorted(collected.entries), sorted(underRoot(m_rules, expected)));
    int previousDepth = 0;
    for (const QString &entry : std::as_const(collected.entries)) {
        const int depth = int(entry.count(nativePath(QStringLiteral("/"))));
        QVERIFY2(depth >= previousDepth, qPrintable(collected.entries.join(QLatin1Char(' '))));
        previousDepth = depth;
    }
}

void TestScanQueue::jobsKeepTheirOrder()
{
    const QString first = m_dir.path() + QStringLiteral("/first");
    const QString second = m_dir.path() + QStringLiteral("/second");
    QVERIFY(makeTree(first, {QStringLiteral("1.jpg"), QStringLiteral("s/2.jpg")}));
    QVERIFY(makeTree(second, {QStringLiteral("3.jpg")}));
    ScanQueue queue;
    Collector collected(queue);
    const int one = queue.enqueue({dropItem(first)});
    const int two = queue.enqueue({dropItem(second)});
    const int three = queue.enqueue({commandItem(first, QStringLiteral("jpg"))});
    QTRY_COMPARE(collected.finished, (QList<int>{one, two, three}));
    QCOMPARE(collected.entries,
             native({first + QStringLiteral("/1.jpg"), first + QStringLiteral("/s/2.jpg"),
                     second + QStringLiteral("/3.jpg"), first + QStringLiteral("/1.jpg"),
                     first + QStringLiteral("/s/2.jpg")}));
}

void TestScanQueue::mixedDropKeepsOrder()
{
    const QString folder = m_dir.path() + QStringLiteral("/mixed");
    QVERIFY(makeTree(folder, {QStringLiteral("in.jpg")}));
    // Dropped files are taken as they come, even ones that are gone by now.
    const QString before = m_dir.path() + QStringLiteral("/before.txt");
    const QString after = m_dir.path() + QStringLiteral("/gone.jpg");
    ScanQueue queue;
    Collector collected(queue);
    queue.enqueue({fileItem(before), dropItem(folder), fileItem(after)});
    QTRY_COMPARE(collected.finished.size(), 1);
    QCOMPARE(collected.entries, native({before, folder + QStringLiteral("/in.jpg"), after}));
}

void TestScanQueue::manyFilesComeInChunks()
{
    const QString folder = m_dir.path() + QStringLiteral("/many");
    QStringList names;
    for (int i = 0; i < 4500; ++i)
        names.append(QStringLiteral("IMG_%1.jpg").arg(i, 4, 10, QLatin1Char('0')));
    QVERIFY(makeTree(folder, names));
    ScanQueue queue;
    Collector collected(queue);
    queue.enqueue({commandItem(folder, QStringLiteral("jpg")), fileItem(QStringLiteral("/last"))});
    QTRY_COMPARE(collected.finished.size(), 1);
    QVERIFY(!collected.offGuiThread);
    QVERIFY2(collected.chunks.size() >= 3, qPrintable(QString::number(collected.chunks.size())));
    for (const ListEntries &chunk : std::as_const(collected.chunks))
        QVERIFY(!chunk.isEmpty() && chunk.size() <= 2000);
    QStringList expected = underRoot(folder, ListFiles(folder, QStringLiteral("*.jpg")));
    expected.append(nativePath(QStringLiteral("/last")));
    QCOMPARE(collected.entries, expected);
}

void TestScanQueue::unreadableFoldersAddNothing()
{
    const QString root = m_dir.path() + QStringLiteral("/closed");
    QVERIFY(makeTree(root, {QStringLiteral("1.jpg"), QStringLiteral("no/2.jpg"), QStringLiteral("ok/3.jpg"),
                            QStringLiteral("ok/no/4.jpg"), QStringLiteral("ok/yes/5.jpg")}));
    // Before the queue, so that its thread starts without the capabilities too.
    const UnreadablePaths closed({root + QStringLiteral("/no"), root + QStringLiteral("/ok/no")});
    if (!closed.enforced())
        QSKIP("Folder permissions are not enforced here");
    for (const ScanItem &item : {dropItem(root), commandItem(root, QStringLiteral("jpg"))}) {
        ScanQueue queue;
        Collector collected(queue);
        queue.enqueue({item});
        QTRY_COMPARE(collected.finished.size(), 1);
        QCOMPARE(collected.entries, underRoot(root, {"1.jpg", "ok/3.jpg", "ok/yes/5.jpg"}));
        QVERIFY(collected.failures.isEmpty());
    }
}

void TestScanQueue::listingFailureIsReported()
{
    // A folder path of 260 characters or more is listed for files but never
    // opened by the sub-folder scan, so an unreadable one fails in the listing.
    const QString root = m_dir.path() + QStringLiteral("/failing");
    QString deep = root;
    while (deep.size() < 260)
        deep += QStringLiteral("/") + QString(60, QLatin1Char('d'));
    QVERIFY(makeTree(root, {QStringLiteral("1.jpg"), deep.mid(root.size() + 1) + QStringLiteral("/2.jpg")}));
    const QString sibling = deep.section(QLatin1Char('/'), 0, -2) + QStringLiteral("/zz");
    QVERIFY(makeTree(sibling, {QStringLiteral("3.jpg")}));
    const UnreadablePaths closed({deep});
    if (!closed.enforced())
        QSKIP("Folder permissions are not enforced here");
    ScanQueue queue;
    Collector collected(queue);
    queue.enqueue({commandItem(root, QStringLiteral("jpg"))});
    QTRY_COMPARE(collected.finished.size(), 1);
    QCOMPARE(sorted(collected.entries), sorted(native({root + QStringLiteral("/1.jpg"), sibling + QStringLiteral("/3.jpg")})));
    QCOMPARE(collected.failures.size(), 1);
    QCOMPARE(collected.failures.first().location, QString::fromLatin1(Location::AddFolder));
    QCOMPARE(collected.failures.first().step, 140);
    QVERIFY(collected.failures.first().description.contains(nativePath(deep)));
}

void TestScanQueue::linkLoopListsEachFileOnce()
{
    const QString root = m_dir.path() + QStringLiteral("/loop");
    QVERIFY(makeTree(root, {QStringLiteral("top.jpg"), QStringLiteral("a/in-a.jpg"), QStringLiteral("b/c/in-c.jpg")}));
    if (!makeSymbolicLink(root, root + QStringLiteral("/b/c/toRoot")))
        QSKIP("No working symbolic links here");
    QVERIFY(makeSymbolicLink(QStringLiteral(".."), root + QStringLiteral("/a/up")));
    ScanQueue queue;
    Collector collected(queue);
    queue.enqueue({dropItem(root)});
    QTRY_COMPARE(collected.finished.size(), 1);
    QCOMPARE(collected.entries, underRoot(root, {"top.jpg", "a/in-a.jpg", "b/c/in-c.jpg"}));
}

void TestScanQueue::rootLikeFolder()
{
    // A root comes with its own separator, so the folder list starts with a
    // doubled one, which neither the command nor the drop keeps.
    const QString root = m_dir.path() + QStringLiteral("/rootlike");
    QVERIFY(makeTree(root, {QStringLiteral("a.jpg"), QStringLiteral("sub/b.jpg")}));
    ScanQueue queue;
    Collector collected(queue);
    queue.enqueue({commandItem(root + QLatin1Char('/'), QStringLiteral("jpg"))});
    queue.enqueue({dropItem(root + QLatin1Char('/'))});
    QTRY_COMPARE(collected.finished.size(), 2);
    QCOMPARE(collected.entries,
             native({root + QStringLiteral("/a.jpg"), root + QStringLiteral("/sub/b.jpg"),
                     root + QStringLiteral("/a.jpg"), root + QStringLiteral("/sub/b.jpg")}));
}

void TestScanQueue::namesThatAreNotText()
{
    // Latin-1 names, as old cameras and archives write them: the file keeps
    // its bytes and shows U+FFFD; a folder of such a name is left out.
    const QString root = m_dir.path() + QStringLiteral("/latin1");
    QVERIFY(makeTree(root, {QStringLiteral("plain.jpg")}));
    const QByteArray native = QFile::encodeName(root);
    if (!fileNamesAreBytes())
        QSKIP("File names on this system are UTF-16 text, never stray bytes");
    QVERIFY(makeFileNamedBytes(native + "/caf\xe9.jpg"));
    QVERIFY(makeFolderNamedBytes(native + "/d\xe9j\xe0"));
    QVERIFY(makeFileNamedBytes(native + "/d\xe9j\xe0/in.jpg"));
    for (const ScanItem &item : {commandItem(root, QStringLiteral("jpg")), dropItem(root)}) {
        ScanQueue queue;
        Collector collected(queue);
        queue.enqueue({item});
        QTRY_COMPARE(collected.finished.size(), 1);
        QCOMPARE(sorted(collected.entries),
                 sorted({root + QStringLiteral("/caf\uFFFD.jpg"), root + QStringLiteral("/plain.jpg")}));
        QVERIFY(collected.paths.contains(native + "/caf\xe9.jpg"));
        QVERIFY(collected.paths.contains(native + "/plain.jpg"));
    }
}

void TestScanQueue::destroyWhileScanning()
{
    const QString root = m_dir.path() + QStringLiteral("/big");
    QStringList names;
    for (int folder = 0; folder < 10; ++folder) {
        for (int i = 0; i < 200; ++i)
            names.append(QStringLiteral("f%1/%2.jpg").arg(folder).arg(i));
    }
    QVERIFY(makeTree(root, names));
    QElapsedTimer timer;
    timer.start();
    {
        ScanQueue queue;
        Collector collected(queue);
        for (int i = 0; i < 50; ++i)
            queue.enqueue({dropItem(root)});
        QTRY_VERIFY(!collected.chunks.isEmpty());
    }
    // The worker stops at its next check instead of finishing fifty scans.
    QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
}

OSTRELL_CORE_TEST_MAIN(TestScanQueue)
#include "tst_scanqueue.moc"
