#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/window/qtdialogs.h"
#include "app/window/reportdialog.h"
#include "testsupport.h"

// A message with details opens the report view; the user can read, copy and close it.
class ReportDialogTest : public QObject {
    Q_OBJECT

private slots:
    void detailsOpenAReadableReport()
    {
        const QString text = QStringLiteral("Done. 2 of 3 files could not be written.");
        const QString details = QStringLiteral("2 files not written. <b>not bold</b>\n    /p/a.jpg\n    /p/b.jpg\n");
        QString shownText;
        QString shownDetails;
        QString clipboard;
        bool wraps = false;
        QTimer::singleShot(0, this, [&] {
            auto *report = qobject_cast<ReportDialog *>(QApplication::activeModalWidget());
            QVERIFY(report);
            shownText = report->findChild<QLabel *>(QStringLiteral("reportText"))->text();
            const auto *view = report->findChild<QPlainTextEdit *>(QStringLiteral("reportDetails"));
            shownDetails = view->toPlainText();
            QCOMPARE(view->accessibleName(), QStringLiteral("Report"));
            wraps = view->isReadOnly() && view->lineWrapMode() == QPlainTextEdit::WidgetWidth
                && report->isSizeGripEnabled();
            report->findChild<QPushButton *>(QStringLiteral("copyReport"))->click();
            clipboard = QGuiApplication::clipboard()->text();
            report->accept();
        });
        QtDialogs dialogs(nullptr);
        dialogs.message(text, details);

        QCOMPARE(shownText, text);
        QCOMPARE(shownDetails, details);
        QVERIFY(wraps);
        QCOMPARE(clipboard, text + QStringLiteral("\n\n") + details);
    }
};

OSTRELL_UI_TEST_MAIN(ReportDialogTest)
#include "tst_ui_reportdialog.moc"
