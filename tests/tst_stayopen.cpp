#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QtTest>

#include "testsupport.h"
#include "writer/exiftoolworker.h"
#include "writer/stayopen.h"

namespace {

QByteArray markers(int id)
{
    const QByteArray n = QByteArray::number(id);
    return "-echo3\n{status=${status}}\n-echo4\n{end" + n + "}\n-execute" + n + "\n";
}

// Runs one command through the worker and waits for its result.
ToolResult runCommand(ExifToolWorker &worker, const QStringList &arguments, bool *submitted)
{
    ToolResult result;
    bool done = false;
    const QMetaObject::Connection connection = QObject::connect(
        &worker, &ExifToolWorker::finished, [&](const ToolResult &r) {
            result = r;
            done = true;
        });
    QString whyNot;
    *submitted = worker.submit(arguments, &whyNot);
    if (*submitted && !QTest::qWaitFor([&] { return done; }, 30000))
        qWarning() << "no answer";
    QObject::disconnect(connection);
    if (!*submitted)
        qWarning() << "refused:" << whyNot;
    return result;
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

class TestStayOpen : public QObject {
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
    void reportsToolErrors();
    void failsToStart();
    void reportsLostTool();
    void stopEndsTool();

private:
    ExifToolWorker *startedWorker(const QString &program = QStringLiteral("exiftool"));
    QTemporaryDir m_dir;
    QString m_source;
};

void TestStayOpen::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_source = m_dir.filePath(QStringLiteral("source.jpg"));
    QVERIFY(makeJpeg(m_source));
}

ExifToolWorker *TestStayOpen::startedWorker(const QString &program)
{
    auto *worker = new ExifToolWorker(program, this);
    QSignalSpy started(worker, &ExifToolWorker::started);
    worker->start();
    if (!started.wait(10000)) {
        delete worker;
        return nullptr;
    }
    return worker;
}

void TestStayOpen::encodesExactly_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("lines");

    QTest::newRow("one file")
        << QStringList{"-E", "-o", "/out/a.jpg", "-Artist=x", "/src/a.jpg"}
        << QByteArray("#[CSTR]-E\n#[CSTR]-o\n#[CSTR]/out/a.jpg\n#[CSTR]-Artist=x\n"
                      "#[CSTR]/src/a.jpg\n");
    QTest::newRow("value with -E: entities and C escapes")
        << QStringList{"-E", "-Artist= a\"b\\c\r\nd$e@f&lt;\tg"}
        << QByteArray("#[CSTR]-E\n#[CSTR]-Artist= a\\\"b\\\\c&#13;&#10;d&#36;e&#64;f&amp;lt;\\tg\n");
    QTest::newRow("value without -E")
        << QStringList{"-Artist= a\"b\r\n"} << QByteArray("#[CSTR]-Artist= a\\\"b\\r\\n\n");
    QTest::newRow("dollar without -E: plain line, blank given to be dropped")
        << QStringList{"-Artist=$x @y"} << QByteArray("-Artist= $x @y\n");
    QTest::newRow("path with dollar and at: plain line")
        << QStringList{"-o", "/out/a$b@c.jpg", "/src/a$b@c.jpg"}
        << QByteArray("#[CSTR]-o\n/out/a$b@c.jpg\n/src/a$b@c.jpg\n");
    QTest::newRow("path with line break: C string")
        << QStringList{"/src/a\nb \"c\".jpg"} << QByteArray("#[CSTR]/src/a\\nb \\\"c\\\".jpg\n");
    QTest::newRow("name code in output: its folder goes")
        << QStringList{"-o", "/out/50%d.jpg", "/src/50%d.jpg"}
        << QByteArray("#[CSTR]-o\n#[CSTR]/out/\n#[CSTR]/src/50%d.jpg\n");
    QTest::newRow("percent that is no code stays")
        << QStringList{"-o", "/out/50%.jpg", "/src/50%.jpg"}
        << QByteArray("#[CSTR]-o\n#[CSTR]/out/50%.jpg\n#[CSTR]/src/50%.jpg\n");
    QTest::newRow("value of -charset is no file")
        << QStringList{"-charset", "filename=utf8", "-o", "/o/%f.jpg", "/s/%f.jpg"}
        << QByteArray("#[CSTR]-charset\n#[CSTR]filename=utf8\n#[CSTR]-o\n#[CSTR]/o/\n"
                      "#[CSTR]/s/%f.jpg\n");
}

void TestStayOpen::encodesExactly()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, lines);

    QByteArray out;
    QString whyNot;
    QVERIFY2(encodeStayOpenCommand(arguments, 12, &out, &whyNot), qPrintable(whyNot));
    QCOMPARE(out, lines + markers(12));
}

void TestStayOpen::refuses_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("reasonPart");

    QTest::newRow("code in output name, other source name")
        << QStringList{"-o", "/out/50%d.jpg", "/src/other.jpg"} << "name code";
    QTest::newRow("code in results folder")
        << QStringList{"-o", "/out%d/a%f.jpg", "/src/a%f.jpg"} << "results folder";
    QTest::newRow("copy number code in name")
        << QStringList{"-o", "/out/a%c.jpg", "/src/a%c.jpg"} << "copy number";
    QTest::newRow("dollar with line break in path")
        << QStringList{"/src/a$\nb.jpg"} << "line break";
    QTest::newRow("at with leading blank in path")
        << QStringList{" a@b.jpg"} << "leading blank";
    QTest::newRow("dollar with line break in value without -E")
        << QStringList{"-Artist=$a\nb"} << "-E";
}

void TestStayOpen::refuses()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, reasonPart);

    QByteArray out("untouched");
    QString whyNot;
    QVERIFY(!encodeStayOpenCommand(arguments, 1, &out, &whyNot));
    QVERIFY2(whyNot.contains(reasonPart), qPrintable(whyNot));
    QCOMPARE(out, QByteArray("untouched"));
}

void TestStayOpen::commonArgumentsEscapeValues()
{
    QVERIFY(stayOpenCommonArguments().contains(QStringLiteral("-E")));
}

void TestStayOpen::roundTrip_data()
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

void TestStayOpen::roundTrip()
{
    QFETCH(QString, tag);
    QFETCH(QString, value);

    std::unique_ptr<ExifToolWorker> worker(startedWorker());
    QVERIFY(worker);
    const QString output = m_dir.filePath(QStringLiteral("rt-%1.jpg").arg(QTest::currentDataTag()));
    bool submitted = false;
    const ToolResult result = runCommand(
        *worker, {QStringLiteral("-o"), output, QStringLiteral("-") + tag + '=' + value, m_source},
        &submitted);
    QVERIFY(submitted);
    QCOMPARE(result.status, 0);
    QVERIFY2(result.output.contains(QLatin1String("1 image files created")),
             qPrintable(result.output + result.errors));
    QVERIFY(!result.output.contains(QLatin1String("{status")));
    QVERIFY(!result.errors.contains(QLatin1String("{end")));
    QCOMPARE(readTag(output, tag), value);
}

void TestStayOpen::awkwardFileNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("name code") << "50%d off.jpg";
    QTest::newRow("several codes") << "%f-%e %-2d.jpg";
    QTest::newRow("dollar and at") << "$HOME @me.jpg";
    QTest::newRow("quote and back-slash") << "say \"x\" \\ y.jpg";
    QTest::newRow("leading blank") << " lead.jpg";
    QTest::newRow("non-ASCII") << "Café é.jpg";
    QTest::newRow("entity look-alike") << "a &amp; b &#36;.jpg";
}

void TestStayOpen::awkwardFileNames()
{
    QFETCH(QString, name);

    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("src")));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("out")));
    const QString source = dir.filePath(QStringLiteral("src/") + name);
    const QString output = dir.filePath(QStringLiteral("out/") + name);
    QVERIFY(makeJpeg(source));

    std::unique_ptr<ExifToolWorker> worker(startedWorker());
    QVERIFY(worker);
    bool submitted = false;
    const ToolResult result = runCommand(
        *worker, {QStringLiteral("-o"), output, QStringLiteral("-Artist=named"), source},
        &submitted);
    QVERIFY(submitted);
    QCOMPARE(result.status, 0);
    QCOMPARE(QDir(dir.filePath(QStringLiteral("out"))).entryList(QDir::Files),
             QStringList{name});
    QCOMPARE(readTag(output, QStringLiteral("Artist")), QStringLiteral("named"));
}

void TestStayOpen::reportsToolErrors()
{
    std::unique_ptr<ExifToolWorker> worker(startedWorker());
    QVERIFY(worker);
    const QString output = m_dir.filePath(QStringLiteral("existing.jpg"));
    QVERIFY(makeJpeg(output));
    bool submitted = false;
    ToolResult result = runCommand(
        *worker, {QStringLiteral("-o"), output, QStringLiteral("-Artist=x"), m_source}, &submitted);
    QVERIFY(submitted);
    QCOMPARE(result.status, 1);
    QVERIFY2(result.errors.contains(QLatin1String("already exists")), qPrintable(result.errors));
    QVERIFY(!result.processLost);

    // The next command's answer is its own.
    result = runCommand(*worker,
                        {QStringLiteral("-o"), m_dir.filePath(QStringLiteral("next.jpg")),
                         QStringLiteral("-Artist=y"), m_source},
                        &submitted);
    QCOMPARE(result.status, 0);
    QVERIFY(!result.errors.contains(QLatin1String("already exists")));
}

void TestStayOpen::failsToStart()
{
    ExifToolWorker worker(m_dir.filePath(QStringLiteral("no-such-exiftool")));
    QSignalSpy failed(&worker, &ExifToolWorker::failed);
    QSignalSpy ended(&worker, &ExifToolWorker::ended);
    worker.start();
    QTRY_COMPARE(failed.size(), 1);
    QTRY_COMPARE(ended.size(), 1);
    QVERIFY(!worker.isRunning());
    QString whyNot;
    QVERIFY(!worker.submit({QStringLiteral("x")}, &whyNot));
    QVERIFY(!whyNot.isEmpty());
}

void TestStayOpen::reportsLostTool()
{
    // Reads the command and dies without answering.
    const QString script = m_dir.filePath(QStringLiteral("dies.sh"));
    QVERIFY(writeScript(script, "#!/bin/sh\nwhile IFS= read -r line; do\n"
                                "  case \"$line\" in -execute*) echo 'partial' >&2; exit 3 ;; esac\n"
                                "done\n"));
    std::unique_ptr<ExifToolWorker> worker(startedWorker(script));
    QVERIFY(worker);
    bool submitted = false;
    const ToolResult result = runCommand(*worker, {QStringLiteral("/x.jpg")}, &submitted);
    QVERIFY(submitted);
    QVERIFY(result.processLost);
    QCOMPARE(result.status, -1);
    QVERIFY(result.errors.contains(QLatin1String("partial")));
    QVERIFY(!worker->isBusy());
}

void TestStayOpen::stopEndsTool()
{
    std::unique_ptr<ExifToolWorker> worker(startedWorker());
    QVERIFY(worker);
    QSignalSpy ended(worker.get(), &ExifToolWorker::ended);
    QSignalSpy failed(worker.get(), &ExifToolWorker::failed);
    worker->stop();
    QVERIFY(ended.wait(10000));
    QCOMPARE(failed.size(), 0);
}

OSTRELL_CORE_TEST_MAIN(TestStayOpen)
#include "tst_stayopen.moc"
