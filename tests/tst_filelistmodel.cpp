#include <QAbstractItemModelTester>
#include <QGuiApplication>
#include <QtTest>

#include "filelist/filelistmodel.h"
#include "testsupport.h"

namespace {
QStringList texts(const FileListModel &model)
{
    QStringList result;
    for (int position = 1; position <= model.entryCount(); ++position)
        result.append(model.entryText(position));
    return result;
}
} // namespace

class TestFileListModel : public QObject {
    Q_OBJECT
private slots:
    void appendKeepsOrderAndDuplicates();
    void containsEntry_data();
    void containsEntry();
    void swapTexts();
    void removeRowAt();
    void clear();
    void header();
};

void TestFileListModel::appendKeepsOrderAndDuplicates()
{
    FileListModel model;
    QAbstractItemModelTester tester(&model);
    model.appendEntry(QStringLiteral("/p/b.jpg"));
    model.appendEntries({QStringLiteral("/p/a.jpg"), QStringLiteral(" /p/b.jpg ")});
    model.appendEntry(QStringLiteral("/p/b.jpg"));
    model.appendEntries({});

    QCOMPARE(texts(model), (QStringList{"/p/b.jpg", "/p/a.jpg", " /p/b.jpg ", "/p/b.jpg"}));
    QCOMPARE(model.rowCount(), 4);
    QCOMPARE(model.data(model.index(1), Qt::DisplayRole).toString(), QStringLiteral("/p/a.jpg"));
    QCOMPARE(model.entryText(0), QString());
    QCOMPARE(model.entryText(5), QString());
}

void TestFileListModel::containsEntry_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("expected");
    QTest::newRow("equal") << "/p/IMG_1.jpg" << true;
    QTest::newRow("other case") << "/p/img_1.jpg" << false;
    QTest::newRow("trailing blank") << "/p/IMG_1.jpg " << false;
    QTest::newRow("prefix") << "/p/IMG_1" << false;
    QTest::newRow("last entry") << "/q/x.jpg" << true;
    QTest::newRow("empty") << QString() << false;
}

void TestFileListModel::containsEntry()
{
    QFETCH(QString, text);
    QFETCH(bool, expected);

    FileListModel model;
    QVERIFY(!model.ContainsEntry(text));
    model.appendEntries({QStringLiteral("/p/IMG_1.jpg"), QStringLiteral("/q/x.jpg")});
    QCOMPARE(model.ContainsEntry(text), expected);
}

void TestFileListModel::swapTexts()
{
    FileListModel model;
    QAbstractItemModelTester tester(&model);
    model.appendEntries({QStringLiteral("a"), QStringLiteral("b")});
    model.appendListEntries({ListEntry::fromNative("c\xe9")}); // a name that is no UTF-8
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    model.swapTexts(0, 2);
    QCOMPARE(texts(model), (QStringList{"c\uFFFD", "b", "a"}));
    QCOMPARE(model.entryPath(1), QByteArray("c\xe9")); // the bytes go with the text
    QCOMPARE(model.entryPath(3), QByteArray("a"));
    QCOMPARE(changed.size(), 2);

    model.swapTexts(1, 3);
    model.swapTexts(-1, 0);
    model.swapTexts(1, 1);
    QCOMPARE(texts(model), (QStringList{"c\uFFFD", "b", "a"}));
}

void TestFileListModel::removeRowAt()
{
    FileListModel model;
    QAbstractItemModelTester tester(&model);
    model.appendEntries({QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("x")});

    model.removeRowAt(0);
    QCOMPARE(texts(model), (QStringList{"y", "x"}));
    QVERIFY(model.ContainsEntry(QStringLiteral("x")));
    model.removeRowAt(2);
    model.removeRowAt(-1);
    QCOMPARE(texts(model), (QStringList{"y", "x"}));
    model.removeRowAt(1);
    QCOMPARE(texts(model), QStringList{"y"});
    QCOMPARE(model.entryText(2), QString());
    QCOMPARE(model.entryPath(2), QByteArray());
}

void TestFileListModel::clear()
{
    FileListModel model;
    QAbstractItemModelTester tester(&model);
    model.appendEntries({QStringLiteral("a"), QStringLiteral("b")});
    model.clear();
    QCOMPARE(model.entryCount(), 0);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.entryText(1), QString());
    QVERIFY(!model.ContainsEntry(QStringLiteral("a")));
    model.appendEntry(QStringLiteral("c"));
    QCOMPARE(texts(model), QStringList{"c"});
}

void TestFileListModel::header()
{
    FileListModel model;
    model.appendEntry(QStringLiteral("/p/notes.txt"));
    QCOMPARE(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
             QStringLiteral("JPG File(s)"));
}

OSTRELL_CORE_TEST_MAIN(TestFileListModel)
#include "tst_filelistmodel.moc"
