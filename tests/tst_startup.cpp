#include <QGuiApplication>
#include <QtTest>

#include "app/startup.h"
#include "testsupport.h"

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void title_data();
    void title();
    void applicationTitleIsSet();
    void siteVisit_data();
    void siteVisit();
};

void TestStartup::title_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");

    // 35 characters, then a 6-letter and a 9-letter word: 42 after the first
    // cut, 35 after the second.
    const QString kept = QStringLiteral("Ostrell Batch Tag Writer For Photos");
    const QString long52 = kept + QStringLiteral(" Deluxe Unlimited");
    QCOMPARE(kept.size(), 35);
    QCOMPARE(long52.size(), 52);
    QCOMPARE(long52.left(long52.lastIndexOf(QLatin1Char(' '))).size(), 42);

    QTest::newRow("product name") << "Ostrell" << "Ostrell";
    QTest::newRow("52 characters") << long52 << kept;
    QTest::newRow("short name loses last word") << "Ostrell Pro" << "Ostrell";
    const QString forty = QString(20, QLatin1Char('a')) + ' ' + QString(19, QLatin1Char('b'));
    QTest::newRow("one cut leaves exactly 40") << forty + " c" << forty;
    QTest::newRow("long without blank") << QString(50, QLatin1Char('x'))
                                        << QString(50, QLatin1Char('x'));
}

void TestStartup::title()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QCOMPARE(titleFromProductName(name), expected);
}

void TestStartup::applicationTitleIsSet()
{
    QCOMPARE(ApplicationTitle(), QStringLiteral("Ostrell"));
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Ostrell"));
}

void TestStartup::siteVisit_data()
{
    QTest::addColumn<int>("draw");
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("opens");

    const QString site = QStringLiteral("https://ostrell.example/");
    QTest::newRow("draw 7") << 7 << site << true;
    QTest::newRow("draw 1") << 1 << site << false;
    QTest::newRow("draw 6") << 6 << site << false;
    QTest::newRow("draw 8") << 8 << site << false;
    QTest::newRow("draw 100") << 100 << site << false;
    QTest::newRow("draw 7, no address") << 7 << QString() << false;
}

void TestStartup::siteVisit()
{
    QFETCH(int, draw);
    QFETCH(QString, address);
    QFETCH(bool, opens);

    QStringList opened;
    OccasionalSiteVisit([draw] { return draw; },
                        [&opened](const QString &a) { opened.append(a); }, address);
    QCOMPARE(opened, opens ? QStringList{address} : QStringList());
}

OSTRELL_CORE_TEST_MAIN(TestStartup)
#include "tst_startup.moc"
