#include "writer/values/fieldtemplate.h"

#include <QDir>

namespace {

const QLatin1String Known[] = {QLatin1String("name"), QLatin1String("n"), QLatin1String("count"),
                               QLatin1String("folder"), QLatin1String("date")};

// Walks the text: each literal character and each field name, in order.
// False at the first fault, with *fault saying what it is.
template <typename Literal, typename Field>
bool walk(const QString &text, Literal literal, Field field, QString *fault = nullptr)
{
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const bool doubled = i + 1 < text.size() && text.at(i + 1) == c;
        if ((c == QLatin1Char('{') || c == QLatin1Char('}')) && doubled) {
            literal(c);
            ++i;
            continue;
        }
        if (c == QLatin1Char('}')) {
            if (fault)
                *fault = QStringLiteral("The value has a closing brace \"}\" without its opening one. "
                                        "Type }} for a brace itself.");
            return false;
        }
        if (c != QLatin1Char('{')) {
            literal(c);
            continue;
        }
        const int close = text.indexOf(QLatin1Char('}'), i + 1);
        if (close < 0) {
            if (fault)
                *fault = QStringLiteral("The value has an opening brace \"{\" without its closing one. "
                                        "Type {{ for a brace itself.");
            return false;
        }
        const QString name = text.mid(i + 1, close - i - 1);
        if (!field(name)) {
            if (fault)
                *fault = QStringLiteral("The value holds the field {%1}, which is not known. "
                                        "The fields are %2. Type {{ and }} for braces themselves.")
                             .arg(name, fieldNames().join(QStringLiteral(", ")));
            return false;
        }
        i = close;
    }
    return true;
}

bool isKnown(const QString &name)
{
    for (const QLatin1String &known : Known)
        if (name == known)
            return true;
    return false;
}

} // namespace

QStringList fieldNames()
{
    QStringList names;
    for (const QLatin1String &known : Known)
        names << QLatin1Char('{') + known + QLatin1Char('}');
    return names;
}

QString fieldsRefusal(const QString &text)
{
    QString fault;
    walk(text, [](QChar) {}, isKnown, &fault);
    return fault;
}

bool usesDateField(const QString &text)
{
    bool uses = false;
    walk(text, [](QChar) {}, [&uses](const QString &name) {
        uses = uses || name == QLatin1String("date");
        return isKnown(name);
    });
    return uses;
}

QString filledIn(const QString &text, const FieldValues &values)
{
    QString out;
    out.reserve(text.size());
    const int width = int(QString::number(values.count).size());
    walk(text, [&out](QChar c) { out += c; },
         [&](const QString &name) {
             if (name == QLatin1String("name"))
                 out += values.name;
             else if (name == QLatin1String("n"))
                 out += QStringLiteral("%1").arg(values.n, width, 10, QLatin1Char('0'));
             else if (name == QLatin1String("count"))
                 out += QString::number(values.count);
             else if (name == QLatin1String("folder"))
                 out += values.folder;
             else if (name == QLatin1String("date"))
                 out += values.date;
             else
                 return false;
             return true;
         });
    return out;
}

FieldValues fieldValuesFor(const QString &path, int n, int count, const QString &date)
{
    const QString normal = QDir::fromNativeSeparators(path);
    const int cut = int(normal.lastIndexOf(QLatin1Char('/')));
    const QString file = normal.mid(cut + 1);
    const QString folderPath = cut > 0 ? normal.left(cut) : QString();
    FieldValues values;
    const int dot = int(file.lastIndexOf(QLatin1Char('.')));
    values.name = dot > 0 ? file.left(dot) : file;
    values.folder = folderPath.mid(folderPath.lastIndexOf(QLatin1Char('/')) + 1);
    values.n = n;
    values.count = count;
    values.date = date;
    return values;
}
