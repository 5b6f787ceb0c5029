#pragma once

#include <QString>
#include <QStringList>

// A value with fields filled in for each picture: {name} (the file's name
// without its extension), {n} (its place among the run's files, with zeros
// in front to the width of {count}), {count}, {folder} (the name of the
// folder holding it) and {date} (the date it was taken, YYYY-MM-DD). "{{"
// and "}}" stand for a brace.
struct FieldValues {
    QString name;
    QString folder;
    QString date; // empty: the picture holds no date taken
    int n = 0;
    int count = 0;
};

// The fields a value may hold, as typed in it: "{name}", ...
QStringList fieldNames();

// Why the value cannot be filled in (an unknown field, a lone brace), naming
// the place; empty when it can.
QString fieldsRefusal(const QString &text);

// Whether the value holds the field {date}.
bool usesDateField(const QString &text);

// The value with its fields filled in. Call only for text fieldsRefusal() accepts.
QString filledIn(const QString &text, const FieldValues &values);

// FieldValues for the file at the path, in the native separators or "/".
FieldValues fieldValuesFor(const QString &path, int n, int count, const QString &date);
