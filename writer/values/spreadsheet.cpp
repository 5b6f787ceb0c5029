#include "writer/values/spreadsheet.h"

#include <QDir>
#include <QHash>
#include <QStringDecoder>
#include <algorithm>

namespace {

// What Windows-1252 puts where Latin-1 has control characters.
constexpr char16_t Cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString fromCp1252(const QByteArray &bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        *out++ = code >= 0x80 && code < 0xA0 ? QChar(Cp1252High[code - 0x80]) : QChar(code);
    }
    return text;
}

QString decoded(const QByteArray &bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.mid(3));
    if (bytes.startsWith("\xFF\xFE"))
        return QStringDecoder(QStringConverter::Utf16LE).decode(bytes.mid(2));
    if (bytes.startsWith("\xFE\xFF"))
        return QStringDecoder(QStringConverter::Utf16BE).decode(bytes.mid(2));
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return fromCp1252(bytes);
}

// The separator the header row uses most, outside quotes.
QChar separatorOf(const QString &text)
{
    int commas = 0, semicolons = 0, tabs = 0;
    bool quoted = false;
    for (const QChar c : text) {
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        else if (quoted)
            continue;
        else if (c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            break;
        else if (c == QLatin1Char(','))
            ++commas;
        else if (c == QLatin1Char(';'))
            ++semicolons;
        else if (c == QLatin1Char('\t'))
            ++tabs;
    }
    if (tabs >= semicolons && tabs >= commas && tabs > 0)
        return QLatin1Char('\t');
    return semicolons > commas ? QLatin1Char(';') : QLatin1Char(',');
}

// Splits the text into records of fields; calls `record` with each and the
// row it began on (1 for the first).
template <typename Record>
void forEachRecord(const QString &text, QChar separator, Record record)
{
    QStringList fields;
    QString field;
    bool quoted = false;
    bool any = false; // the record has begun
    int row = 1;
    const auto endRecord = [&] {
        fields.append(field);
        field.clear();
        record(row, fields);
        fields.clear();
        any = false;
        ++row;
    };
    const int size = int(text.size());
    for (int i = 0; i < size; ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c != QLatin1Char('"'))
                field += c;
            else if (i + 1 < size && text.at(i + 1) == QLatin1Char('"'))
                field += text.at(++i);
            else
                quoted = false;
            continue;
        }
        if (c == QLatin1Char('"')) {
            quoted = true;
            any = true;
        } else if (c == separator) {
            fields.append(field);
            field.clear();
            any = true;
        } else if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            if (c == QLatin1Char('\r') && i + 1 < size && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            endRecord();
        } else {
            field += c;
            any = true;
        }
    }
    if (any || !field.isEmpty())
        endRecord();
}

QString fullPath(const QString &file, const QString &folder)
{
    const QString named = QDir::fromNativeSeparators(file);
    const QString path = QDir::isAbsolutePath(named) ? named : folder + QLatin1Char('/') + named;
    return QDir::toNativeSeparators(QDir::cleanPath(path));
}

} // namespace

Sheet readSpreadsheet(const QByteArray &bytes, const QString &folder)
{
    Sheet sheet;
    const QString text = decoded(bytes);
    const QChar separator = separatorOf(text);
    const QString base = QDir::fromNativeSeparators(folder);
    QHash<QString, int> rowOfFile;   // where each file was first named
    QList<int> twice;                // indexes into sheet.rows named again later
    bool header = true;
    forEachRecord(text, separator, [&](int row, const QStringList &fields) {
        if (std::exchange(header, false)) {
            if (fields.size() < 2)
                sheet.error = QStringLiteral("The first row should name the two columns, the file and "
                                             "its value, separated by a comma, a semicolon or a tab.");
            return;
        }
        const bool blank = std::all_of(fields.cbegin(), fields.cend(), [](const QString &f) { return f.isEmpty(); });
        if (blank)
            return;
        const QString &file = fields.at(0);
        if (file.trimmed().isEmpty()) {
            sheet.problems.append({row, file, QStringLiteral("no file is named.")});
            return;
        }
        const bool extra = std::any_of(fields.cbegin() + qMin(2, int(fields.size())), fields.cend(),
                                       [](const QString &f) { return !f.isEmpty(); });
        if (fields.size() < 2 || extra) {
            sheet.problems.append({row, file, fields.size() < 2
                ? QStringLiteral("the row has no value column.")
                : QStringLiteral("the row has more than two columns; a value holding the separator "
                                 "must be in quotes.")});
            return;
        }
        const QString path = fullPath(file, base);
        if (const auto first = rowOfFile.constFind(path); first != rowOfFile.constEnd()) {
            sheet.problems.append({row, file, QStringLiteral("the file is also on row %1; neither row is used.")
                                                  .arg(sheet.rows.at(first.value()).row)});
            twice.append(first.value());
            return;
        }
        rowOfFile.insert(path, int(sheet.rows.size()));
        sheet.rows.append({row, path, fields.at(1)});
    });
    if (!sheet.error.isEmpty() || twice.isEmpty())
        return sheet;
    std::sort(twice.begin(), twice.end());
    twice.erase(std::unique(twice.begin(), twice.end()), twice.end());
    for (auto at = twice.crbegin(); at != twice.crend(); ++at) {
        const SheetRow first = sheet.rows.takeAt(*at);
        sheet.problems.append({first.row, QDir::toNativeSeparators(first.file),
                               QStringLiteral("the file is named again on a later row; neither row is used.")});
    }
    std::stable_sort(sheet.problems.begin(), sheet.problems.end(),
                     [](const SheetProblem &a, const SheetProblem &b) { return a.row < b.row; });
    return sheet;
}

void refuseRows(Sheet *sheet, const std::function<QString(const QString &file)> &fileRefusal,
                const std::function<QString(const QString &value)> &valueRefusal)
{
    QList<SheetRow> kept;
    kept.reserve(sheet->rows.size());
    QList<SheetProblem> refused;
    for (SheetRow &row : sheet->rows) {
        QString why = fileRefusal(row.file);
        if (why.isEmpty())
            why = valueRefusal(row.value);
        if (why.isEmpty())
            kept.append(std::move(row));
        else
            refused.append({row.row, row.file, why});
    }
    sheet->rows = std::move(kept);
    if (refused.isEmpty())
        return;
    sheet->problems.append(refused);
    std::stable_sort(sheet->problems.begin(), sheet->problems.end(),
                     [](const SheetProblem &a, const SheetProblem &b) { return a.row < b.row; });
}

QString problemLines(const QList<SheetProblem> &problems)
{
    QStringList lines;
    for (const SheetProblem &problem : problems)
        lines << QStringLiteral("Row %1 (%2): %3").arg(problem.row).arg(problem.file, problem.reason);
    return lines.join(QLatin1Char('\n'));
}
