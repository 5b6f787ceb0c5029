// The window while entries are dragged and while a run is at work: what the
// pointer, Escape, removal and the end box do then.

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/shared/paths.h"
#include "app/shared/settings.h"
#include "app/window/form1.h"
#include "app/window/qtdialogs.h"
#include "filelist/filelistmodel.h"
#include "filelist/window/filelistview.h"
#include "formsupport.h"
#include "testsupport.h"

class Form1BusyTest : public QObject {
    Q_OBJECT

    static void hover(QWidget *widget, QPoint position = QPoint(-1, -1))
    {
        if (position == QPoint(-1, -1))
            position = widget->rect().center();
        QMouseEvent move(QEvent::MouseMove, position, widget->mapToGlobal(position),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &move);
    }

    static void moveOver(QWidget *viewport, const QPoint &position)
    {
        QMouseEvent move(QEvent::MouseMove, position, viewport->mapToGlobal(position),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
    }

    // A run that stays at work until the window closes: its tool never answers.
    static void startEndlessRun(Form1 &form, const QString &folder)
    {
        const QString tool = makeToolStandIn(folder, QStringLiteral("silent-tool"), {QStringLiteral("silent=1")});
        const QString photo = folder + QStringLiteral("/photos/a.jpg");
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/photos")));
        QVERIFY(makeJpeg(photo));
        form.fileList().appendEntry(photo);
        control<QLineEdit>(form, "Text2")->setText(folder);
        form.batchRun().setToolProgram(tool);
        control<QPushButton>(form, "PushButton3")->click();
        QTRY_COMPARE(form.mousePointer(), Pointer::Hourglass); // the tool is at work
    }

private slots:
    void draggingCarriesTheEntry()
    {
        FakeDialogs dialogs;
        Form1 form(&dialogs);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.fileList().appendEntries({"1", "2", "3", "4", "5"});
        auto *list = control<FileListView>(form, "ListView1");
        QWidget *viewport = list->viewport();
        auto centre = [&](int row) { return list->visualRect(list->model()->index(row, 0)).center(); };

        QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, centre(2));
        moveOver(viewport, centre(3));
        moveOver(viewport, centre(4));
        QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, centre(4));
        QCOMPARE(entries(form), QStringList({"1", "2", "4", "5", "3"}));
        QCOMPARE(list->currentIndex().row(), 4);

        // Without a button held, moving changes nothing.
        moveOver(viewport, centre(0));
        QCOMPARE(entries(form), QStringList({"1", "2", "4", "5", "3"}));
    }

    void draggingNearTheListsEdgeScrolls()
    {
        FakeDialogs dialogs;
        Form1 form(&dialogs);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QStringList many;
        for (int i = 0; i < 100; ++i)
            many.append(QString::number(i));
        form.fileList().appendEntries(many);
        auto *list = control<FileListView>(form, "ListView1");
        QWidget *viewport = list->viewport();
        auto rect = [&](int row) { return list->visualRect(list->model()->index(row, 0)); };
        int lastVisible = 0;
        while (rect(lastVisible + 1).bottom() < viewport->height())
            ++lastVisible;

        QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, rect(lastVisible - 1).center());
        // The pointer reaches the last visible entry at the list's bottom edge.
        moveOver(viewport, QPoint(rect(lastVisible).center().x(), rect(lastVisible).bottom() - 1));
        QTest::mouseRelease(viewport, Qt::LeftButton);
        QVERIFY(rect(lastVisible + 1).bottom() < viewport->height()); // the next entry came into view
        QCOMPARE(form.fileList().entryText(lastVisible + 1), QString::number(lastVisible - 1));
    }

    void draggingOverEqualTextChangesNothing()
    {
        FakeDialogs dialogs;
        Form1 form(&dialogs);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.fileList().appendEntries({"a", "same", "same"});
        auto *list = control<FileListView>(form, "ListView1");
        auto centre = [&](int row) { return list->visualRect(list->model()->index(row, 0)).center(); };
        QTest::mousePress(list->viewport(), Qt::LeftButton, Qt::NoModifier, centre(1));
        moveOver(list->viewport(), centre(2));
        QCOMPARE(entries(form), QStringList({"a", "same", "same"}));
        QCOMPARE(list->currentIndex().row(), 1);
    }

    void removalWaitsWhileBusy()
    {
        FakeDialogs dialogs;
        Form1 form(&dialogs);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.fileList().appendEntries({"a", "b", "b"});
        auto *list = control<FileListView>(form, "ListView1");
        list->setCurrentIndex(list->model()->index(1, 0));
        list->setFocus();

        form.setMousePointer(Pointer::Hourglass);
        QTest::keyClick(list, Qt::Key_Delete);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                           list->visualRect(list->model()->index(1, 0)).center());
        control<QPushButton>(form, "PushButton2")->click();
        QCOMPARE(entries(form), QStringList({"a", "b", "b"}));

        form.setMousePointer(Pointer::Default);
        QTest::keyClick(list, Qt::Key_Backspace);
        QCOMPARE(entries(form).size(), 3);
        QTest::keyClick(list, Qt::Key_Delete, Qt::ShiftModifier);
        QCOMPARE(entries(form), QStringList({"a", "b"})); // the duplicate stays
        control<QPushButton>(form, "PushButton2")->click();
        QCOMPARE(form.fileList().entryCount(), 0);
        QTest::keyClick(list, Qt::Key_Delete); // on an empty list: nothing happens
        QVERIFY(dialogs.shown.isEmpty());
    }

    void pointerRulesKeepTheHourglass()
    {
        FakeDialogs dialogs;
        Form1 form(&dialogs);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto *button = control<QPushButton>(form, "PushButton1");
        auto *frame = control<QWidget>(form, "Frame1");
        hover(button);
        QCOMPARE(form.mousePointer(), Pointer::Custom);
        hover(&form, QPoint(2, 2));
        QCOMPARE(form.mousePointer(), Pointer::Default);
        hover(control<QWidget>(form, "PushButton6"));
        QCOMPARE(form.mousePointer(), Pointer::Custom);
        hover(frame, QPoint(4, 40));
        QCOMPARE(form.mousePointer(), Pointer::Default);

        form.setMousePointer(Pointer::Hourglass);
        hover(button);
        QCOMPARE(form.mousePointer(), Pointer::Hourglass);
        hover(&form, QPoint(2, 2));
        QCOMPARE(form.mousePointer(), Pointer::Hourglass);
        form.setMousePointer(Pointer::Default);
        hover(button);
        QCOMPARE(form.mousePointer(), Pointer::Custom);
    }

    // Escape asks to stop only when no popup, dialog or control takes it.
    void escapeStopsOnlyFromTheWindow_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<int>("questions");
        QTest::newRow("tag list open") << "Combo1" << 0;
        QTest::newRow("value box") << "Text1" << 1;
        QTest::newRow("results folder box") << "Text2" << 1;
        QTest::newRow("file list") << "ListView1" << 1;
        QTest::newRow("Stop pressed") << "PushButton3" << 1;
    }

    void escapeStopsOnlyFromTheWindow()
    {
        QFETCH(QString, where);
        QFETCH(int, questions);
        QTemporaryDir folder;
        FakeDialogs dialogs;
        dialogs.questionAnswers = {false};
        auto form = std::make_unique<Form1>(&dialogs);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        startEndlessRun(*form, folder.path());
        auto *target = control<QWidget>(*form, where.toLatin1().constData());
        if (where == QLatin1String("PushButton3")) {
            static_cast<QPushButton *>(target)->click();
        } else if (where == QLatin1String("Combo1")) {
            auto *tag = static_cast<QComboBox *>(target);
            tag->showPopup();
            QWidget *popup = QApplication::activePopupWidget();
            QVERIFY(popup);
            QTest::keyClick(popup->windowHandle(), Qt::Key_Escape); // as the window system delivers it
            QTRY_VERIFY(!QApplication::activePopupWidget());
        } else {
            target->setFocus();
            QTest::keyClick(target, Qt::Key_Escape);
        }
        const QList<FakeDialogs::Shown> asked = dialogs.ofKind(QStringLiteral("question"));
        QCOMPARE(asked.size(), questions);
        if (questions)
            QCOMPARE(asked.first().text, QStringLiteral("Stop the run? Files already written are kept."));
        QVERIFY(form->batchRun().BatchBusy()); // "No" lets it go on
        form->close();
    }

    // The end box's extra button opens the results folder; the report with
    // details stays open for copying, the plain box closes.
    void endBoxOpensTheFolder_data()
    {
        QTest::addColumn<QString>("details");
        QTest::newRow("plain box") << QString();
        QTest::newRow("report with details") << QStringLiteral("a.jpg: Permission denied");
    }

    void endBoxOpensTheFolder()
    {
        QFETCH(QString, details);
        struct OpeningDialogs : QtDialogs {
            using QtDialogs::QtDialogs;
            bool openUrl(const QUrl &url) override
            {
                opened.append(url);
                return true;
            }
            QList<QUrl> opened;
        };
        QWidget owner;
        OpeningDialogs dialogs(&owner);
        const QUrl folder = QUrl::fromLocalFile(QStringLiteral("/tmp/out <b>"));
        bool stayedOpen = false;
        QTimer::singleShot(0, &owner, [&] {
            QWidget *box = QApplication::activeModalWidget();
            QPushButton *open = nullptr;
            for (QPushButton *button : box->findChildren<QPushButton *>())
                if (button->text() == QLatin1String("Open Results Folder"))
                    open = button;
            QVERIFY(open);
            open->click();
            stayedOpen = box->isVisible();
            if (stayedOpen)
                static_cast<QDialog *>(box)->accept();
        });
        dialogs.messageWithFolder(QStringLiteral("Done."), details, folder);
        QCOMPARE(dialogs.opened, QList<QUrl>{folder});
        QCOMPARE(stayedOpen, !details.isEmpty());
    }

    void questionClosedFromCodeAnswersNo()
    {
        QWidget owner;
        QtDialogs dialogs(&owner);
        dialogs.closeQuestion(); // none open: nothing happens
        QString shownAfter;
        QTimer::singleShot(0, &owner, [&] {
            dialogs.closeQuestion();
            // What follows at once is shown and waits for its answer.
            QTimer::singleShot(0, &owner, [&] {
                if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                    shownAfter = box->text();
                    box->done(0);
                }
            });
            dialogs.message(QStringLiteral("Done."));
        });
        QTimer::singleShot(5000, &owner, [] { // only if the question did not close
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
                box->done(QMessageBox::Yes);
        });
        QVERIFY(!dialogs.question(QStringLiteral("Stop the run? Files already written are kept.")));
        QCOMPARE(shownAfter, QStringLiteral("Done."));
        QVERIFY(!QApplication::activeModalWidget());
    }
};

OSTRELL_UI_TEST_MAIN(Form1BusyTest)
#include "tst_ui_form1busy.moc"
