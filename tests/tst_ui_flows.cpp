#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>


#include "app/shared/settings.h"
#include "platform/filenames.h"
#include "app/window/form1.h"
#include "filelist/filelistmodel.h"
#include "filelist/scanqueue.h"
#include "filelist/window/filelistview.h"
#include "formsupport.h"
#include "testsupport.h"

// What a user does in the window, from the buttons to the files on disk.
class FlowsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString &relative) const { return m_dir.filePath(relative); }
    // As the dialogs and the list give paths: with native separators.
    QString native(const QString &relative) const { return nativePath(path(relative)); }

private slots:
    void threePhotosGetTheArtist()
    {
        QDir().mkpath(path("photos"));
        QDir().mkpath(path("out"));
        const QStringList photos{native("photos/a.jpg"), native("photos/b c.jpg"), native("photos/é.jpg")};
        QList<QByteArray> before;
        for (const QString &photo : photos) {
            QVERIFY(makeJpeg(photo));
            before.append(fileBytes(photo));
        }
        FakeDialogs dialogs;
        dialogs.openAnswers = {photos};
        dialogs.openFolderAtEnd = true;
        Form1 form(&dialogs);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto *tag = control<QComboBox>(form, "Combo1");
        auto *value = control<QPlainTextEdit>(form, "Text1");
        auto *folder = control<QLineEdit>(form, "Text2");
        auto *start = control<QPushButton>(form, "PushButton3");
        auto *list = control<FileListView>(form, "ListView1");
        control<QPushButton>(form, "PushButton1")->click();
        tag->setCurrentText(QStringLiteral("Artist"));
        value->setPlainText(QStringLiteral("Jane \"JD\" Doe\nStudio"));
        folder->setText(path("out"));
        QDir().mkpath(path("other"));

        QSignalSpy finished(&form.batchRun(), &BatchRun::runFinished);
        QSignalSpy titles(&form, &QWidget::windowTitleChanged);
        start->click();
        QCOMPARE(start->text(), QStringLiteral("Stop"));
        QCOMPARE(form.windowTitle(), QStringLiteral("Ostrell \u2013 0 of 3"));
        QVERIFY(!control<QPushButton>(form, "PushButton6")->isEnabled());
        // Typing, choosing and dragging change nothing while the run works.
        value->setFocus();
        QTest::keyClicks(value, QStringLiteral("typed"));
        folder->setFocus();
        QTest::keyClicks(folder, QStringLiteral("/typed"));
        tag->setFocus();
        QTest::keyClick(tag, Qt::Key_Down);
        QTest::keyClicks(tag, QStringLiteral("T"));
        auto centre = [&](int row) { return list->visualRect(form.fileList().index(row)).center(); };
        QTest::mousePress(list->viewport(), Qt::LeftButton, Qt::NoModifier, centre(0));
        QMouseEvent drag(QEvent::MouseMove, centre(2), list->viewport()->mapToGlobal(centre(2)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list->viewport(), &drag);
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, Qt::NoModifier, centre(2));
        QCOMPARE(value->toPlainText(), QStringLiteral("Jane \"JD\" Doe\nStudio"));
        QCOMPARE(folder->text(), path("out"));
        QCOMPARE(tag->currentText(), QStringLiteral("Artist"));
        QCOMPARE(entries(form), photos);
        // Nor do the list's removal commands.
        list->setCurrentIndex(form.fileList().index(0));
        control<QPushButton>(form, "PushButton2")->click();
        QCOMPARE(form.fileList().entryCount(), 3);
        // What other code changes meanwhile is not the run's either.
        value->setPlainText(QStringLiteral("CHANGED"));
        folder->setText(path("other"));
        tag->setCurrentText(QStringLiteral("Title"));
        form.fileList().swapTexts(0, 2);
        QTRY_COMPARE(form.mousePointer(), Pointer::Hourglass);
        QVERIFY(finished.wait(60000));

        for (int i = 0; i < photos.size(); ++i) {
            const QString result = path("out/") + QFileInfo(photos.at(i)).fileName();
            QCOMPARE(readTag(result, "Artist"), QStringLiteral("Jane \"JD\" Doe\r\nStudio"));
            QCOMPARE(readTag(result, "XPTitle"), QString());
            QCOMPARE(fileBytes(photos.at(i)), before.at(i));
        }
        QVERIFY(QDir(path("other")).isEmpty());
        QCOMPARE(dialogs.ofKind("message").size(), 1);
        QCOMPARE(dialogs.ofKind("message").first().text, QStringLiteral("Done."));
        QCOMPARE(dialogs.openedUrls, QList<QUrl>{QUrl::fromLocalFile(path("out"))});
        QCOMPARE(control<QProgressBar>(form, "ProgressBar1")->value(), 0);
        QCOMPARE(control<QProgressBar>(form, "ProgressBar1")->format(), QStringLiteral("Progress Bar"));
        QCOMPARE(form.mousePointer(), Pointer::Default);
        // Everything is back, the value box with its text.
        QCOMPARE(start->text(), QStringLiteral("Start Changing"));
        QVERIFY(titles.contains(QVariantList{QStringLiteral("Ostrell \u2013 3 of 3")}));
        QCOMPARE(form.windowTitle(), QStringLiteral("Ostrell"));
        QVERIFY(!value->isReadOnly() && !folder->isReadOnly());
        QCOMPARE(value->toPlainText(), QStringLiteral("CHANGED"));
        QVERIFY(control<QPushButton>(form, "PushButton6")->isEnabled());
        tag->setFocus();
        QTest::keyClick(tag, Qt::Key_Down);
        QCOMPARE(tag->currentIndex(), tag->findText(QStringLiteral("Title")) + 1);
        control<QPushButton>(form, "PushButton2")->click();
        QCOMPARE(form.fileList().entryCount(), 0);
    }

    void folderCommandHoldsTheHourglassUntilListed()
    {
        const QString tree = native("tree");
        for (const char *file : {"top.jpg", "~skip.jpg", ".hidden.jpg", "other.jpeg", "a/one.jpg",
                                 "a/deep/two.JPG", "b/three.jpg"}) {
            QDir().mkpath(QFileInfo(path("tree/") + file).absolutePath());
            QVERIFY(makeJpeg(path("tree/") + file));
        }
        FakeDialogs dialogs;
        dialogs.inputAnswers = {QStringLiteral("jpg")};
        dialogs.folderAnswers = {tree};
        Form1 form(&dialogs);
        QSignalSpy done(&form.scanQueue(), &ScanQueue::jobFinished);
        control<QPushButton>(form, "PushButton4")->click();
        QCOMPARE(form.mousePointer(), Pointer::Hourglass);
        QVERIFY(done.wait(30000));
        QCOMPARE(form.mousePointer(), Pointer::Default);
        const QStringList got = entries(form);
        QCOMPARE(got.size(), 4);
        QCOMPARE(got.first(), native("tree/top.jpg"));
        QCOMPARE(got.last(), native("tree/a/deep/two.JPG")); // the deepest level comes last
        QVERIFY(got.contains(native("tree/a/one.jpg")) && got.contains(native("tree/b/three.jpg")));
        QCOMPARE(Settings::read(Settings::Key::LastFolder), tree);
        QVERIFY(dialogs.ofKind("warning").isEmpty());
    }

    void dropsKeepTheirOrder()
    {
        for (const char *file : {"x.png", ".hidden.jpg", "~no.jpg", "sub/y.txt"}) {
            QDir().mkpath(QFileInfo(path("dropped/") + file).absolutePath());
            QVERIFY(makeJpeg(path("dropped/") + file));
        }
        QVERIFY(makeJpeg(path("single.jpg")));
        FakeDialogs dialogs;
        Form1 form(&dialogs);
        form.setMousePointer(Pointer::Hourglass); // a drop is carried out while busy
        QSignalSpy done(&form.scanQueue(), &ScanQueue::jobFinished);
        form.dropPaths({QFile::encodeName(native("single.jpg")), QFile::encodeName(native("dropped/")),
                        QFile::encodeName(native("notes.txt"))});
        QVERIFY(done.wait(30000));
        const QStringList got = entries(form);
        QCOMPARE(got.size(), 5);
        QCOMPARE(got.first(), native("single.jpg"));
        QVERIFY(got.mid(1, 2).contains(native("dropped/x.png")));
        QVERIFY(got.mid(1, 2).contains(native("dropped/.hidden.jpg")));
        QCOMPARE(got.at(3), native("dropped/sub/y.txt"));
        QCOMPARE(got.last(), native("notes.txt")); // a file is taken as dropped, unchecked
    }

    void dropsAreLocalFilesTakenAsCopies_data()
    {
        QTest::addColumn<bool>("files");
        QTest::addColumn<Qt::DropAction>("proposed");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("text") << false << Qt::CopyAction << false;
        QTest::newRow("local files") << true << Qt::CopyAction << true;
        // Shift-drag in a file manager: taken as a move, the manager would
        // delete the originals.
        QTest::newRow("move proposed") << true << Qt::MoveAction << true;
    }

    void dropsAreLocalFilesTakenAsCopies()
    {
        QFETCH(bool, files);
        QFETCH(Qt::DropAction, proposed);
        QFETCH(bool, accepted);
        // A Latin-1 name where names are bytes: its URL carries bytes that
        // are no UTF-8. Where names are UTF-16 text, an accented one.
        QUrl oddUrl = QUrl::fromLocalFile(path("café.jpg"));
        QByteArray oddPath = Platform::encodeName(native("café.jpg"));
        QString oddText = native("café.jpg");
        if (fileNamesAreBytes()) {
            oddPath = QFile::encodeName(m_dir.path()) + "/caf\xe9.jpg";
            oddUrl = QUrl::fromEncoded("file://" + oddPath.toPercentEncoding("/"));
            oddText = m_dir.path() + QStringLiteral("/caf\uFFFD.jpg");
            QVERIFY(makeFileNamedBytes(oddPath));
        } else {
            QVERIFY(makeJpeg(path("café.jpg")));
        }
        FakeDialogs dialogs;
        Form1 form(&dialogs);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto *list = control<FileListView>(form, "ListView1");
        QMimeData data;
        if (files)
            data.setUrls({oddUrl, QUrl::fromLocalFile(path("single.jpg"))});
        else
            data.setText(QStringLiteral("just words"));
        const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
        QDragEnterEvent enter(QPoint(20, 20), offered, &data, Qt::LeftButton, Qt::NoModifier);
        enter.setDropAction(proposed);
        QApplication::sendEvent(list->viewport(), &enter);
        QCOMPARE(enter.isAccepted(), accepted);
        if (!accepted)
            return;
        QCOMPARE(enter.dropAction(), Qt::CopyAction);

        QSignalSpy done(&form.scanQueue(), &ScanQueue::jobFinished);
        QDropEvent drop(QPointF(20, 20), offered, &data, Qt::LeftButton, Qt::NoModifier);
        drop.setDropAction(proposed);
        QApplication::sendEvent(list->viewport(), &drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(drop.dropAction(), Qt::CopyAction);
        QVERIFY(done.wait(30000));
        QCOMPARE(form.fileList().entryCount(), 2);
        QCOMPARE(form.fileList().entryPath(1), oddPath);
        QCOMPARE(form.fileList().entryText(1), oddText);
        QCOMPARE(form.fileList().entryPath(2), Platform::encodeName(native("single.jpg")));
    }

    void resultsFolderButtonAddsTheSeparator()
    {
        FakeDialogs dialogs;
        dialogs.folderAnswers = {native("out"), QString()};
        Settings::write(Settings::Key::LastFolder, path("tree"));
        Form1 form(&dialogs);
        auto *box = control<QLineEdit>(form, "Text2");
        control<QPushButton>(form, "PushButton6")->click();
        QCOMPARE(box->text(), native("out/"));
        QCOMPARE(Settings::read(Settings::Key::Text2), native("out/"));
        control<QPushButton>(form, "PushButton6")->click(); // cancelled: nothing changes
        QCOMPARE(box->text(), native("out/"));
        QCOMPARE(dialogs.folderStarts, QStringList({path("tree"), path("tree")}));
        QCOMPARE(Settings::read(Settings::Key::LastFolder), path("tree"));
    }

    void closingDuringARunAsksNothing()
    {
        QVERIFY(makeJpeg(path("close.jpg")));
        QDir().mkpath(path("closeout"));
        FakeDialogs dialogs;
        auto *form = new Form1(&dialogs);
        form->fileList().appendEntry(path("close.jpg"));
        control<QLineEdit>(*form, "Text2")->setText(path("closeout"));
        form->show();
        control<QPushButton>(*form, "PushButton3")->click();
        QVERIFY(form->batchRun().BatchBusy());
        QVERIFY(form->close());
        delete form;
        QVERIFY(dialogs.shown.isEmpty());
        // The file the run had not finished is not left behind.
        QVERIFY(!QFileInfo::exists(path("closeout/close.jpg")));
    }
};

OSTRELL_UI_TEST_MAIN(FlowsTest)
#include "tst_ui_flows.moc"
