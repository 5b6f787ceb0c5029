// The ways a value is made for each picture: keywords added and removed,
// dates shifted, fields filled in, values read from a spreadsheet.
#include "batchrunsupport.h"
#include "writer/engine/admission.h"
#include "writer/report/reasons.h"
#include "writer/values/dateshift.h"
#include "writer/values/spreadsheet.h"
#include "writer/values/valueplan.h"

Q_DECLARE_METATYPE(ValueWay)

class TestValues : public QObject, private BatchRunFixture {
    Q_OBJECT
private slots:
    void init() { BatchRunFixture::init(); }
    void cleanup() { BatchRunFixture::cleanup(); }
    void keywords_data();
    void keywords();
    void dateShift_data();
    void dateShift();
    void fields_data();
    void fields();
    void spreadsheet_data();
    void spreadsheet();
    void spreadsheetFiles();
    void eachWayThroughExifTool_data();
    void eachWayThroughExifTool();
    void reportShowsEachFilesValue();
};

namespace {

// What the plan makes of one file: its value, or "refused: " and the reason.
QString made(const ValuePlan &plan, const ValueSource &source)
{
    const MadeValue value = makeValue(plan, source);
    return value.refusal.isEmpty() ? value.value : QStringLiteral("refused: ") + value.refusal;
}

} // namespace

void TestValues::keywords_data()
{
    QTest::addColumn<bool>("add");
    QTest::addColumn<QString>("existing");
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("expected");
    QTest::newRow("appended in order") << true << "sea;sun" << "boat; sand" << "sea;sun;boat;sand";
    QTest::newRow("duplicates ignore case and blanks") << true << " Sea ; sun" << "sea;SUN ; ;boat;Boat"
                                                        << "Sea;sun;boat";
    QTest::newRow("to a picture without keywords") << true << "" << "a;b" << "a;b";
    QTest::newRow("removed ignoring case") << false << "sea;Sun;boat" << " SUN;gone" << "sea;boat";
    QTest::newRow("nothing left removes the tag") << false << "sea;sun" << "Sun;SEA" << "";
    QTest::newRow("too long for the tag") << true << QString(29995, QLatin1Char('k')) << "one;two"
                                          << "refused: The value would take 60008 bytes, more than the 60000 a tag can hold here.";
}

void TestValues::keywords()
{
    QFETCH(bool, add);
    QFETCH(QString, existing);
    QFETCH(QString, given);
    QFETCH(QString, expected);
    ValuePlan plan{add ? ValueWay::AddKeywords : ValueWay::RemoveKeywords, QStringLiteral("Keywords"), given};
    QVERIFY(planRefusal(plan).isEmpty());
    ValueSource source;
    source.current = existing;
    QCOMPARE(made(plan, source), expected);
}

void TestValues::dateShift_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shift");
    QTest::addColumn<QString>("expected");
    QTest::newRow("hours and minutes") << "2021:08:31 22:45:10" << "+1h30m" << "2021:09:01 00:15:10";
    QTest::newRow("month end keeps the last day") << "2023:01:31 10:00:00" << "+1mo" << "2023:02:28 10:00:00";
    QTest::newRow("leap year month end") << "2024:01:31 10:00:00" << "+1 month" << "2024:02:29 10:00:00";
    QTest::newRow("into a leap day") << "2024:02:28 23:30:00" << "+1h" << "2024:02:29 00:30:00";
    QTest::newRow("leap day a year on") << "2024:02:29 12:00:00" << "+1y" << "2025:02:28 12:00:00";
    QTest::newRow("year carry") << "2021:12:31 23:59:59" << "+1s" << "2022:01:01 00:00:00";
    QTest::newRow("negative clock amount") << "2022:01:01 00:10:00" << "-0:30" << "2021:12:31 23:40:00";
    QTest::newRow("negative days over March") << "2023:03:01 08:00:00" << "- 2 days" << "2023:02:27 08:00:00";
    QTest::newRow("words and weeks") << "2020:02:20 08:00:00" << "+1 week 2 hours" << "2020:02:27 10:00:00";
    QTest::newRow("no date to shift") << "" << "+1h" << "refused: The picture holds no Date and Time (original) to shift.";
    QTest::newRow("no sign") << "2021:08:31 12:00:00" << "1h"
                             << "refused: \"1h\" does not say whether dates move later or earlier. "
                                "Type + for later or - for earlier, then the amount with its units, "
                                "for example +1h30m, -2d, +1y or -0:30.";
    QTest::newRow("unknown unit") << "2021:08:31 12:00:00" << "+3 fortnights"
                                  << "refused: \"fortnights\" is not a unit of time. Type + for later or - for "
                                     "earlier, then the amount with its units, for example +1h30m, -2d, +1y or -0:30.";
    QTest::newRow("no such day") << "2021:04:31 12:00:00" << "+1d"
                                 << "refused: Its Date and Time (original) \"2021:04:31 12:00:00\" is no date that can be shifted.";
    QTest::newRow("beyond year 9999") << "9999:12:31 23:00:00" << "+1d"
                                      << "refused: Its Date and Time (original) \"9999:12:31 23:00:00\" shifted falls outside the years 1 to 9999.";
}

void TestValues::dateShift()
{
    QFETCH(QString, stored);
    QFETCH(QString, shift);
    QFETCH(QString, expected);
    const ValuePlan plan{ValueWay::ShiftDate, QStringLiteral("Date and Time (original)"), shift};
    ValueSource source;
    if (!stored.isEmpty())
        source.current = stored;
    QCOMPARE(made(plan, source), expected);
    // Refused before the run exactly when no file could use it.
    QCOMPARE(planRefusal(plan).isEmpty(), !expected.contains(QLatin1String("Type + for later")));
    if (const std::optional<DateShift> parsed = parseDateShift(QStringLiteral("+1h30m"), nullptr))
        QCOMPARE(describeShift(*parsed), QStringLiteral("each date 1 hour 30 minutes later"));
    QCOMPARE(describeShift(*parseDateShift(QStringLiteral("-1y2mo3d"), nullptr)),
             QStringLiteral("each date 1 year 2 months 3 days earlier"));
}

void TestValues::fields_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("expected");
    const QString photo = QDir::toNativeSeparators(QStringLiteral("/photos/Holiday 2021/IMG_0007.JPG"));
    QTest::newRow("each field") << "{name} {n}/{count} in {folder} on {date}" << photo << 12
                                << "IMG_0007 07/12 in Holiday 2021 on 2021-08-31";
    QTest::newRow("padding to the count's width") << "#{n}" << photo << 1200 << "#0007";
    QTest::newRow("literal braces") << "{{{name}}} }}" << photo << 1 << "{IMG_0007} }";
    QTest::newRow("names with ; and dots")
        << "{name}" << QDir::toNativeSeparators(QStringLiteral("/p/a;b.c.jpg")) << 1 << "a;b.c";
    QTest::newRow("unknown field named")
        << "{name} {title}" << photo << 1
        << "refused: The value holds the field {title}, which is not known. The fields are {name}, {n}, "
           "{count}, {folder}, {date}. Type {{ and }} for braces themselves.";
    QTest::newRow("lone brace") << "a { b" << photo << 1
                                << "refused: The value has an opening brace \"{\" without its closing one. "
                                   "Type {{ for a brace itself.";
    QTest::newRow("no date taken") << "{date}" << photo << 1
                                   << "refused: The picture holds no date taken for the field {date}.";
}

void TestValues::fields()
{
    QFETCH(QString, typed);
    QFETCH(QString, path);
    QFETCH(int, count);
    QFETCH(QString, expected);
    const ValuePlan plan{ValueWay::FillFields, QStringLiteral("Title"), typed};
    ValueSource source;
    source.path = path;
    source.n = 7;
    source.count = count;
    if (!QTest::currentDataTag() || QByteArray(QTest::currentDataTag()) != "no date taken")
        source.dateTaken = QStringLiteral("2021:08:31 14:30:00");
    QCOMPARE(made(plan, source), expected);
    QCOMPARE(planRefusal(plan).isEmpty(), !expected.startsWith(QLatin1String("refused")) || typed == "{date}");
}

void TestValues::spreadsheet_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected"); // row: file=value | row: problem
    QTest::newRow("comma, BOM and CRLF") << QByteArray("\xEF\xBB\xBF" "File,Title\r\na.jpg,One\r\nb.jpg,Two\r\n")
                                         << "2: in/a.jpg=One | 3: in/b.jpg=Two";
    QTest::newRow("quoted separators, quotes and line breaks")
        << QByteArray("file,value\n\"a,1.jpg\",\"say \"\"hi\"\", then\r\nbye\"\nb.jpg,x\n")
        << "2: in/a,1.jpg=say \"hi\", then\r\nbye | 3: in/b.jpg=x";
    QTest::newRow("semicolons with commas in values") << QByteArray("File;Keywords\na.jpg;sea, sun;\n")
                                                      << "2: in/a.jpg=sea, sun";
    QTest::newRow("tabs and Windows-1252") << QByteArray("File\tTitle\ncaf\xe9.jpg\t\x93" "Caf\xe9\x94 \x80" "5\n")
                                           << QString::fromUtf8("2: in/café.jpg=“Café” €5");
    QTest::newRow("relative paths with .. and absolute ones")
        << QByteArray("f,v\n../up.jpg,1\nsub/./d.jpg,2\n/abs/e.jpg,3\n")
        << "2: up.jpg=1 | 3: in/sub/d.jpg=2 | 4: /abs/e.jpg=3";
    QTest::newRow("a file on two rows uses neither")
        << QByteArray("f,v\na.jpg,1\nb.jpg,2\n./a.jpg,3\n")
        << "2: the file is named again on a later row; neither row is used. | 3: in/b.jpg=2 | "
           "4: the file is also on row 2; neither row is used.";
    QTest::newRow("unquoted separator in a value")
        << QByteArray("f,v\na.jpg,Smith, John\nb.jpg,\n")
        << "2: the row has more than two columns; a value holding the separator must be in quotes. | 3: in/b.jpg=";
}

void TestValues::spreadsheet()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    const QString base = QDir::toNativeSeparators(QStringLiteral("/base"));
    const Sheet sheet = readSpreadsheet(bytes, base + QDir::separator() + QStringLiteral("in"));
    QVERIFY(sheet.error.isEmpty());
    QMap<int, QString> rows;
    for (const SheetRow &row : sheet.rows)
        rows[row.row] = QDir::fromNativeSeparators(row.file).remove(QStringLiteral("/base/")) + QLatin1Char('=') + row.value;
    for (const SheetProblem &problem : sheet.problems)
        rows[problem.row] = problem.reason;
    QStringList lines;
    for (auto at = rows.cbegin(); at != rows.cend(); ++at)
        lines << QStringLiteral("%1: %2").arg(at.key()).arg(at.value());
    QCOMPARE(lines.join(QStringLiteral(" | ")), expected);
}

// Missing files and files that are no JPEG are refused by row, with the
// value's own check after them.
void TestValues::spreadsheetFiles()
{
    QTemporaryDir dir;
    QVERIFY(makeJpeg(dir.filePath(QStringLiteral("a.jpg"))));
    QFile text(dir.filePath(QStringLiteral("notes.jpg")));
    QVERIFY(text.open(QIODevice::WriteOnly) && text.write("hello") == 5);
    text.close();
    QVERIFY(makeJpeg(dir.filePath(QStringLiteral("b.jpg"))));
    Sheet sheet = readSpreadsheet("File,Title\na.jpg,ok\nnotes.jpg,ok\nmissing.jpg,ok\nb.jpg,bad\n", dir.path());
    refuseRows(&sheet, [](const QString &file) { return sourceRefusal(Platform::encodeName(file)); },
               [](const QString &value) { return value == QLatin1String("ok") ? QString() : QStringLiteral("bad value"); });
    QCOMPARE(sheet.rows.size(), 1);
    QCOMPARE(sheet.rows.at(0).row, 2);
    QStringList reasons;
    for (const SheetProblem &problem : sheet.problems)
        reasons << QString::number(problem.row) + QLatin1Char(' ') + problem.reason;
    QCOMPARE(reasons, (QStringList{QStringLiteral("3 ") + notJpegReason("hello"), QStringLiteral("4 ") + because(Reason::FileGone),
                                   QStringLiteral("5 bad value")}));
    QVERIFY(problemLines(sheet.problems).startsWith(
        QStringLiteral("Row 3 (%1): ").arg(QDir::toNativeSeparators(dir.filePath(QStringLiteral("notes.jpg"))))));
}

void TestValues::eachWayThroughExifTool_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<ValueWay>("way");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("sourceTags"); // per file, an ExifTool assignment or ""
    QTest::addColumn<QStringList>("own");        // per file, "<none>" for no row; empty: no spreadsheet
    QTest::addColumn<QStringList>("expected");   // per file, the copy's value or "not written: " and words of the reason
    QTest::newRow("add keywords") << "Keywords" << ValueWay::AddKeywords << "sun; sand"
                                  << QStringList{"-XPKeywords=sea;Sun", "", "-XPKeywords=boat"} << QStringList()
                                  << QStringList{"sea;Sun;sand", "sun;sand", "boat;sun;sand"};
    QTest::newRow("remove keywords") << "Keywords" << ValueWay::RemoveKeywords << "SUN"
                                     << QStringList{"-XPKeywords=sea;Sun", "-XPKeywords=sun", ""} << QStringList()
                                     << QStringList{"sea", "", ""};
    QTest::newRow("shift dates") << "Date and Time (original)" << ValueWay::ShiftDate << "+1h30m"
                                 << QStringList{"-DateTimeOriginal=2021:08:31 23:00:00",
                                                "-DateTimeOriginal=2024:02:28 22:45:10", ""}
                                 << QStringList()
                                 << QStringList{"2021:09:01 00:30:00", "2024:02:29 00:15:10",
                                                "not written: holds no Date and Time (original)"};
    QTest::newRow("fill in fields") << "Title" << ValueWay::FillFields << "{n}/{count} {name} {date}"
                                    << QStringList{"-DateTimeOriginal=2021:08:31 10:00:00",
                                                   "-CreateDate=2022:01:02 03:04:05", ""}
                                    << QStringList()
                                    << QStringList{"1/3 a 2021-08-31", "2/3 b 2022-01-02",
                                                   "not written: no date taken"};
    QTest::newRow("values from a spreadsheet") << "Artist" << ValueWay::AsTyped << "typed, never used"
                                               << QStringList{"", "", ""}
                                               << QStringList{"Ann", "<none>", "Bo \"B\"\r\nLund"}
                                               << QStringList{"Ann", "not written: no value for this file",
                                                              "Bo \"B\"\r\nLund"};
}

// Each copy reads back with its own value, the sources stay as they were, a
// second run counts every copy as already there, and the report shows the
// way and each value.
void TestValues::eachWayThroughExifTool()
{
    QFETCH(QString, label);
    QFETCH(ValueWay, way);
    QFETCH(QString, typed);
    QFETCH(QStringList, sourceTags);
    QFETCH(QStringList, own);
    QFETCH(QStringList, expected);
    const QStringList names{"a.jpg", "b.jpg", "c.jpg"};
    m_host.entries = makeSources(names);
    QList<QByteArray> before;
    for (int i = 0; i < names.size(); ++i) {
        if (!sourceTags.at(i).isEmpty())
            runExifTool(m_dir->path(), "-overwrite_original\n" + sourceTags.at(i).toUtf8() + '\n'
                                           + m_host.entries.at(i).toUtf8() + '\n');
        before.append(fileBytes(m_host.entries.at(i)));
        if (!own.isEmpty())
            m_host.own.append(own.at(i) == QLatin1String("<none>") ? std::nullopt : std::optional<QString>(own.at(i)));
    }
    m_host.label = label;
    m_host.way = wayLabel(way);
    m_host.value = typed;
    const QString tagName = TagNameOf(*TagOptionFor(label));

    for (int pass = 0; pass < 2; ++pass) {
        BatchRun run(m_host, m_dialogs);
        QVERIFY(runToEnd(run));
        const BatchReport &report = m_reports.last();
        QCOMPARE(report.outcomes.size(), names.size());
        for (int i = 0; i < names.size(); ++i) {
            const FileOutcome &outcome = report.outcomes.at(i);
            const QString copy = m_out + QLatin1Char('/') + names.at(i);
            if (expected.at(i).startsWith(QLatin1String("not written: "))) {
                QCOMPARE(outcome.kind, FileOutcome::Kind::Failed);
                QVERIFY2(outcome.reason.contains(expected.at(i).mid(13), Qt::CaseInsensitive), qPrintable(outcome.reason));
                QVERIFY(!QFile::exists(copy));
                continue;
            }
            QCOMPARE(outcome.kind, pass == 0 ? FileOutcome::Kind::Written : FileOutcome::Kind::AlreadyThere);
            QCOMPARE(readTag(copy, tagName), expected.at(i));
            QCOMPARE(fileBytes(m_host.entries.at(i)), before.at(i));
            if (pass == 0)
                QVERIFY2(report.details().contains(QStringLiteral("%1: ").arg(names.at(i))), qPrintable(report.details()));
        }
    }
}

// The command line shown for a file carries that file's value, and the
// details name the way and each copy's value.
void TestValues::reportShowsEachFilesValue()
{
    ReportInputs inputs;
    inputs.toolPath = QStringLiteral("exiftool");
    inputs.resultsFolder = QStringLiteral("/out");
    inputs.assignment = Assignment{QStringLiteral(" -XPKeywords="), QStringLiteral("gull")};
    inputs.wayWords = QStringLiteral("Added to each picture's keywords: \"gull\".");
    const auto outcome = [](int position, FileOutcome::Kind kind, const char *value, const char *reason) {
        FileOutcome made;
        made.position = position;
        made.kind = kind;
        made.source = QStringLiteral("/p/%1.jpg").arg(position);
        made.reason = QString::fromUtf8(reason);
        made.toolRan = true;
        made.value = QString::fromUtf8(value);
        return made;
    };
    inputs.outcomes = {outcome(1, FileOutcome::Kind::Failed, "sea;gull", "one reason"),
                       outcome(2, FileOutcome::Kind::Failed, "boat;gull", "another reason"),
                       outcome(3, FileOutcome::Kind::Written, "gull", ""),
                       outcome(4, FileOutcome::Kind::Written, "sun;gull", "")};
    const BatchReport report = makeBatchReport(inputs);
    QVERIFY(report.outcomes.at(0).commandLine.contains(QLatin1String("-XPKeywords=\"sea;gull\"")));
    QVERIFY(report.outcomes.at(1).commandLine.contains(QLatin1String("-XPKeywords=\"boat;gull\"")));
    QVERIFY2(report.details().startsWith(inputs.wayWords + QStringLiteral("\nEach copy holds:\n  3.jpg: \"gull\"\n"
                                                                           "  4.jpg: \"sun;gull\"\n")),
             qPrintable(report.details()));
}

OSTRELL_CORE_TEST_MAIN(TestValues)
#include "tst_values.moc"
