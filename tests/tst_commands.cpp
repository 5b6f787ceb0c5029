#include <QDir>
#include <QFile>
#include <QTest>

#include "app/samplefiles.h"
#include "app/shared/errorreport.h"
#include "app/shared/settings.h"
#include "filelist/addfiles.h"
#include "filelist/addfolder.h"
#include "filelist/filelistmodel.h"
#include "testsupport.h"
#include "writer/command/resultsfolder.h"

// The questions the commands ask and what they remember of the answers.
class CommandsTest : public QObject {
    Q_OBJECT

    static void resetStore()
    {
        Settings::write(Settings::Key::Extension, QStringLiteral("jpg"));
        Settings::write(Settings::Key::LastFolder, QString());
    }

private slots:
    void extensionAnswers_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("default") << "jpg" << "*.jpg";
        QTest::newRow("all files") << "*" << "*.*";
        QTest::newRow("leading full stop kept as typed") << ".jpg" << "*..jpg";
        QTest::newRow("blank kept") << " png" << "*. png";
    }

    void extensionAnswers()
    {
        QFETCH(QString, answer);
        QFETCH(QString, pattern);
        resetStore();
        FakeDialogs dialogs;
        dialogs.inputAnswers = {answer};
        dialogs.folderAnswers = {QStringLiteral("/pictures")};
        ErrorGuard guard(dialogs, QString::fromLatin1(Location::AddFolder));
        const auto scan = askFolderToAdd(dialogs, guard);
        QVERIFY(scan);
        QCOMPARE(scan->pattern, pattern);
        QCOMPARE(scan->path, QStringLiteral("/pictures"));
        QCOMPARE(int(scan->kind), int(ScanItem::Kind::FolderCommand));
        QCOMPARE(Settings::read(Settings::Key::Extension), answer);
        QCOMPARE(Settings::read(Settings::Key::LastFolder), QStringLiteral("/pictures"));
        QCOMPARE(dialogs.inputInitials, QStringList{QStringLiteral("jpg")});
        QCOMPARE(dialogs.ofKind("input").first().text,
                 QStringLiteral("Enter file extension to load:\r\r(* for all files, txt for all txt "
                                "files, doc for all doc files, etc.)"));
        QVERIFY(dialogs.ofKind("warning").isEmpty());
    }

    void cancellingTheExtensionEndsTheCommand()
    {
        resetStore();
        Settings::write(Settings::Key::Extension, QStringLiteral("png"));
        FakeDialogs dialogs; // no answers: the input box is cancelled
        ErrorGuard guard(dialogs, QString::fromLatin1(Location::AddFolder));
        QVERIFY(!askFolderToAdd(dialogs, guard));
        QCOMPARE(Settings::read(Settings::Key::Extension), QStringLiteral("png"));
        QCOMPARE(dialogs.inputInitials, QStringList{QStringLiteral("png")});
        QVERIFY(dialogs.ofKind("folder").isEmpty());
    }

    void cancellingThePickerKeepsLastFolder()
    {
        resetStore();
        Settings::write(Settings::Key::LastFolder, QStringLiteral("/earlier"));
        FakeDialogs dialogs;
        dialogs.inputAnswers = {QStringLiteral("tif")};
        ErrorGuard guard(dialogs, QString::fromLatin1(Location::AddFolder));
        QVERIFY(!askFolderToAdd(dialogs, guard));
        QCOMPARE(dialogs.folderStarts, QStringList{QStringLiteral("/earlier")});
        QCOMPARE(dialogs.ofKind("folder").first().caption, QStringLiteral("Please select folder:"));
        QCOMPARE(Settings::read(Settings::Key::LastFolder), QStringLiteral("/earlier"));
        QCOMPARE(Settings::read(Settings::Key::Extension), QStringLiteral("tif"));
    }

    void resultsFolderChoice_data()
    {
        QTest::addColumn<QString>("picked");
        QTest::addColumn<QString>("box");
        QTest::newRow("folder gets a separator") << "/out" << "/out/";
        QTest::newRow("root keeps its one separator") << "/" << "/";
        QTest::newRow("cancel") << "" << "";
    }

    void resultsFolderChoice()
    {
        QFETCH(QString, picked);
        QFETCH(QString, box);
        resetStore();
        Settings::write(Settings::Key::LastFolder, QStringLiteral("/from/add/folder"));
        FakeDialogs dialogs;
        dialogs.folderAnswers = {nativePath(picked)};
        QCOMPARE(chooseResultsFolder(dialogs), nativePath(box));
        QCOMPARE(dialogs.folderStarts, QStringList{QStringLiteral("/from/add/folder")});
        QCOMPARE(Settings::read(Settings::Key::LastFolder), QStringLiteral("/from/add/folder"));
    }

    void filesFromTheDialog()
    {
        FakeDialogs dialogs;
        // From a root as this system writes it ("/" here, "C:\\" on Windows).
        const QString root = nativePath(QDir::rootPath());
        dialogs.openAnswers = {{root + nativePath("/one//a.jpg")},
                               {root + nativePath("two//a.jpg"), root + nativePath("two//b.JPEG")}};
        QCOMPARE(chooseFilesToAdd(dialogs), QStringList{root + nativePath("/one//a.jpg")});
        QCOMPARE(chooseFilesToAdd(dialogs), QStringList({root + nativePath("two/a.jpg"), root + nativePath("two/b.JPEG")}));
        QVERIFY(chooseFilesToAdd(dialogs).isEmpty());
    }

    void sampleLoaderSkipsListedPaths()
    {
        QTemporaryDir program;
        const QString samples = nativePath(program.filePath(QStringLiteral("Samples")));
        QDir().mkpath(samples);
        for (const char *name : {"c.jpg", "Readme.txt", "a.jpg", ".hidden.txt", "b.jpg"})
            QVERIFY(makeJpeg(samples + QLatin1Char('/') + QLatin1String(name)));

        FileListModel list;
        list.appendEntry(samples + nativePath("/a.jpg"));
        list.appendEntry(samples.toUpper() + nativePath("/B.JPG")); // other case: not the same
        FakeDialogs dialogs;
        dialogs.questionAnswers = {false, true};
        LoadSampleFiles(list, dialogs, samples);
        // Every file, hidden ones and other types too, in name order whatever
        // order the folder lists them in.
        QStringList expected{samples + nativePath("/a.jpg"), samples.toUpper() + nativePath("/B.JPG")};
        for (const char *name : {".hidden.txt", "b.jpg", "c.jpg", "Readme.txt"})
            expected.append(samples + nativePath("/") + QLatin1String(name));
        QStringList got;
        for (int i = 1; i <= list.entryCount(); ++i)
            got.append(list.entryText(i));
        QCOMPARE(got, expected);
        QCOMPARE(dialogs.ofKind("question").size(), 1);
        QCOMPARE(dialogs.ofKind("question").first().text, QString::fromLatin1(OpenSamplesQuestion));
        QVERIFY(dialogs.openedUrls.isEmpty()); // answered No

        LoadSampleFiles(list, dialogs, samples); // adds none, asks again; Yes opens the folder
        QCOMPARE(list.entryCount(), expected.size());
        QCOMPARE(dialogs.ofKind("question").size(), 2);
        QCOMPARE(dialogs.openedUrls, QList<QUrl>{QUrl::fromLocalFile(samples)});
    }

    void missingSampleFolderStillAsks()
    {
        FileListModel list;
        FakeDialogs dialogs;
        dialogs.questionAnswers = {true};
        LoadSampleFiles(list, dialogs, QStringLiteral("/no/such/Samples"));
        QCOMPARE(list.entryCount(), 0);
        QCOMPARE(dialogs.ofKind("question").size(), 1);
        QCOMPARE(dialogs.openedUrls.size(), 1);
    }
};

OSTRELL_CORE_TEST_MAIN(CommandsTest)
#include "tst_commands.moc"
