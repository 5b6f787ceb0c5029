#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTimer>
#include <QGuiApplication>
#include <QtTest>
#include <cstdio>
#include <functional>
#include <unistd.h>

#include "app/shared/errorreport.h"
#include "testsupport.h"
#include "writer/command/batchrun.h"
#include "writer/verify/verifier.h"

namespace {

// The window as the run sees it, recording what the run does to it.
class FakeHost : public BatchHost {
public:
    int entryCount() const override { return entries.size(); }
    QString entryText(int position) const override { return entries.at(position - 1); }
    QByteArray entryPath(int position) const override
    {
        return paths.value(position - 1, QFile::encodeName(entryText(position)));
    }
    QString tagLabel() const override { return label; }
    QString tagValue() const override
    {
        if (failValueReads > 0) {
            --failValueReads;
            throw Failure(QStringLiteral("Value box is gone"));
        }
        return value;
    }
    QString resultsFolder() const override { return folder; }
    void setBusyPointer(bool busy) override { pointer.append(busy); }
    void setBarValue(int v) override
    {
        barValues.append(v);
        current = v;
    }
    int barValue() const override { return current; }
    void setBarText(const QString &text) override
    {
        barTexts.append(text);
        currentText = text;
        if (onText)
            onText(text);
    }
    QString barText() const override { return currentText; }
    void setRunning(bool on) override { running.append(on); }
    void setRunProgress(int done, int total) override { progress.append({done, total}); }
    void focusValue() override { ++focused; }

    // Consecutive repeats (the wait puts the caption back) count once.
    QStringList distinctTexts() const
    {
        QStringList result;
        for (const QString &text : barTexts)
            if (result.isEmpty() || result.last() != text)
                result.append(text);
        return result;
    }

    QStringList entries;
    QList<QByteArray> paths; // where a name's bytes are not its text
    QString label = QStringLiteral("Artist");
    QString value = QStringLiteral("Summer 2021");
    QString folder;
    mutable int failValueReads = 0;

    QList<bool> pointer;
    QList<int> barValues;
    QStringList barTexts;
    int current = 37;
    QString currentText = QStringLiteral("Progress Bar");
    std::function<void(const QString &)> onText;
    QList<bool> running;
    QList<QPair<int, int>> progress;
    int focused = 0;
};

// Stands in for ExifTool: speaks enough of its -stay_open protocol, writes the
// source's path into the output file, then answers after a pause (or dies).
// A source whose path holds "slow" takes longer, one that holds "hang" never
// gets an answer in time.
QString writeStandIn(const QString &folder, const QString &pause, bool dies = false,
                     const QByteArray &warning = QByteArray(), bool copiesSource = false)
{
    const QString path = folder + QStringLiteral("/standin.sh");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    const QByteArray answer = dies
        ? QByteArray("exit 3")
        : "printf '    1 image files created\\n{status=0}\\n{ready%s}\\n' \"$n\"; "
          "printf '" + warning + "{end%s}\\n' \"$n\" >&2";
    file.write("#!/bin/sh\n"
               "out=''; next=''; src=''\n"
               "while IFS= read -r line; do\n"
               "  case \"$line\" in\n"
               "    '#[CSTR]-o') next=out ;;\n"
               "    -execute*) n=${line#-execute}\n"
               "      case \"$src\" in *hang*) sleep 30 ;; *slow*) sleep 0.6 ;; esac\n"
               + QByteArray(copiesSource ? "      cp \"$src\" \"$out\"; sleep "
                                         : "      [ -n \"$out\" ] && printf '%s' \"$src\" > \"$out\"; sleep ")
               + pause.toUtf8() + "; " + answer + "; out=''; src='' ;;\n"
               "    False) exit 0 ;;\n"
               "    '#[CSTR]-'*|-*|'{'*) ;;\n"
               "    *) if [ \"$next\" = out ]; then out=${line#'#[CSTR]'}; next='';\n"
               "       else src=${line#'#[CSTR]'}; fi ;;\n"
               "  esac\n"
               "done\n");
    file.close();
    file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
    return path;
}

} // namespace

class TestBatchRun : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void emptyListShowsMessageOnly();
    void refusedBeforeAnyFile_data();
    void refusedBeforeAnyFile();

    void fourFilesWritten();
    void secondClickDuringRunIsIgnored();
    void inputsAreFixedAtStart_data();
    void inputsAreFixedAtStart();
    void noTagSelectedCopiesFiles();
    void copyWithoutTheValueIsRefused();
    void secondRunFinishesTheRest();
    void nameThatIsNotUtf8KeepsItsBytes();
    void existingOutputIsLeftAlone();
    void failureInStepIsReportedAndRunGoesOn();

    void warningsAboutOtherTagsDoNotCount_data();
    void warningsAboutOtherTagsDoNotCount();
    void waitingTextWhileToolWorks();
    void lostToolFailsFilesAndRunEnds_data();
    void lostToolFailsFilesAndRunEnds();
    void abandonLeavesNoResultFile();
    void stopLetsFilesInFlightFinish();
    void stopQuestionClosesWhenTheRunEnds();
    void firstListedOfOneNameWins();
    void onlyRegularFilesReachTheTool_data();
    void onlyRegularFilesReachTheTool();

private:
    QStringList makeSources(const QStringList &names);
    bool runToEnd(BatchRun &run, int timeoutMs = 60000);
    // The bar went through the four files in list order, then back to idle.
    bool barFollowed(const QStringList &names) const
    {
        QStringList texts;
        for (const QString &name : names)
            texts.append(QStringLiteral("Processing: ") + name);
        texts.append(QStringLiteral("Progress Bar"));
        return m_host.barValues == QList<int>{25, 50, 75, 100, 0} && m_host.distinctTexts() == texts;
    }
    QStringList outputNames() const { return QDir(m_out).entryList(QDir::Files | QDir::Hidden); }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_src;
    QString m_out;
    FakeHost m_host;
    FakeDialogs m_dialogs;
    QList<BatchReport> m_reports;
};

void TestBatchRun::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_src = m_dir->filePath(QStringLiteral("photos"));
    // ExifTool would read "%d" in an output path as a name code.
    m_out = m_dir->filePath(QStringLiteral("results 100%d"));
    QVERIFY(QDir().mkpath(m_src));
    QVERIFY(QDir().mkpath(m_out));
    m_host = FakeHost();
    m_host.folder = m_out + QLatin1Char('/');
    m_dialogs = FakeDialogs();
    m_reports.clear();
}

void TestBatchRun::cleanup()
{
    m_dir.reset();
}

QStringList TestBatchRun::makeSources(const QStringList &names)
{
    QStringList paths;
    for (const QString &name : names) {
        const QString path = m_src + QLatin1Char('/') + name;
        if (!makeJpeg(path))
            qWarning() << "cannot make" << path;
        paths.append(path);
    }
    return paths;
}

bool TestBatchRun::runToEnd(BatchRun &run, int timeoutMs)
{
    QObject::connect(&run, &BatchRun::runFinished, &run,
                     [this](const BatchReport &report) { m_reports.append(report); });
    const int before = m_reports.size();
    run.PushButton3_Click();
    return QTest::qWaitFor([&] { return m_reports.size() > before; }, timeoutMs);
}

void TestBatchRun::emptyListShowsMessageOnly()
{
    BatchRun run(m_host, m_dialogs);
    run.PushButton3_Click();
    QCOMPARE(m_dialogs.shown.size(), 1);
    QCOMPARE(m_dialogs.shown.first().text, QStringLiteral("No files added."));
    QVERIFY(m_host.pointer.isEmpty());
    QVERIFY(m_host.barValues.isEmpty());
    QVERIFY(m_host.barTexts.isEmpty());
    QVERIFY(!run.BatchBusy());
}

// Each problem known before the run: one message, no file tried, the window
// as it was (and the value box focused again after a refused value).
void TestBatchRun::refusedBeforeAnyFile_data()
{
    QTest::addColumn<QString>("folder"); // relative to the test's folder; "" the results folder
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("toolMissing");
    QTest::addColumn<QStringList>("says");
    QTest::addColumn<bool>("refocused");
    const QString folderMissing = QStringLiteral("Folder does not exist. Please select another folder.");
    QTest::newRow("folder: empty text") << "<empty>" << "Artist" << "x" << false
                                        << QStringList{folderMissing} << false;
    QTest::newRow("folder: names a file") << "photos/a.jpg" << "Artist" << "x" << false
                                          << QStringList{folderMissing} << false;
    QTest::newRow("folder: does not exist") << "nowhere" << "Artist" << "x" << false
                                            << QStringList{folderMissing} << false;
    QTest::newRow("folder: cannot create files in it")
        << "<locked>" << "Artist" << "x" << false
        << QStringList{"Files cannot be created in the folder \"<locked>\". Please select another folder."}
        << false;
    QTest::newRow("tool missing") << "" << "Artist" << "x" << true
                                  << QStringList{"ExifTool was not found.", "install"} << false;
    QTest::newRow("date not understood")
        << "" << "Date and Time (original)" << "yesterday" << false
        << QStringList{"YYYY:MM:DD HH:MM:SS", "yesterday"} << true;
    QTest::newRow("emoji in Title") << "" << "Title" << "party \U0001F389 time" << false
                                    << QStringList{"\"Title\"", "\"\U0001F389\" (U+1F389)"} << true;
    QTest::newRow("beyond U+FFFF in Keywords")
        << "" << "Keywords" << "clef \U0001D11E, \U0001F600" << false
        << QStringList{"\"Keywords\"", "\"\U0001D11E\" (U+1D11E)"} << true;
}

void TestBatchRun::refusedBeforeAnyFile()
{
    QFETCH(QString, folder);
    QFETCH(QString, label);
    QFETCH(QString, value);
    QFETCH(bool, toolMissing);
    QFETCH(QStringList, says);
    QFETCH(bool, refocused);

    m_host.entries = makeSources({QStringLiteral("a.jpg"), QStringLiteral("b.jpg")});
    m_host.label = label;
    m_host.value = value;
    QString locked;
    if (folder == QLatin1String("<locked>")) {
        // Root may write anywhere the permissions forbid; not in a process's /proc folder.
        locked = m_dir->filePath(QStringLiteral("locked"));
        QVERIFY(QDir().mkpath(locked));
        QVERIFY(QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        if (::geteuid() == 0)
            locked = QStringLiteral("/proc/1");
        m_host.folder = locked;
        for (QString &text : says)
            text.replace(QLatin1String("<locked>"), locked);
    } else if (folder == QLatin1String("<empty>")) {
        m_host.folder.clear();
    } else if (!folder.isEmpty()) {
        m_host.folder = m_dir->filePath(folder);
    }
    // A tool that would leave a mark if it were ever started.
    const QString marker = m_dir->filePath(QStringLiteral("started"));
    const QString tool = m_dir->filePath(QStringLiteral("marking-tool"));
    QFile script(tool);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\ntouch '" + QFile::encodeName(marker) + "'\nexit 1\n");
    script.close();
    QVERIFY(script.setPermissions(script.permissions() | QFileDevice::ExeOwner));

    BatchRun run(m_host, m_dialogs);
    run.setToolProgram(toolMissing ? QStringLiteral("ostrell-no-such-exiftool") : tool);
    run.PushButton3_Click();
    QTRY_VERIFY(!run.BatchBusy());
    QCOMPARE(m_dialogs.shown.size(), 1);
    const QString text = m_dialogs.shown.first().text;
    for (const QString &part : says)
        QVERIFY2(text.contains(part), qPrintable(text));
    QCOMPARE(m_host.focused, refocused ? 1 : 0);
    QVERIFY(m_host.pointer.isEmpty());
    QVERIFY(m_host.barValues.isEmpty() && m_host.barTexts.isEmpty());
    QVERIFY(m_host.running.isEmpty() || !m_host.running.last());
    QTest::qWait(100);
    QVERIFY(!QFile::exists(marker));
    QVERIFY(outputNames().isEmpty());
    if (!locked.isEmpty())
        QFile::setPermissions(m_dir->filePath(QStringLiteral("locked")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void TestBatchRun::fourFilesWritten()
{
    const QStringList names{"a.jpg", "b b.jpg", "c\"q\".jpg", "d$1.jpg"};
    m_host.entries = makeSources(names);
    QList<QByteArray> before;
    for (const QString &source : m_host.entries)
        before.append(fileBytes(source));

    BatchRun run(m_host, m_dialogs);
    run.setWorkerCount(2);
    QVERIFY(runToEnd(run));

    QVERIFY(barFollowed(names));
    QVERIFY(m_host.pointer.first());
    QVERIFY(!m_host.pointer.last());
    QCOMPARE(m_dialogs.shown.size(), 1);
    QCOMPARE(m_dialogs.shown.first().text, QStringLiteral("Done."));
    QVERIFY(m_dialogs.shown.first().details.isEmpty());
    QCOMPARE(m_dialogs.shown.first().folder, QUrl::fromLocalFile(m_out));
    QVERIFY(!run.BatchBusy());
    QCOMPARE(m_host.running, (QList<bool>{true, false}));
    QCOMPARE(m_host.progress.first(), qMakePair(0, 4));
    QCOMPARE(m_host.progress.last(), qMakePair(4, 4));
    QCOMPARE(m_host.progress.size(), 5);

    QCOMPARE(m_reports.last().total, 4);
    QVERIFY(m_reports.last().failures().isEmpty());
    for (int i = 0; i < names.size(); ++i) {
        QCOMPARE(readTag(m_out + QLatin1Char('/') + names.at(i), QStringLiteral("Artist")),
                 QStringLiteral("Summer 2021"));
        QCOMPARE(fileBytes(m_host.entries.at(i)), before.at(i));
    }
}

void TestBatchRun::secondClickDuringRunIsIgnored()
{
    m_host.entries = makeSources({QStringLiteral("a.jpg"), QStringLiteral("b.jpg")});
    BatchRun run(m_host, m_dialogs);
    int clicks = 0;
    m_host.onText = [&](const QString &text) {
        if (text.startsWith(QLatin1String("Processing: ")) && clicks++ == 0) {
            QVERIFY(run.BatchBusy());
            run.PushButton3_Click();
        }
    };
    QVERIFY(runToEnd(run));
    QTest::qWait(200); // a second run would have started by now
    QCOMPARE(m_reports.size(), 1);
    QCOMPARE(m_dialogs.shown.size(), 1);
    QCOMPARE(m_host.barValues, (QList<int>{50, 100, 0}));
    QCOMPARE(outputNames(), (QStringList{"a.jpg", "b.jpg"}));
}

// Whatever changes in the window once the run has started, every file gets
// the tag and value it had at Start, in the folder it had, in the list's order then.
void TestBatchRun::inputsAreFixedAtStart_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("value") << "value";
    QTest::newRow("tag") << "tag";
    QTest::newRow("results folder") << "folder";
    QTest::newRow("list re-ordered") << "reorder";
    QTest::newRow("list grown") << "grow";
    QTest::newRow("list shrunk") << "shrink";
    QTest::newRow("list cleared") << "clear";
}

void TestBatchRun::inputsAreFixedAtStart()
{
    QFETCH(QString, change);
    const QStringList names{"a.jpg", "b.jpg", "c.jpg", "d.jpg"};
    m_host.entries = makeSources(names);
    const QStringList added = makeSources({"e.jpg", "f.jpg"});
    const QString other = m_dir->filePath(QStringLiteral("other"));
    QVERIFY(QDir().mkpath(other));
    BatchRun run(m_host, m_dialogs);
    run.setWorkerCount(1);
    m_host.onText = [&](const QString &text) {
        if (text != QLatin1String("Processing: a.jpg"))
            return;
        if (change == QLatin1String("value"))
            m_host.value = QStringLiteral("CH");
        else if (change == QLatin1String("tag"))
            m_host.label = QStringLiteral("Title");
        else if (change == QLatin1String("folder"))
            m_host.folder = other;
        else if (change == QLatin1String("reorder"))
            std::reverse(m_host.entries.begin(), m_host.entries.end());
        else if (change == QLatin1String("grow"))
            m_host.entries += added;
        else if (change == QLatin1String("shrink"))
            m_host.entries = m_host.entries.mid(0, 2);
        else
            m_host.entries.clear();
    };
    QVERIFY(runToEnd(run));
    QCOMPARE(m_dialogs.shown.last().text, QStringLiteral("Done."));
    QVERIFY(barFollowed(names));
    QCOMPARE(m_reports.last().total, 4);
    QCOMPARE(outputNames(), names);
    QVERIFY(QDir(other).isEmpty());
    for (const QString &name : names) {
        const QString copy = m_out + QLatin1Char('/') + name;
        QCOMPARE(readTag(copy, QStringLiteral("Artist")), QStringLiteral("Summer 2021"));
        QCOMPARE(readTag(copy, QStringLiteral("XPTitle")), QString());
    }
}

void TestBatchRun::noTagSelectedCopiesFiles()
{
    m_host.entries = makeSources({"a.jpg"});
    m_host.label.clear();
    BatchRun run(m_host, m_dialogs);
    QVERIFY(runToEnd(run));
    QCOMPARE(m_dialogs.shown.last().text, QStringLiteral("Done."));
    QCOMPARE(outputNames(), QStringList{"a.jpg"});
    QCOMPARE(readTag(m_out + QStringLiteral("/a.jpg"), QStringLiteral("Artist")), QString());
}

// A copy that does not read back as typed is not published.
void TestBatchRun::copyWithoutTheValueIsRefused()
{
    m_host.entries = makeSources({"a.jpg"});
    BatchRun run(m_host, m_dialogs);
    run.setToolProgram(writeStandIn(m_dir->path(), QStringLiteral("0"), false, QByteArray(), true));
    QVERIFY(runToEnd(run));
    QCOMPARE(m_dialogs.shown.last().text, QStringLiteral("Done. 1 of 1 file could not be written."));
    const QString reason = m_reports.last().failures().first().reason;
    QVERIFY2(reason.contains(QLatin1String("Artist")), qPrintable(reason));
    QVERIFY(outputNames().isEmpty());
}

// Run again into the same folder: copies already there are kept untouched,
// only the missing one is written, and the run ends in plain "Done.".
void TestBatchRun::secondRunFinishesTheRest()
{
    m_host.entries = makeSources({"a.jpg", "b.jpg", "c.jpg"});
    {
        BatchRun run(m_host, m_dialogs);
        QVERIFY(runToEnd(run));
    }
    QCOMPARE(m_dialogs.shown.last().text, QStringLiteral("Done."));
    QVERIFY(QFile::remove(m_out + QStringLiteral("/b.jpg")));
    const QFileInfo kept(m_out + QStringLiteral("/a.jpg"));
    const QDateTime keptTime = kept.lastModified();
    QTest::qWait(1100); // a rewrite would show in the time

    BatchRun again(m_host, m_dialogs);
    QVERIFY(runToEnd(again));
    QCOMPARE(m_dialogs.shown.last().text, QStringLiteral("Done."));
    QCOMPARE(QFileInfo(m_out + QStringLiteral("/a.jpg")).lastModified(), keptTime);
    QCOMPARE(outputNames(), (QStringList{"a.jpg", "b.jpg", "c.jpg"}));
    QCOMPARE(readTag(m_out + QStringLiteral("/b.jpg"), QStringLiteral("Artist")),
             QStringLiteral("Summer 2021"));
    QList<FileOutcome::Kind> kinds;
    for (const FileOutcome &outcome : m_reports.last().outcomes)
        kinds.append(outcome.kind);
    QCOMPARE(kinds, (QList<FileOutcome::Kind>{FileOutcome::Kind::AlreadyThere, FileOutcome::Kind::Written,
                                              FileOutcome::Kind::AlreadyThere}));
}

void TestBatchRun::existingOutputIsLeftAlone()
{
    m_host.entries = makeSources({"a.jpg", "b.jpg"});
    const QString existing = m_out + QStringLiteral("/b.jpg");
    QVERIFY(makeJpeg(existing, 8, 8, 0xff0000));
    const QByteArray existingBytes = fileBytes(existing);
    m_host.value = QStringLiteral("x");

    BatchRun run(m_host, m_dialogs);
    QVERIFY(runToEnd(run));

    QCOMPARE(m_dialogs.shown.last().text, QStringLiteral("Done. 1 of 2 files could not be written."));
    const BatchReport report = m_reports.last();
    QCOMPARE(report.failures().size(), 1);
    QCOMPARE(report.failures().first().source, m_host.entries.at(1));
    QVERIFY2(report.failures().first().reason.contains(QLatin1String("A file named b.jpg is already in the results folder")),
             qPrintable(report.failures().first().reason));
    QCOMPARE(fileBytes(existing), existingBytes);
    QCOMPARE(readTag(m_out + QStringLiteral("/a.jpg"), QStringLiteral("Artist")), QStringLiteral("x"));
}

void TestBatchRun::failureInStepIsReportedAndRunGoesOn()
{
    m_host.entries = makeSources({"a.jpg", "b.jpg"});
    bool failed = false;
    m_host.onText = [&](const QString &text) {
        if (text == QLatin1String("Processing: a.jpg") && !failed) {
            failed = true;
            throw Failure(QStringLiteral("Bar is gone"));
        }
    };
    BatchRun run(m_host, m_dialogs);
    QVERIFY(runToEnd(run));
    const QList<FakeDialogs::Shown> reports = m_dialogs.ofKind(QStringLiteral("warning"));
    QCOMPARE(reports.size(), 1);
    QCOMPARE(reports.first().caption, QStringLiteral("Application Error"));
    QVERIFY(reports.first().text.startsWith(QLatin1String("Bar is gone\r\n")));
    QVERIFY(reports.first().text.contains(QLatin1String(Location::StartChanging)));
    QCOMPARE(m_dialogs.shown.last().text, QStringLiteral("Done."));
    for (const QString &name : {QStringLiteral("/a.jpg"), QStringLiteral("/b.jpg")})
        QCOMPARE(readTag(m_out + name, QStringLiteral("Artist")), QStringLiteral("Summer 2021"));

    // The value cannot be read at Start: reported, and no file is tried
    // with a value nobody typed.
    m_dialogs.clear();
    m_host.onText = nullptr;
    m_host.failValueReads = 1;
    m_host.entries = makeSources({"c.jpg"});
    run.PushButton3_Click();
    QVERIFY(!run.BatchBusy());
    QCOMPARE(m_dialogs.shown.size(), 1);
    QVERIFY(m_dialogs.shown.first().text.startsWith(QLatin1String("Value box is gone\r\n")));
    QTest::qWait(100);
    QVERIFY(!outputNames().contains(QStringLiteral("c.jpg")));
}

void TestBatchRun::warningsAboutOtherTagsDoNotCount_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QByteArray>("warning");
    QTest::addColumn<bool>("written");
    const QByteArray makerNotes("Warning: [minor] Maker notes could not be parsed - x.jpg\\n");
    QTest::newRow("maker notes, tag Make") << "Equipment Make" << makerNotes << true;
    QTest::newRow("maker notes, tag Artist") << "Artist" << makerNotes << true;
    QTest::newRow("about the tag")
        << "Equipment Make" << QByteArray("Warning: Not written IFD0:Make - x.jpg\\n") << false;
    QTest::newRow("about the tag, other case")
        << "Date and Time Taken" << QByteArray("Warning: bad modifydate - x.jpg\\n") << false;
}

void TestBatchRun::warningsAboutOtherTagsDoNotCount()
{
    QFETCH(QString, label);
    QFETCH(QByteArray, warning);
    QFETCH(bool, written);

    m_host.entries = makeSources({"a.jpg"});
    m_host.label = label;
    m_host.value = QStringLiteral("2021:08:31 12:00:00");
    BatchRun run(m_host, m_dialogs);
    run.setToolProgram(writeStandIn(m_dir->path(), QStringLiteral("0"), false, warning));
    run.setVerifier({}); // the stand-in writes no picture
    QVERIFY(runToEnd(run));
    QCOMPARE(m_reports.last().failures().isEmpty(), written);
    QCOMPARE(outputNames().size(), written ? 1 : 0);
}

void TestBatchRun::waitingTextWhileToolWorks()
{
    m_host.entries = makeSources({"IMG_0001.jpg"});
    BatchRun run(m_host, m_dialogs);
    run.setToolProgram(writeStandIn(m_dir->path(), QStringLiteral("1.5")));
    run.setVerifier({}); // the stand-in writes no picture
    run.setTickInterval(5);
    QVERIFY(runToEnd(run));

    const QString caption = QStringLiteral("Processing: IMG_0001.jpg");
    const QStringList texts = m_host.distinctTexts();
    QVERIFY2(texts.size() > 4, qPrintable(texts.join('|')));
    QCOMPARE(texts.at(0), caption);
    QCOMPARE(texts.at(1), caption + QStringLiteral(", Please wait.. 0"));
    QCOMPARE(texts.at(2), caption + QStringLiteral(", Please wait.. 1"));
    QCOMPARE(texts.at(texts.size() - 2), caption);
    QCOMPARE(texts.last(), QStringLiteral("Progress Bar"));
    // The file's own share, then the creeping value from poll 50 on.
    QCOMPARE(m_host.barValues.mid(0, 2), (QList<int>{100, 100}));
    QCOMPARE(m_host.barValues.last(), 0);
    QCOMPARE(m_dialogs.shown.last().text, QStringLiteral("Done."));
}

void TestBatchRun::lostToolFailsFilesAndRunEnds_data()
{
    QTest::addColumn<bool>("endsAtOnce");
    QTest::addColumn<QString>("reason");
    QTest::newRow("dies on each file") << false << "ExifTool ended";
    // Restarting such a tool for ever would hang the run.
    QTest::newRow("ends as soon as it starts") << true << "ExifTool";
}

void TestBatchRun::lostToolFailsFilesAndRunEnds()
{
    QFETCH(bool, endsAtOnce);
    QFETCH(QString, reason);
    m_host.entries = makeSources({"a.jpg", "b.jpg"});
    BatchRun run(m_host, m_dialogs);
    QString tool = writeStandIn(m_dir->path(), QStringLiteral("0.1"), true);
    if (endsAtOnce) {
        tool = m_dir->filePath(QStringLiteral("ends.sh"));
        QFile script(tool);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nexit 0\n");
        script.close();
        QVERIFY(script.setPermissions(script.permissions() | QFileDevice::ExeOwner));
    }
    run.setToolProgram(tool);
    run.setVerifier({}); // the stand-in writes no picture
    QVERIFY(runToEnd(run));
    QCOMPARE(m_dialogs.shown.last().text, QStringLiteral("Done. 2 of 2 files could not be written."));
    for (const FileOutcome &failure : m_reports.last().failures())
        QVERIFY2(failure.reason.contains(reason), qPrintable(failure.reason));
    // The stand-in had made its temporary output before it died: not a result.
    QVERIFY(outputNames().isEmpty());
    QVERIFY(!run.BatchBusy());
}

void TestBatchRun::abandonLeavesNoResultFile()
{
    m_host.entries = makeSources({"a.jpg", "b.jpg"});
    auto run = std::make_unique<BatchRun>(m_host, m_dialogs);
    run->setToolProgram(writeStandIn(m_dir->path(), QStringLiteral("5")));
    run->setVerifier({}); // the stand-in writes no picture
    run->PushButton3_Click();
    // The tool writes into the run's private folder only.
    const auto inRunFolder = [this] {
        const QStringList folders =
            QDir(m_out).entryList({QStringLiteral(".ostrell-run-*")}, QDir::Dirs | QDir::Hidden);
        return folders.size() == 1 ? QDir(m_out + '/' + folders.first()).entryList(QDir::Files).size() : 0;
    };
    QTRY_VERIFY_WITH_TIMEOUT(inRunFolder() >= 2, 10000);
    QVERIFY(outputNames().isEmpty());

    run->abandon();
    QVERIFY(!run->BatchBusy());
    run.reset();
    QVERIFY(QDir(m_out).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
    QVERIFY(m_dialogs.shown.isEmpty());
}

void TestBatchRun::stopLetsFilesInFlightFinish()
{
    m_host.entries = makeSources({"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg", "f.jpg"});
    m_dialogs.questionAnswers = {true};
    BatchRun run(m_host, m_dialogs);
    run.setToolProgram(writeStandIn(m_dir->path(), QStringLiteral("0.2")));
    run.setVerifier({}); // the stand-in writes no picture
    m_host.onText = [&](const QString &text) {
        if (text == QLatin1String("Processing: b.jpg"))
            run.requestStop();
    };
    QVERIFY(runToEnd(run));
    QCOMPARE(m_dialogs.ofKind(QStringLiteral("question")).first().text,
             QStringLiteral("Stop the run? Files already written are kept."));
    QCOMPARE(m_dialogs.shown.last().text, QStringLiteral("Stopped. 4 of 6 files could not be written."));
    QCOMPARE(outputNames(), (QStringList{"a.jpg", "b.jpg"}));
    QVERIFY(!run.BatchBusy());
}

// The run ends while the stop question is open: the question goes first,
// then the end message; nothing was stopped.
void TestBatchRun::stopQuestionClosesWhenTheRunEnds()
{
    m_host.entries = makeSources({"a.jpg", "b.jpg"});
    m_dialogs.holdQuestions = true;
    BatchRun run(m_host, m_dialogs);
    run.setToolProgram(writeStandIn(m_dir->path(), QStringLiteral("0.3")));
    run.setVerifier({}); // the stand-in writes no picture
    m_host.onText = [&](const QString &text) {
        if (text == QLatin1String("Processing: b.jpg"))
            QTimer::singleShot(0, &run, [&] { run.requestStop(); });
    };
    QVERIFY(runToEnd(run));
    QStringList kinds;
    for (const FakeDialogs::Shown &shown : m_dialogs.shown)
        kinds.append(shown.kind);
    QCOMPARE(kinds, (QStringList{"question", "closed", "message"}));
    QCOMPARE(m_dialogs.shown.last().text, QStringLiteral("Done."));
    QVERIFY(!m_reports.last().stopped);
    QCOMPARE(outputNames(), (QStringList{"a.jpg", "b.jpg"}));
    QVERIFY(!run.BatchBusy());
}

// Whatever the tools' timing, the first listed file of a name takes it.
void TestBatchRun::firstListedOfOneNameWins()
{
    QVERIFY(QDir(m_src).mkpath(QStringLiteral("slow")));
    QVERIFY(QDir(m_src).mkpath(QStringLiteral("fast")));
    m_host.entries = makeSources({"slow/a.jpg", "fast/a.jpg", "b.jpg"});
    BatchRun run(m_host, m_dialogs);
    run.setWorkerCount(2);
    run.setToolProgram(writeStandIn(m_dir->path(), QStringLiteral("0")));
    run.setVerifier({}); // the stand-in writes no picture
    QVERIFY(runToEnd(run));
    QCOMPARE(outputNames(), (QStringList{"a.jpg", "b.jpg"}));
    QCOMPARE(fileBytes(m_out + QStringLiteral("/a.jpg")), m_host.entries.at(0).toUtf8());
    const QList<FileOutcome> failures = m_reports.last().failures();
    QCOMPARE(failures.size(), 1);
    QCOMPARE(failures.first().source, m_host.entries.at(1));
    QCOMPARE(failures.first().reason,
             QStringLiteral("Another listed file of the same name, %1, was written to this place first.")
                 .arg(m_host.entries.at(0)));
}

void TestBatchRun::onlyRegularFilesReachTheTool_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QByteArray>("firstBytes");
    QTest::newRow("named pipe") << "pipe" << "This is a named pipe, not a picture file." << QByteArray();
    QTest::newRow("folder") << "folder" << "This is a folder, not a file." << QByteArray();
    QTest::newRow("gone") << "gone" << "The file is not there any more." << QByteArray();
    QTest::newRow("no answer in time") << "hang" << "ExifTool did not finish this file within 0.5 seconds."
                                       << QByteArray();
    // What is not a JPEG never reaches the tool, whatever its extension.
    const auto notJpeg = [](const char *name, const char *what, const QByteArray &bytes) {
        QTest::newRow(name) << "bytes" << QStringLiteral("This is %1, not a JPEG picture.").arg(QLatin1String(what))
                            << bytes;
    };
    notJpeg("PNG", "a PNG picture", QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    notJpeg("TIFF", "a TIFF picture (or a camera's raw file)", QByteArray("II*\0\x08\0\0\0", 8));
    notJpeg("GIF", "a GIF picture", QByteArray("GIF89a\x01\0\x01\0", 10));
    notJpeg("HEIF", "a HEIF picture", QByteArray("\0\0\0\x18" "ftypheic\0\0\0\0", 16));
    notJpeg("MP4", "an MP4 or QuickTime video", QByteArray("\0\0\0\x18" "ftypisom\0\0\x02\0", 16));
    notJpeg("WebP", "a WebP picture", QByteArray("RIFF\x24\0\0\0WEBPVP8 ", 16));
    QTest::newRow("empty") << "bytes" << "The file is empty." << QByteArray("");
    QTest::newRow("text") << "bytes" << "This is not a JPEG picture." << QByteArray("Holiday notes\n");
}

void TestBatchRun::onlyRegularFilesReachTheTool()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QFETCH(QByteArray, firstBytes);
    const QString odd = m_src + QStringLiteral("/odd-hang.jpg");
    if (kind == QLatin1String("bytes")) {
        QFile file(odd);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(firstBytes) == firstBytes.size());
    } else if (kind == QLatin1String("pipe"))
        QCOMPARE(QProcess::execute(QStringLiteral("mkfifo"), {odd}), 0);
    else if (kind == QLatin1String("folder"))
        QVERIFY(QDir().mkpath(odd));
    else if (kind == QLatin1String("hang"))
        QVERIFY(makeJpeg(odd));
    m_host.entries = QStringList{odd} + makeSources({"ok.jpg"});
    BatchRun run(m_host, m_dialogs);
    run.setFileTimeout(500);
    run.setToolProgram(writeStandIn(m_dir->path(), QStringLiteral("0")));
    run.setVerifier({}); // the stand-in writes no picture
    QVERIFY(runToEnd(run));
    QCOMPARE(m_dialogs.shown.last().text, QStringLiteral("Done. 1 of 2 files could not be written."));
    QCOMPARE(m_reports.last().failures().first().reason, reason);
    // The run went on, and left nothing of the refused file.
    QCOMPARE(outputNames(), QStringList{"ok.jpg"});
}

// A Latin-1 name from an old camera: the copy gets the very same bytes.
void TestBatchRun::nameThatIsNotUtf8KeepsItsBytes()
{
    const QString made = makeSources({"made.jpg"}).first();
    const QByteArray latin1 = QFile::encodeName(m_src) + "/caf\xe9.jpg";
    QCOMPARE(std::rename(QFile::encodeName(made).constData(), latin1.constData()), 0);
    m_host.entries = QStringList{QString::fromUtf8(latin1)};
    m_host.paths = {latin1};
    BatchRun run(m_host, m_dialogs);
    QVERIFY(runToEnd(run));
    QCOMPARE(m_dialogs.shown.last().text, QStringLiteral("Done."));
    const QByteArray copy = QFile::encodeName(m_out) + "/caf\xe9.jpg";
    QCOMPARE(verifyCopy(latin1, copy, {QStringLiteral("Artist"), m_host.value}).wrong, QString());
    std::remove(copy.constData()); // Qt cannot name them to clean up
    std::remove(latin1.constData());
}

OSTRELL_CORE_TEST_MAIN(TestBatchRun)
#include "tst_batchrun.moc"
