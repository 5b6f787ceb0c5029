#include <QGuiApplication>
#include <QtTest>

#include "testsupport.h"
#include "writer/command/progresssink.h"
#include "writer/command/waitprogress.h"

namespace {

class RecordingBar : public ProgressSink {
public:
    void setBarValue(int value) override { values.append(value); }
    int barValue() const override { return values.isEmpty() ? 0 : values.last(); }
    void setBarText(const QString &text) override { texts.append(text); }
    QString barText() const override { return texts.isEmpty() ? QString() : texts.last(); }

    QList<int> values;
    QStringList texts;
};

} // namespace

class TestWaitProgress : public QObject {
    Q_OBJECT
private slots:
    void stepForCount_data();
    void stepForCount();
    void ceiling_data();
    void ceiling();
    void creepingValues_data();
    void creepingValues();
    void waitingText_data();
    void waitingText();
    void captionPutBack_data();
    void captionPutBack();
    void nullBarCountsNothing();
};

void TestWaitProgress::stepForCount_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("step");
    QTest::newRow("1") << 1 << 10;
    QTest::newRow("2") << 2 << 5;
    QTest::newRow("3") << 3 << 3;
    QTest::newRow("4: 2.5 to the even 2") << 4 << 2;
    QTest::newRow("6") << 6 << 2;
    QTest::newRow("7") << 7 << 1;
    QTest::newRow("19") << 19 << 1;
    QTest::newRow("20: 0.5 to the even 0") << 20 << 0;
    QTest::newRow("30") << 30 << 0;
    QTest::newRow("0 taken as 1") << 0 << 10;
    QTest::newRow("negative taken as 1") << -3 << 10;
}

void TestWaitProgress::stepForCount()
{
    QFETCH(int, count);
    QFETCH(int, step);
    QCOMPARE(WaitProgress::stepFor(count), step);
}

void TestWaitProgress::ceiling_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("ceiling");
    QTest::newRow("4 from 25") << 4 << 25 << 48;
    QTest::newRow("1 from 100 passes 100") << 1 << 100 << 190;
    QTest::newRow("8 from 10: 21.5 to 22") << 8 << 10 << 22;
    QTest::newRow("8 from 11: 22.5 to 22") << 8 << 11 << 22;
    QTest::newRow("30 from 50") << 30 << 50 << 53;
}

void TestWaitProgress::ceiling()
{
    QFETCH(int, count);
    QFETCH(int, start);
    QFETCH(int, ceiling);
    QCOMPARE(WaitProgress::ceilingFor(count, start), ceiling);
}

void TestWaitProgress::creepingValues_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("start");
    QTest::addColumn<QList<int>>("values"); // at polls 50, 200, 350, ...

    QTest::newRow("4 from 25 up to 48")
        << 4 << 25 << QList<int>{25, 27, 29, 31, 33, 35, 37, 39, 41, 43, 45, 47, 48, 48};
    QTest::newRow("1 from 100 up to 190")
        << 1 << 100 << QList<int>{100, 110, 120, 130, 140, 150, 160, 170, 180, 190, 190};
    QTest::newRow("2 from 50 up to 95")
        << 2 << 50 << QList<int>{50, 55, 60, 65, 70, 75, 80, 85, 90, 95, 95};
    QTest::newRow("3 from 33") << 3 << 33 << QList<int>{33, 36, 39, 42, 45, 48, 51, 54, 57, 60, 63, 63};
    QTest::newRow("20 stays") << 20 << 5 << QList<int>{5, 5, 5};
    QTest::newRow("30 stays") << 30 << 50 << QList<int>{50, 50, 50};
    QTest::newRow("0 files does not divide by zero") << 0 << 0 << QList<int>{0, 10, 20};
}

void TestWaitProgress::creepingValues()
{
    QFETCH(int, count);
    QFETCH(int, start);
    QFETCH(QList<int>, values);

    RecordingBar bar;
    WaitProgress wait(&bar, QStringLiteral("Processing: a.jpg"), start, count);
    const int polls = WaitTextFromTick + CreepEveryTicks * (values.size() - 1);
    for (int poll = 1; poll <= polls; ++poll) {
        wait.tick();
        if (poll == WaitTextFromTick - 1)
            QVERIFY2(bar.values.isEmpty() && bar.texts.isEmpty(), "nothing shown before poll 50");
    }
    QCOMPARE(wait.polls(), polls);
    QCOMPARE(bar.values, values);
}

void TestWaitProgress::waitingText_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("polls");
    QTest::addColumn<QString>("text");
    QTest::newRow("first at poll 50")
        << "Processing: IMG_0001.jpg" << 50 << "Processing: IMG_0001.jpg, Please wait.. 0";
    QTest::newRow("counts per poll")
        << "Processing: IMG_0001.jpg" << 70 << "Processing: IMG_0001.jpg, Please wait.. 20";
    QTest::newRow("empty caption, no comma") << "" << 51 << "Please wait.. 1";
}

void TestWaitProgress::waitingText()
{
    QFETCH(QString, caption);
    QFETCH(int, polls);
    QFETCH(QString, text);

    RecordingBar bar;
    WaitProgress wait(&bar, caption, 50, 2);
    for (int poll = 0; poll < polls; ++poll)
        wait.tick();
    QCOMPARE(bar.texts.size(), polls - WaitTextFromTick + 1);
    QCOMPARE(bar.texts.last(), text);
    QCOMPARE(WaitProgress::waitingText(caption, polls), text);
}

void TestWaitProgress::captionPutBack_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("text");
    QTest::newRow("caption") << "Processing: a.jpg" << "Processing: a.jpg";
    QTest::newRow("empty caption") << "" << "Progress Bar";
}

void TestWaitProgress::captionPutBack()
{
    QFETCH(QString, caption);
    QFETCH(QString, text);

    RecordingBar bar;
    WaitProgress wait(&bar, caption, 25, 4);
    for (int poll = 0; poll < 60; ++poll)
        wait.tick();
    wait.finish();
    QCOMPARE(bar.texts.last(), text);
}

void TestWaitProgress::nullBarCountsNothing()
{
    WaitProgress wait(nullptr, QStringLiteral("x"), 25, 0);
    for (int poll = 0; poll < 400; ++poll)
        wait.tick();
    wait.finish();
    QCOMPARE(wait.polls(), 0);
}

OSTRELL_CORE_TEST_MAIN(TestWaitProgress)
#include "tst_waitprogress.moc"
