#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QtTest>
#include <cstdio>

#include "platform/toolprocess.h"
#include "testsupport.h"
#include "writer/exiftool/argumentencoding.h"
#include "writer/exiftool/exiftoolworker.h"

namespace {

WriteCommand writeCommand(const QString &output, const QString &assignment, const QString &source)
{
    WriteCommand command;
    command.output = QFile::encodeName(output);
    if (!assignment.isEmpty()) {
        const qsizetype equals = assignment.indexOf(QLatin1Char('='));
        command.assignment = Assignment{assignment.left(equals + 1), assignment.mid(equals + 1)};
    }
    command.source = QFile::encodeName(source);
    return command;
}

// Sends the commands at once and waits for all their answers, in order.
QList<ToolResult> runCommands(ExifToolWorker &worker, const QList<WriteCommand> &commands)
{
    QList<ToolResult> results;
    QList<int> ids;
    const QMetaObject::Connection connection = QObject::connect(
        &worker, &ExifToolWorker::finished, [&](int id, const ToolResult &r) {
            ids.append(id);
            results.append(r);
        });
    QList<int> sent;
    for (const WriteCommand &command : commands) {
        QByteArray encoded;
        QString whyNot;
        if (!encodeWriteCommand(command, &encoded, &whyNot)) {
            qWarning() << "refused:" << whyNot;
            return {};
        }
        sent.append(worker.submit(encoded));
    }
    if (!QTest::qWaitFor([&] { return results.size() == commands.size(); }, 30000))
        qWarning() << "no answer";
    QObject::disconnect(connection);
    if (ids != sent)
        qWarning() << "answers out of order" << ids << sent;
    return results;
}

ToolResult runCommand(ExifToolWorker &worker, const WriteCommand &command)
{
    const QList<ToolResult> results = runCommands(worker, {command});
    return results.isEmpty() ? ToolResult() : results.first();
}

bool writeScript(const QString &path, const QByteArray &text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(text);
    file.close();
    return file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
}

} // namespace

class TestExifTool : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void encodesExactly_data();
    void encodesExactly();
    void refuses_data();
    void refuses();
    void commonArgumentsEscapeValues();

    void roundTrip_data();
    void roundTrip();
    void awkwardFileNames_data();
    void awkwardFileNames();
    void answersComeInOrder();
    void failsToStart();
    void reportsLostTool();
    void stopEndsTool();

private:
    ExifToolWorker *startedWorker(const QString &program = QStringLiteral("exiftool"));
    QTemporaryDir m_dir;
    QString m_source;
};

void TestExifTool::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_source = m_dir.filePath(QStringLiteral("source.jpg"));
    QVERIFY(makeJpeg(m_source));
}

ExifToolWorker *TestExifTool::startedWorker(const QString &program)
{
    auto *worker = new ExifToolWorker(program, this);
    QSignalSpy started(worker, &ExifToolWorker::started);
    worker->start();
    // Windows says it has started from within start().
    if (started.isEmpty() && !started.wait(10000)) {
        delete worker;
        return nullptr;
    }
    return worker;
}

void TestExifTool::encodesExactly_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QString>("assignment");
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QByteArray>("lines");

    QByteArray common("#[CSTR]-E\n");
    for (const QString &argument : Platform::toolFileNameArguments())
        common += "#[CSTR]" + argument.toUtf8() + '\n';
    common += "#[CSTR]-o\n";
    QTest::newRow("one file")
        << QByteArray("/out/a.jpg") << "-Artist=x" << QByteArray("/src/a.jpg")
        << common + "#[CSTR]/out/a.jpg\n#[CSTR]-Artist=x\n#[CSTR]/src/a.jpg\n";
    QTest::newRow("value: entities and C escapes")
        << QByteArray("o.tmp") << "-Artist= a\"b\\c\r\nd$e@f&lt;\tg" << QByteArray("/s.jpg")
        << common + "#[CSTR]o.tmp\n#[CSTR]-Artist= a\\\"b\\\\c&#13;&#10;d&#36;e&#64;f&amp;lt;\\tg\n"
                    "#[CSTR]/s.jpg\n";
    QTest::newRow("no assignment")
        << QByteArray("o.tmp") << QString() << QByteArray("/s.jpg")
        << common + "#[CSTR]o.tmp\n#[CSTR]/s.jpg\n";
    QTest::newRow("path with dollar and at: plain line")
        << QByteArray("o.tmp") << QString() << QByteArray("/src/a$b@c.jpg")
        << common + "#[CSTR]o.tmp\n/src/a$b@c.jpg\n";
    QTest::newRow("path with line break: C string")
        << QByteArray("o.tmp") << QString() << QByteArray("/src/a\nb \"c\".jpg")
        << common + "#[CSTR]o.tmp\n#[CSTR]/src/a\\nb \\\"c\\\".jpg\n";
    QTest::newRow("name that is not UTF-8: plain bytes")
        << QByteArray("o.tmp") << QString() << QByteArray("/src/caf\xe9.jpg")
        << common + "#[CSTR]o.tmp\n/src/caf\xe9.jpg\n";
    QTest::newRow("percent that is no code stays")
        << QByteArray("/out/50%/o.tmp") << QString() << QByteArray("/src/50%d.jpg")
        << common + "#[CSTR]/out/50%/o.tmp\n#[CSTR]/src/50%d.jpg\n";
}

void TestExifTool::encodesExactly()
{
    QFETCH(QByteArray, output);
    QFETCH(QString, assignment);
    QFETCH(QByteArray, source);
    QFETCH(QByteArray, lines);

    WriteCommand command = writeCommand(QString(), assignment, QString());
    command.output = output;
    command.source = source;
    QByteArray out;
    QString whyNot;
    QVERIFY2(encodeWriteCommand(command, &out, &whyNot), qPrintable(whyNot));
    QCOMPARE(out, lines);
}

void TestExifTool::refuses_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QString>("reasonPart");

    QTest::newRow("name code in results folder")
        << QByteArray("/out%d/o.tmp") << QByteArray("/src/a.jpg") << "results folder";
    QTest::newRow("copy number code in results folder")
        << QByteArray("/out%c/o.tmp") << QByteArray("/src/a.jpg") << "results folder";
    QTest::newRow("dollar with line break in path")
        << QByteArray("o.tmp") << QByteArray("/src/a$\nb.jpg") << "line break";
    QTest::newRow("not UTF-8 with line break in path")
        << QByteArray("o.tmp") << QByteArray("/src/a\xe9\nb.jpg") << "line break";
    QTest::newRow("option look-alike") << QByteArray("o.tmp") << QByteArray("-a.jpg") << "full path";
}

void TestExifTool::refuses()
{
    QFETCH(QByteArray, output);
    QFETCH(QByteArray, source);
    QFETCH(QString, reasonPart);

    WriteCommand command;
    command.output = output;
    command.source = source;
    QByteArray out("untouched");
    QString whyNot;
    QVERIFY(!encodeWriteCommand(command, &out, &whyNot));
    QVERIFY2(whyNot.contains(reasonPart), qPrintable(whyNot));
    QCOMPARE(out, QByteArray("untouched"));
}

void TestExifTool::commonArgumentsEscapeValues()
{
    QVERIFY(stayOpenCommonArguments().contains(QStringLiteral("-E")));
}

void TestExifTool::roundTrip_data()
{
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QString>("value");

    QTest::newRow("quotes") << "Artist" << "say \"cheese\" 'now'";
    QTest::newRow("leading blanks") << "Artist" << "  two before";
    // Reading EXIF strings drops trailing blanks; the XP tags keep them.
    QTest::newRow("leading and trailing blanks") << "XPTitle" << "  two before, one after ";
    QTest::newRow("two lines") << "ImageDescription" << "first line\r\nsecond line";
    QTest::newRow("back-slashes") << "Artist" << "C:\\dir\\ \\\\share \\n \\";
    QTest::newRow("dollar") << "Artist" << "$HOME ${status} $";
    QTest::newRow("at") << "Artist" << "me@example.org @";
    QTest::newRow("entity typed literally") << "Artist" << "&lt; &amp; &#36; &";
    QTest::newRow("non-ASCII") << "Artist" << "Café Zürich ÆØÅ 東京";
    QTest::newRow("tab") << "Artist" << "a\tb";
    QTest::newRow("option look-alike") << "Artist" << "-execute1";
    QTest::newRow("XP tag, non-ASCII and quotes") << "XPTitle" << "Ünïcödé \"t\" $x@y";
}

void TestExifTool::roundTrip()
{
    QFETCH(QString, tag);
    QFETCH(QString, value);

    std::unique_ptr<ExifToolWorker> worker(startedWorker());
    QVERIFY(worker);
    const QString output = m_dir.filePath(QStringLiteral("rt-%1.jpg").arg(QTest::currentDataTag()));
    const ToolResult result = runCommand(
        *worker, writeCommand(output, QStringLiteral("-") + tag + '=' + value, m_source));
    QCOMPARE(result.status, 0);
    QVERIFY2(result.output.contains(QLatin1String("1 image files created")),
             qPrintable(result.output + result.errors));
    QVERIFY(!result.output.contains(QLatin1String("{status")));
    QVERIFY(!result.errors.contains(QLatin1String("{end")));
    QCOMPARE(readTag(output, tag), value);
}

void TestExifTool::awkwardFileNames_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("name code") << QByteArray("50%d off.jpg");
    QTest::newRow("several codes") << QByteArray("%f-%e %-2d.jpg");
    QTest::newRow("dollar and at") << QByteArray("$HOME @me.jpg");
    QTest::newRow("leading blank") << QByteArray(" lead.jpg");
    QTest::newRow("non-ASCII") << QByteArray("Caf\xc3\xa9 \xc3\xa9.jpg");
    // Names Windows refuses ('"' and '\\') or holds only as text.
    if (fileNamesAreBytes()) {
        QTest::newRow("quote and back-slash") << QByteArray("say \"x\" \\ y.jpg");
        QTest::newRow("Latin-1, not UTF-8") << QByteArray("caf\xe9 $1.jpg");
    }
    QTest::newRow("entity look-alike") << QByteArray("a &amp; b &#36;.jpg");
}

void TestExifTool::awkwardFileNames()
{
    QFETCH(QByteArray, name);

    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path());
    const QString made = dir.filePath(QStringLiteral("made.jpg"));
    QVERIFY(makeJpeg(made));
    const QByteArray source = folder + '/' + name;
    // Windows names are UTF-16: there the bytes are the name's UTF-8.
    if (fileNamesAreBytes())
        QCOMPARE(std::rename(QFile::encodeName(made).constData(), source.constData()), 0);
    else
        QVERIFY(QFile::rename(made, QString::fromUtf8(source)));

    std::unique_ptr<ExifToolWorker> worker(startedWorker());
    QVERIFY(worker);
    WriteCommand command;
    command.output = folder + "/.copy.tmp";
    command.assignment = Assignment{QStringLiteral("-Artist="), QStringLiteral("named")};
    command.source = source;
    const ToolResult result = runCommand(*worker, command);
    QVERIFY2(result.status == 0, qPrintable(result.errors));
    QCOMPARE(readTag(dir.filePath(QStringLiteral(".copy.tmp")), QStringLiteral("Artist")),
             QStringLiteral("named"));
    if (fileNamesAreBytes())
        std::remove(source.constData()); // Qt cannot name it to clean up
}

void TestExifTool::answersComeInOrder()
{
    std::unique_ptr<ExifToolWorker> worker(startedWorker());
    QVERIFY(worker);
    const QString existing = m_dir.filePath(QStringLiteral("existing.jpg"));
    QVERIFY(makeJpeg(existing));
    // Both wait in the tool's input at once; each answer is its own.
    const QList<ToolResult> results = runCommands(
        *worker, {writeCommand(existing, QStringLiteral("-Artist=x"), m_source),
                  writeCommand(m_dir.filePath(QStringLiteral("next.jpg")),
                               QStringLiteral("-Artist=y"), m_source)});
    QCOMPARE(results.size(), 2);
    QCOMPARE(results.at(0).status, 1);
    QVERIFY2(results.at(0).errors.contains(QLatin1String("already exists")),
             qPrintable(results.at(0).errors));
    QCOMPARE(results.at(1).status, 0);
    QVERIFY(!results.at(1).errors.contains(QLatin1String("already exists")));
}

void TestExifTool::failsToStart()
{
    ExifToolWorker worker(m_dir.filePath(QStringLiteral("no-such-exiftool")));
    QSignalSpy failed(&worker, &ExifToolWorker::failed);
    QSignalSpy ended(&worker, &ExifToolWorker::ended);
    worker.start();
    QTRY_COMPARE(failed.size(), 1);
    QTRY_COMPARE(ended.size(), 1);
    QVERIFY(!worker.isRunning());
    QCOMPARE(worker.submit("x\n"), 0);
}

void TestExifTool::reportsLostTool()
{
    // Reads the first command and dies without answering.
    if (!shellScriptsRun())
        QSKIP("Needs a shell script as its tool");
    const QString script = m_dir.filePath(QStringLiteral("dies.sh"));
    QVERIFY(writeScript(script, "#!/bin/sh\nwhile IFS= read -r line; do\n"
                                "  case \"$line\" in -execute*) echo 'partial' >&2; exit 3 ;; esac\n"
                                "done\n"));
    std::unique_ptr<ExifToolWorker> worker(startedWorker(script));
    QVERIFY(worker);
    const QList<ToolResult> results =
        runCommands(*worker, {writeCommand(QStringLiteral("o.tmp"), QString(), QStringLiteral("/x.jpg")),
                              writeCommand(QStringLiteral("p.tmp"), QString(), QStringLiteral("/y.jpg"))});
    QCOMPARE(results.size(), 2);
    QVERIFY(results.at(0).processLost && results.at(0).begun);
    QCOMPARE(results.at(0).status, -1);
    QVERIFY(results.at(0).errors.contains(QLatin1String("partial")));
    // The tool never reached the second: it can be tried again elsewhere.
    QVERIFY(results.at(1).processLost && !results.at(1).begun);
}

void TestExifTool::stopEndsTool()
{
    std::unique_ptr<ExifToolWorker> worker(startedWorker());
    QVERIFY(worker);
    QSignalSpy ended(worker.get(), &ExifToolWorker::ended);
    QSignalSpy failed(worker.get(), &ExifToolWorker::failed);
    worker->stop();
    QVERIFY(ended.wait(10000));
    QCOMPARE(failed.size(), 0);
}

OSTRELL_CORE_TEST_MAIN(TestExifTool)
#include "tst_exiftool.moc"
