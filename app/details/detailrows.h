#pragma once

#include <QList>
#include <QString>

#include "writer/values/valueplan.h"

struct PictureFacts;

// One tag of a picture as the details table shows it.
struct DetailRow {
    QString label;        // the selector's label
    QString stored;       // the value stored now; empty when absent
    bool present = false; // the tag is stored, perhaps empty
    QString windowsShows; // what Explorer shows in its place, where that differs
    QString afterRun;     // what the copy will hold after a run with the chosen tag and value
    bool refused = false; // afterRun is the reason the value cannot be written
    bool chosen = false;  // the tag the run writes
};

// The text the typed value becomes in the copy of a run: the value, dates as
// ExifTool stores them, "(removed)" for an empty one. Empty when the tag
// refuses it (valueRefusal() says why).
QString valueInCopy(const QString &tagLabel, const QString &value);

// The thirteen rows, in the selector's order, for the chosen tag and value.
QList<DetailRow> detailRows(const PictureFacts &facts, const QString &chosenLabel,
                            const QString &value);
// The same for a value made for this picture (or why it gets no copy).
QList<DetailRow> detailRows(const PictureFacts &facts, const QString &chosenLabel,
                            const MadeValue &made);
