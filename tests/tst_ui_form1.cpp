#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSemaphore>
#include <QTableWidget>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/details/picturereader.h"
#include "app/shared/errorreport.h"
#include "app/shared/paths.h"
#include "app/shared/settings.h"
#include "app/window/form1.h"
#include "app/window/picturedetailswindow.h"
#include "app/window/picturethumbnail.h"
#include "app/window/qtdialogs.h"
#include "filelist/addfiles.h"
#include "filelist/filelistmodel.h"
#include "filelist/window/filelistview.h"
#include "formsupport.h"
#include "testsupport.h"

class Form1Test : public QObject {
    Q_OBJECT

private slots:
    void firstStartShowsDefaults()
    {
        FakeDialogs dialogs;
        Form1 form(&dialogs);
        // Placed before its load can report anything, so a report centres on it.
        QCOMPARE(form.geometry().center(), form.screen()->availableGeometry().center());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.size(), QSize(536, 496));
        QCOMPARE(form.windowTitle(), QStringLiteral("Ostrell"));
        // The SVG icon from the resources, drawn by the svg plugin at any size.
        QCOMPARE(form.windowIcon().pixmap(256).size(), QSize(256, 256));
        QCOMPARE(control<QComboBox>(form, "Combo1")->currentText(), QStringLiteral("Title"));
        QCOMPARE(control<QComboBox>(form, "Combo1")->count(), 13);
        QCOMPARE(control<QLineEdit>(form, "Text2")->text(), Settings::defaultFor(Settings::Key::Text2));
        QVERIFY(control<QLineEdit>(form, "Text2")->text().endsWith(nativeSeparator()));
        QVERIFY(control<QPlainTextEdit>(form, "Text1")->toPlainText().isEmpty());
        QTRY_COMPARE(QApplication::focusWidget(), control<QWidget>(form, "Text1"));
        auto *list = control<FileListView>(form, "ListView1");
        QCOMPARE(list->model()->rowCount(), 0);
        QCOMPARE(list->model()->headerData(0, Qt::Horizontal).toString(),
                 QStringLiteral("JPG File(s)"));
        QCOMPARE(list->columnWidth(0), 7000 / 15);
        auto *bar = control<QProgressBar>(form, "ProgressBar1");
        QCOMPARE(bar->format(), QStringLiteral("Progress Bar"));
        // A screen reader reads the bar's text, which the percentage alone is not.
        form.setBarText(QStringLiteral("Processing: 100% pure.jpg"));
        QCOMPARE(bar->accessibleDescription(), QStringLiteral("Processing: 100% pure.jpg"));
        form.setBarText(QStringLiteral("Progress Bar"));
        QCOMPARE(control<QPushButton>(form, "PushButton3")->geometry(), QRect(8, 426, 520, 27));
        QCOMPARE(control<QGroupBox>(form, "Frame1")->title(),
                 QStringLiteral("Save Results To This Folder"));
        QVERIFY(dialogs.shown.isEmpty());
    }

    void tagChoiceSurvivesRestart()
    {
        FakeDialogs dialogs;
        {
            Form1 form(&dialogs);
            control<QComboBox>(form, "Combo1")->setCurrentText(QStringLiteral("Artist"));
            QCOMPARE(Settings::read(Settings::Key::Combo), QStringLiteral("Artist"));
        }
        Form1 restarted(&dialogs);
        QCOMPARE(control<QComboBox>(restarted, "Combo1")->currentText(), QStringLiteral("Artist"));
        Settings::write(Settings::Key::Combo, QStringLiteral("No such tag"));
        Form1 unknown(&dialogs);
        QCOMPARE(control<QComboBox>(unknown, "Combo1")->currentText(), QStringLiteral("Title"));
    }

    // The ways follow the tag, the chosen one is remembered, a run holds it,
    // and the keyboard reaches both new controls in the free column.
    void valueWayFollowsTheTag()
    {
        FakeDialogs dialogs;
        Form1 form(&dialogs);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto *tag = control<QComboBox>(form, "Combo1");
        auto *way = control<QComboBox>(form, "ValueWay");
        auto *load = control<QPushButton>(form, "ValuesFromFile");
        const auto offered = [way] {
            QStringList ways;
            for (int i = 0; i < way->count(); ++i)
                ways << way->itemText(i);
            return ways;
        };
        QCOMPARE(way->accessibleName(), QStringLiteral("How the value is used"));
        QCOMPARE(load->accessibleName(), QStringLiteral("Values From File\u2026"));
        const QRect frame = control<QGroupBox>(form, "Frame2")->rect();
        for (const QWidget *added : {static_cast<QWidget *>(way), static_cast<QWidget *>(load)}) {
            QVERIFY(frame.contains(added->geometry()));
            for (const char *other : {"Combo1", "Text1", "Label10", "Label12", "DetailsButton"})
                QVERIFY(!added->geometry().intersects(control<QWidget>(form, other)->geometry()));
        }
        QCOMPARE(offered(), (QStringList{"Write as typed", "Fill in fields"}));
        tag->setCurrentText(QStringLiteral("Keywords"));
        QCOMPARE(offered(), (QStringList{"Write as typed", "Add to each picture's keywords",
                                         "Remove from each picture's keywords", "Fill in fields"}));
        control<QWidget>(form, "DetailsButton")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), way);
        QTest::keyClick(way, Qt::Key_Down);
        QCOMPARE(Settings::read(Settings::Key::ValueWay), QStringLiteral("Add to each picture's keywords"));
        QTest::keyClick(way, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), load);
        tag->setCurrentText(QStringLiteral("Date and Time Taken"));
        QCOMPARE(offered(), (QStringList{"Write as typed", "Shift each picture's date by", "Fill in fields"}));
        QCOMPARE(way->currentText(), QStringLiteral("Write as typed"));
        tag->setCurrentText(QStringLiteral("Keywords"));
        QCOMPARE(way->currentText(), QStringLiteral("Add to each picture's keywords"));
        Form1 restarted(&dialogs);
        QCOMPARE(control<QComboBox>(restarted, "ValueWay")->currentText(),
                 QStringLiteral("Add to each picture's keywords"));
        form.setRunning(true);
        QVERIFY(!load->isEnabled());
        QTest::keyClick(way, Qt::Key_Down);
        QCOMPARE(way->currentText(), QStringLiteral("Add to each picture's keywords"));
        form.setRunning(false);
        QVERIFY(load->isEnabled());
    }

    // A spreadsheet's files join the list with their own values; what cannot
    // be used is listed by row, and nothing of it is added.
    void valuesFromFileAddsEntries()
    {
        QTemporaryDir dir;
        QVERIFY(makeJpeg(dir.filePath(QStringLiteral("a.jpg"))));
        QVERIFY(makeJpeg(dir.filePath(QStringLiteral("b.jpg"))));
        QFile sheet(dir.filePath(QStringLiteral("values.csv")));
        QVERIFY(sheet.open(QIODevice::WriteOnly));
        sheet.write("File;Title\r\nb.jpg;Two\r\nmissing.jpg;Lost\r\na.jpg;\"One; first\"\r\n");
        sheet.close();
        FakeDialogs dialogs;
        dialogs.openAnswers = {{sheet.fileName()}};
        Form1 form(&dialogs);
        form.fileList().appendEntry(QStringLiteral("typed.jpg"));
        control<QPushButton>(form, "ValuesFromFile")->click();
        QTRY_COMPARE(dialogs.shown.size(), 2);
        QCOMPARE(entries(form), (QStringList{"typed.jpg", QDir::toNativeSeparators(dir.filePath("b.jpg")),
                                             QDir::toNativeSeparators(dir.filePath("a.jpg"))}));
        QCOMPARE(form.entryValue(1), std::nullopt);
        QCOMPARE(form.entryValue(2), std::optional<QString>(QStringLiteral("Two")));
        QCOMPARE(form.entryValue(3), std::optional<QString>(QStringLiteral("One; first")));
        QVERIFY(form.hasOwnValues());
        QCOMPARE(dialogs.shown.last().text,
                 QStringLiteral("1 row of the spreadsheet cannot be used; its file was not added to the list."));
        QVERIFY(dialogs.shown.last().details.startsWith(QStringLiteral("Row 3 (")));
    }

    void resultsFolderStoredAtEveryKeystroke()
    {
        FakeDialogs dialogs;
        Form1 form(&dialogs);
        auto *box = control<QLineEdit>(form, "Text2");
        box->clear();
        box->setFocus();
        QTest::keyClicks(box, QStringLiteral("/tmp/x"));
        QCOMPARE(Settings::read(Settings::Key::Text2), QStringLiteral("/tmp/x"));
        Form1 restarted(&dialogs);
        QCOMPARE(control<QLineEdit>(restarted, "Text2")->text(), QStringLiteral("/tmp/x"));
    }

    void keysOnTheListAndButtons_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("selected"); // the current row "b" is also selected
        QTest::addColumn<bool>("busy");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<int>("currentAfter"); // and selected, unless -1
        const int none = Qt::NoModifier;
        const int alt = Qt::AltModifier;
        const QStringList unchanged{"a", "b", "c"};
        QTest::newRow("Delete on the current row, not selected")
            << "ListView1" << int(Qt::Key_Delete) << none << false << false
            << QStringList{"a", "c"} << 1;
        QTest::newRow("Delete while busy") << "ListView1" << int(Qt::Key_Delete) << none << true
                                           << true << unchanged << -1;
        QTest::newRow("Alt+Up") << "ListView1" << int(Qt::Key_Up) << alt << true << false
                                << QStringList{"b", "a", "c"} << 0;
        QTest::newRow("Alt+Down on the current row, not selected")
            << "ListView1" << int(Qt::Key_Down) << int(Qt::AltModifier | Qt::KeypadModifier)
            << false << false << QStringList{"a", "c", "b"} << 2;
        QTest::newRow("Alt+Down while busy") << "ListView1" << int(Qt::Key_Down) << alt << true
                                             << true << unchanged << -1;
        QTest::newRow("Up alone moves the cursor only")
            << "ListView1" << int(Qt::Key_Up) << none << true << false << unchanged << 0;
        QTest::newRow("Enter presses a focused button")
            << "PushButton2" << int(Qt::Key_Return) << none << true << false << QStringList{} << -1;
        QTest::newRow("Space presses a focused button")
            << "PushButton2" << int(Qt::Key_Space) << none << true << false << QStringList{} << -1;
        QTest::newRow("Ctrl+Enter presses nothing") << "PushButton2" << int(Qt::Key_Enter)
                                                    << int(Qt::ControlModifier) << true << false
                                                    << unchanged << -1;
    }

    void keysOnTheListAndButtons()
    {
        QFETCH(QString, target);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(bool, selected);
        QFETCH(bool, busy);
        QFETCH(QStringList, after);
        QFETCH(int, currentAfter);
        FakeDialogs dialogs;
        Form1 form(&dialogs);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.fileList().appendEntries({"a", "b", "c"});
        auto *list = control<FileListView>(form, "ListView1");
        list->selectionModel()->setCurrentIndex(list->model()->index(1, 0),
                                                selected ? QItemSelectionModel::ClearAndSelect
                                                         : QItemSelectionModel::NoUpdate);
        if (busy)
            form.setMousePointer(Pointer::Hourglass);
        QWidget *widget = control<QWidget>(form, target.toLatin1().constData());
        widget->setFocus();
        QTest::keyClick(widget, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(entries(form), after);
        if (currentAfter >= 0) {
            QCOMPARE(list->currentIndex().row(), currentAfter);
            QVERIFY(list->selectionModel()->isSelected(list->currentIndex()));
        }
        QVERIFY(dialogs.shown.isEmpty());
    }

    void addFilesAppendsInTheDialogsOrder()
    {
        FakeDialogs dialogs;
        dialogs.openAnswers = {{"/p/b.jpg", "/p/a.jpg", "/p/c.txt"}, {}, {"/p/b.jpg"}};
        Form1 form(&dialogs);
        auto *add = control<QPushButton>(form, "PushButton1");
        add->click();
        add->click(); // cancelled
        add->click();
        QCOMPARE(entries(form), QStringList({"/p/b.jpg", "/p/a.jpg", "/p/c.txt", "/p/b.jpg"}));
        const auto asked = dialogs.ofKind(QStringLiteral("open"));
        QCOMPARE(asked.size(), 3);
        QCOMPARE(asked.first().caption,
                 QStringLiteral("Add File(s) - Hold Ctrl or Shift to select multiple files"));
        QCOMPARE(asked.first().text,
                 QStringLiteral("All JPG (*.jpg;*.jpeg)|*.jpg;*.jpeg|All Files (*.*)|*.*"));
    }

    void fileDialogFilterMatches_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("jpg");
        QTest::newRow("jpg") << "IMG_1.JPG" << true;
        QTest::newRow("jpeg") << "b.jpeg" << true;
        QTest::newRow("other type") << "notes.txt" << false;
        QTest::newRow("no dot") << "README" << false;
    }

    void fileDialogFilterMatches()
    {
        QFETCH(QString, name);
        QFETCH(bool, jpg);
        // Qt takes the patterns between the brackets of each filter.
        const QStringList filters = QtDialogs::qtFilter(QString::fromLatin1(AddFilesFilter)).split(";;");
        QCOMPARE(filters.size(), 2);
        auto patterns = [](const QString &filter) {
            return filter.section('(', 1).chopped(1).split(' ');
        };
        QCOMPARE(QDir::match(patterns(filters.at(0)), name), jpg);
        QVERIFY(QDir::match(patterns(filters.at(1)), name)); // "All Files" lets every file through
    }

    void messagesArePlainText_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("message") << "message";
        QTest::newRow("report") << "warning";
        QTest::newRow("question") << "question";
    }

    void messagesArePlainText()
    {
        QFETCH(QString, kind);
        QWidget owner;
        QtDialogs dialogs(&owner);
        const QString text = errorReportText(QStringLiteral("Cannot read <b>x</b>.jpg"),
                                             QString::fromLatin1(Location::AddFolder), 140);
        Qt::TextFormat format = Qt::AutoText;
        QString shown;
        QTimer::singleShot(0, &owner, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                format = box->findChild<QLabel *>("qt_msgbox_label")->textFormat();
                shown = box->text();
                box->done(0);
            }
        });
        if (kind == "message")
            dialogs.message(text);
        else if (kind == "warning")
            dialogs.warning(QString::fromLatin1(ErrorReportCaption), text);
        else
            dialogs.question(text);
        QCOMPARE(format, Qt::PlainText);
        QCOMPARE(shown, text);
    }

    void detailsFollowTheNewestSelection()
    {
        FakeDialogs dialogs;
        Form1 form(&dialogs);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        // The thumbnail and its button fill the corner right of the value box.
        auto *thumbnail = control<PictureThumbnail>(form, "Thumbnail");
        auto *button = control<QPushButton>(form, "DetailsButton");
        const QRect frame = control<QGroupBox>(form, "Frame2")->rect();
        const QRect value = control<QPlainTextEdit>(form, "Text1")->geometry();
        for (const QWidget *added : {static_cast<QWidget *>(thumbnail), static_cast<QWidget *>(button)}) {
            QVERIFY(frame.contains(added->geometry()));
            QVERIFY(added->geometry().left() > value.right());
        }
        QCOMPARE(thumbnail->accessibleName(), QStringLiteral("Picture of the selected file"));

        QTemporaryDir dir;
        const QString slow = dir.filePath(QStringLiteral("slow.jpg"));
        const QString quick = dir.filePath(QStringLiteral("quick.jpg"));
        QVERIFY(makeJpeg(slow, 40, 20));
        QVERIFY(makeJpeg(quick, 30, 60));
        form.fileList().appendEntries({slow, quick});
        // The first read stalls, as on a share that stopped answering.
        QSemaphore stalled;
        PictureReader::setBeforeEachRead([&stalled](const QByteArray &path) {
            if (path.endsWith("slow.jpg"))
                stalled.acquire();
        });
        auto *list = control<FileListView>(form, "ListView1");
        list->setCurrentIndex(list->model()->index(0, 0));
        QTest::keyClick(&form, Qt::Key_I, Qt::ControlModifier);
        auto *details = form.findChild<PictureDetailsWindow *>(QStringLiteral("PictureDetails"));
        QVERIFY(details && details->isVisible());
        auto *name = details->findChild<QLabel *>(QStringLiteral("DetailsName"));
        QCOMPARE(name->text(), QStringLiteral("slow.jpg"));

        // Chosen while the first read still stalls: the newest is shown.
        QElapsedTimer clock;
        clock.start();
        list->setCurrentIndex(list->model()->index(1, 0));
        QTRY_COMPARE(thumbnail->picture().size(), QSize(30, 60));
        QVERIFY(clock.elapsed() < 5000);
        QCOMPARE(name->text(), QStringLiteral("quick.jpg"));
        QTRY_COMPARE(details->findChild<QLabel *>(QStringLiteral("DetailsDimensions"))->text(),
                     QStringLiteral("30 × 60 pixels"));
        stalled.release();
        QTest::qWait(100);
        QCOMPARE(thumbnail->picture().size(), QSize(30, 60));
        PictureReader::setBeforeEachRead({});

        // The chosen tag's row follows the selector and the value box.
        QTableWidget *table = details->table();
        QCOMPARE(table->accessibleName(), QStringLiteral("Tags of the picture"));
        control<QComboBox>(form, "Combo1")->setCurrentText(QStringLiteral("Artist"));
        QTest::keyClicks(control<QPlainTextEdit>(form, "Text1"), QStringLiteral("Ann"));
        QCOMPARE(table->item(9, 0)->text(), QStringLiteral("▸ Artist (chosen)"));
        QCOMPARE(table->item(9, 3)->text(), QStringLiteral("Ann"));
        QCOMPARE(table->item(0, 3)->text(), QString());
        QTRY_VERIFY(details->findChild<QLabel *>(QStringLiteral("DetailsSummary"))
                        ->text().startsWith(QStringLiteral("Artist: 0 of 2 pictures")));

        QTest::keyClick(details, Qt::Key_Escape);
        QTRY_VERIFY(!details || !details->isVisible());
        // The list's context menu offers the same.
        QVERIFY(list->contextMenuPolicy() == Qt::ActionsContextMenu);
        QCOMPARE(list->actions().value(0)->text(), QStringLiteral("Show Details"));
    }
};

OSTRELL_UI_TEST_MAIN(Form1Test)
#include "tst_ui_form1.moc"
