#include <QGuiApplication>
#include <QtTest>
#include <vector>

#include "app/shared/errorreport.h"
#include "testsupport.h"

namespace {
const QString Request = QStringLiteral("Please email screenshot of this message to "
                                       OSTRELL_SUPPORT_ADDRESS);

// A failure several calls below the guarded step.
void openMissing(const QString &name)
{
    throw Failure(QStringLiteral("File not found: ") + name);
}
void loadPointer(const QString &name) { openMissing(name); }
void prepareWindow() { loadPointer(QStringLiteral("HAND-M.CUR")); }
} // namespace

class TestErrorReport : public QObject {
    Q_OBJECT
private slots:
    void reportTextAndCaption();
    void twoFailuresTwoReports();
    void failureBeforeFirstStep();
    void failureDeepInCalledRoutine();
    void otherExceptionsReported();
};

void TestErrorReport::reportTextAndCaption()
{
    FakeDialogs dialogs;
    ErrorGuard guard(dialogs, QString::fromLatin1(Location::FormLoad));
    QVERIFY(!guard.step(124, [] { throw Failure(QStringLiteral("Type mismatch")); }));

    QCOMPARE(dialogs.shown.size(), 1);
    QCOMPARE(dialogs.shown[0].kind, QStringLiteral("warning"));
    QCOMPARE(dialogs.shown[0].caption, QStringLiteral("Application Error"));
    QCOMPARE(dialogs.shown[0].text,
             QStringLiteral("Type mismatch\r\nin Ostrell2021/08/31.Form1.Form_Load at line 124\r\r")
                 + Request);
}

void TestErrorReport::twoFailuresTwoReports()
{
    FakeDialogs dialogs;
    ErrorGuard guard(dialogs, QString::fromLatin1(Location::StartChanging));
    QList<int> ran;
    for (int number = 100; number <= 108; number += 2) {
        const bool ok = guard.step(number, [&] {
            ran.append(number);
            if (number == 102 || number == 106)
                throw Failure(QStringLiteral("Failure at %1").arg(number));
        });
        QCOMPARE(ok, number != 102 && number != 106);
    }

    QCOMPARE(ran, (QList<int>{100, 102, 104, 106, 108}));
    QCOMPARE(dialogs.shown.size(), 2);
    QVERIFY(dialogs.shown[0].text.startsWith(
        QStringLiteral("Failure at 102\r\nin Ostrell2021/08/31.Form1.PushButton3_Click at line 102\r\r")));
    QVERIFY(dialogs.shown[1].text.startsWith(
        QStringLiteral("Failure at 106\r\nin Ostrell2021/08/31.Form1.PushButton3_Click at line 106\r\r")));
}

void TestErrorReport::failureBeforeFirstStep()
{
    FakeDialogs dialogs;
    ErrorGuard guard(dialogs, QString::fromLatin1(Location::ClearList));
    guard.attempt([] { throw Failure(QStringLiteral("Early")); });
    bool stepRan = false;
    guard.step(100, [&] { stepRan = true; });

    QVERIFY(stepRan);
    QCOMPARE(dialogs.shown.size(), 1);
    QVERIFY(dialogs.shown[0].text.startsWith(
        QStringLiteral("Early\r\nin Ostrell2021/08/31.Form1.PushButton2_Click at line 0\r\r")));
}

void TestErrorReport::failureDeepInCalledRoutine()
{
    FakeDialogs dialogs;
    ErrorGuard guard(dialogs, QString::fromLatin1(Location::FormLoad));
    QList<int> ran;
    guard.step(124, [&] { ran.append(124); });
    guard.step(126, [&] {
        ran.append(126);
        prepareWindow();
        ran.append(-1); // never reached: the rest of the failed step is skipped
    });
    guard.step(128, [&] { ran.append(128); });

    QCOMPARE(ran, (QList<int>{124, 126, 128}));
    QCOMPARE(dialogs.shown.size(), 1);
    QCOMPARE(dialogs.shown[0].text,
             QStringLiteral("File not found: HAND-M.CUR\r\n"
                            "in Ostrell2021/08/31.Form1.Form_Load at line 126\r\r")
                 + Request);
}

void TestErrorReport::otherExceptionsReported()
{
    FakeDialogs dialogs;
    ErrorGuard guard(dialogs, QString::fromLatin1(Location::AddFolder));
    guard.step(104, [] { throw std::invalid_argument("Invalid procedure call"); });
    guard.step(106, [] { (void)std::vector<int>().at(3); });
    bool lastRan = false;
    guard.step(108, [&] { lastRan = true; });

    QVERIFY(lastRan);
    QCOMPARE(dialogs.shown.size(), 2);
    QCOMPARE(dialogs.shown[0].caption, QStringLiteral("Application Error"));
    QVERIFY(dialogs.shown[0].text.startsWith(
        QStringLiteral("Invalid procedure call\r\nin Ostrell2021/08/31.Form1.PushButton4_Click at line 104\r\r")));
    QVERIFY(dialogs.shown[1].text.contains(QStringLiteral("PushButton4_Click at line 106\r\r")));
}

OSTRELL_CORE_TEST_MAIN(TestErrorReport)
#include "tst_errorreport.moc"
