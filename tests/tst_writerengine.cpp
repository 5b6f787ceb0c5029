#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "testsupport.h"
#include "writer/runreport.h"
#include "writer/writerengine.h"

namespace {

// The listed files of one run, handed out in order.
class ListSource : public JobSource {
public:
    ListSource(const QStringList &sources, const QString &folder, const QString &value)
    {
        for (int i = 0; i < sources.size(); ++i) {
            WriteJob job;
            job.position = i + 1;
            job.source = sources.at(i);
            job.sourcePath = QFile::encodeName(sources.at(i));
            job.resultsFolder = QFile::encodeName(folder);
            job.finalPath = job.resultsFolder + '/' + QFile::encodeName(QFileInfo(sources.at(i)).fileName());
            job.assignment = Assignment{QStringLiteral("-Artist="), value};
            job.tagName = QStringLiteral("Artist");
            m_jobs.append(job);
        }
    }
    std::optional<WriteJob> nextJob() override
    {
        if (m_next >= m_jobs.size())
            return std::nullopt;
        return m_jobs.at(m_next++);
    }

private:
    QList<WriteJob> m_jobs;
    int m_next = 0;
};

// Artist of every file in the folder, read in one go.
QHash<QString, QString> artistsIn(const QString &folder)
{
    QProcess tool;
    tool.start(QStringLiteral("exiftool"),
               {QStringLiteral("-q"), QStringLiteral("-m"), QStringLiteral("-p"),
                QStringLiteral("$FileName=$Artist"), folder});
    tool.waitForFinished(60000);
    QHash<QString, QString> artists;
    for (const QString &line : QString::fromUtf8(tool.readAllStandardOutput()).split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (equals > 0)
            artists.insert(line.left(equals), line.mid(equals + 1));
    }
    return artists;
}

QStringList hiddenNames(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden);
}

} // namespace

class TestWriterEngine : public QObject {
    Q_OBJECT
private slots:
    void racingRunsKeepTheirOwnCopies();
    void killedToolLeavesOnlyTemporaryFiles();
    void sweepsOnlyWhatDeadRunsLeft();
};

// Two runs write the same names into one folder at the same time: every copy
// one reports written is there and holds its own value; every other file is
// reported as taken, never claimed.
void TestWriterEngine::racingRunsKeepTheirOwnCopies()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("src")));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("out")));
    const QString out = dir.filePath(QStringLiteral("out"));
    QStringList sources;
    for (int i = 0; i < 40; ++i) {
        sources.append(dir.filePath(QStringLiteral("src/f%1.jpg").arg(i, 2, 10, QLatin1Char('0'))));
        QVERIFY(makeJpeg(sources.last()));
    }

    ListSource listA(sources, out, QStringLiteral("run A"));
    ListSource listB(sources, out, QStringLiteral("run B"));
    WriterEngine::Options options;
    options.toolPath = QStringLiteral("exiftool");
    options.workers = 2;
    WriterEngine engineA(listA, options);
    WriterEngine engineB(listB, options);
    QList<FileOutcome> outcomesA, outcomesB;
    connect(&engineA, &WriterEngine::fileDone, this, [&](const FileOutcome &o) { outcomesA.append(o); });
    connect(&engineB, &WriterEngine::fileDone, this, [&](const FileOutcome &o) { outcomesB.append(o); });
    QSignalSpy finishedA(&engineA, &WriterEngine::finished);
    QSignalSpy finishedB(&engineB, &WriterEngine::finished);
    engineA.start(40);
    engineB.start(40);
    QTRY_VERIFY_WITH_TIMEOUT(finishedA.size() == 1 && finishedB.size() == 1, 120000);

    const QHash<QString, QString> artists = artistsIn(out);
    QCOMPARE(artists.size(), 40);
    int writtenA = 0, writtenB = 0;
    const auto check = [&](const QList<FileOutcome> &outcomes, const QString &value, int *written) {
        QCOMPARE(outcomes.size(), 40);
        for (const FileOutcome &outcome : outcomes) {
            const QString name = QFileInfo(outcome.source).fileName();
            if (outcome.kind == FileOutcome::Kind::Written) {
                ++*written;
                QCOMPARE(artists.value(name), value);
            } else {
                QCOMPARE(outcome.kind, FileOutcome::Kind::Failed);
                QVERIFY2(outcome.reason.contains(QLatin1String("is already in the results folder")),
                         qPrintable(outcome.reason));
                QVERIFY(artists.value(name) != value);
            }
        }
    };
    check(outcomesA, QStringLiteral("run A"), &writtenA);
    check(outcomesB, QStringLiteral("run B"), &writtenB);
    QCOMPARE(writtenA + writtenB, 40);
    // All of a run's collisions make one group in its report, not one each.
    if (writtenA < 40)
        QVERIFY2(reportDetails(outcomesA).startsWith(
                     QStringLiteral("%1 file%2 not written. A file of the same name is already")
                         .arg(40 - writtenA)
                         .arg(40 - writtenA == 1 ? "" : "s")),
                 qPrintable(reportDetails(outcomesA)));
    QCOMPARE(hiddenNames(out), QStringList());
}

void TestWriterEngine::killedToolLeavesOnlyTemporaryFiles()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("out")));
    const QString out = dir.filePath(QStringLiteral("out"));
    // Stands in for a slow ExifTool that writes each copy in two goes; it
    // notes its process id so that the test can kill it.
    const QString tool = dir.filePath(QStringLiteral("standin.sh"));
    QFile script(tool);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\necho $$ >> \"$0.pids\"\nout=''; next=''\n"
                 "while IFS= read -r line; do\n"
                 "  case \"$line\" in\n"
                 "    '#[CSTR]-o') next=out ;;\n"
                 "    -execute*) n=${line#-execute}; printf 'half' > \"$out\"; sleep 0.3;\n"
                 "      printf ' whole' >> \"$out\";\n"
                 "      printf '    1 image files created\\n{status=0}\\n{ready%s}\\n' \"$n\";\n"
                 "      printf '{end%s}\\n' \"$n\" >&2 ;;\n"
                 "    False) exit 0 ;;\n"
                 "    *) if [ \"$next\" = out ]; then out=${line#'#[CSTR]'}; next=''; fi ;;\n"
                 "  esac\n"
                 "done\n");
    script.close();
    QVERIFY(script.setPermissions(script.permissions() | QFileDevice::ExeOwner));
    QStringList sources;
    for (int i = 0; i < 8; ++i) {
        sources.append(dir.filePath(QStringLiteral("p%1.jpg").arg(i)));
        QVERIFY(makeJpeg(sources.last()));
    }

    ListSource list(sources, out, QStringLiteral("kept"));
    WriterEngine::Options options;
    options.toolPath = tool;
    options.workers = 2;
    WriterEngine engine(list, options);
    QList<FileOutcome> outcomes;
    bool onlyWholeCopies = true;
    connect(&engine, &WriterEngine::fileDone, this, [&](const FileOutcome &o) {
        outcomes.append(o);
        // Under a final name there is never anything but a whole copy.
        for (const QString &name : QDir(out).entryList(QDir::Files | QDir::Hidden))
            if (!name.startsWith(QLatin1String(".ostrell-")))
                onlyWholeCopies = onlyWholeCopies && fileBytes(out + '/' + name) == "half whole";
    });
    QSignalSpy finished(&engine, &WriterEngine::finished);
    engine.start(int(sources.size()));
    QTRY_VERIFY_WITH_TIMEOUT(!outcomes.isEmpty(), 60000);
    QFile pids(tool + QStringLiteral(".pids"));
    QVERIFY(pids.open(QIODevice::ReadOnly));
    const QStringList started = QString::fromLatin1(pids.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(QProcess::execute(QStringLiteral("kill"), QStringList{QStringLiteral("-9")} + started), 0);
    QTRY_VERIFY_WITH_TIMEOUT(finished.size() == 1, 60000);

    QVERIFY(onlyWholeCopies);
    QCOMPARE(outcomes.size(), sources.size());
    QStringList written;
    int lost = 0;
    for (const FileOutcome &outcome : outcomes) {
        if (outcome.kind == FileOutcome::Kind::Written) {
            written.append(QFileInfo(outcome.source).fileName());
        } else {
            ++lost;
            QVERIFY2(outcome.reason.contains(QLatin1String("ExifTool ended")), qPrintable(outcome.reason));
        }
    }
    // The files each tool was working on are lost; those waiting behind them
    // went to the tools that took their place.
    QVERIFY(lost >= 1 && lost <= 2);
    written.sort();
    QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden, QDir::Name), written);
}

// A run that crashed left its temporary files; one still going on holds its
// lock. The next run removes the first and leaves the second alone.
void TestWriterEngine::sweepsOnlyWhatDeadRunsLeft()
{
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("a.jpg"));
    QVERIFY(makeJpeg(source));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("out")));
    const QString out = dir.filePath(QStringLiteral("out"));
    const auto make = [&](const QString &name) {
        QFile file(out + '/' + name);
        return file.open(QIODevice::WriteOnly) && file.write("x") == 1;
    };
    const QStringList dead{".ostrell-41-dead.lock", ".ostrell-41-dead-1.tmp", ".ostrell-41-dead-7.tmp"};
    const QStringList alive{".ostrell-42-live.lock", ".ostrell-42-live-3.tmp"};
    const QStringList users{".ostrell-notes.txt", "keep.jpg"};
    for (const QString &name : dead + alive + users)
        QVERIFY(make(name));
    const int held = ::open(QFile::encodeName(out + '/' + alive.first()).constData(), O_RDWR);
    QVERIFY(held >= 0);
    QCOMPARE(::flock(held, LOCK_EX | LOCK_NB), 0);

    ListSource list({source}, out, QStringLiteral("x"));
    WriterEngine::Options options;
    options.toolPath = QStringLiteral("exiftool");
    WriterEngine engine(list, options);
    QSignalSpy finished(&engine, &WriterEngine::finished);
    engine.start(1);
    QTRY_VERIFY_WITH_TIMEOUT(finished.size() == 1, 60000);
    ::close(held);

    QStringList expected = alive + users + QStringList{"a.jpg"};
    expected.sort();
    QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
}

OSTRELL_CORE_TEST_MAIN(TestWriterEngine)
#include "tst_writerengine.moc"
