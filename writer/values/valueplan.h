#pragma once

#include <QList>
#include <QString>
#include <optional>

// How the value box's text becomes the value each copy holds.
enum class ValueWay { AsTyped, AddKeywords, RemoveKeywords, ShiftDate, FillFields };

// The choice as the window offers it: "Write as typed", ...
QString wayLabel(ValueWay way);
std::optional<ValueWay> wayForLabel(const QString &label);
// The ways a tag offers, by its ExifTool name: keywords only for XPKeywords,
// the shift only for the date tags.
QList<ValueWay> waysFor(const QString &tagName);

// What a run does with the value, as it stood when it started.
struct ValuePlan {
    ValueWay way = ValueWay::AsTyped;
    QString tagLabel;       // the selector's label
    QString typed;          // the value box
    bool ownValues = false; // each file brings its own value (from a spreadsheet) in place of typed
};

// What one file brings to the plan. The source's tags are read only when
// the plan needs them (needsSourceTags()).
struct ValueSource {
    QString path;                                    // the list entry's text
    int n = 0;                                       // its place in the run, 1-based
    int count = 0;                                   // the run's files
    std::optional<QString> own = std::nullopt;       // its own value; nothing when it has none
    std::optional<QString> current = std::nullopt;   // the chosen tag in the source; nothing when absent
    std::optional<QString> dateTaken = std::nullopt; // as stored, "YYYY:MM:DD HH:MM:SS"
};

// The value one copy will hold, or why the file gets no copy.
struct MadeValue {
    QString value;
    QString refusal;
};

// Each file's value differs from the typed one.
bool isPerFile(const ValuePlan &plan);
bool needsSourceTags(const ValuePlan &plan);

// Why the run cannot start with this plan (a way the tag does not offer, a
// shift that cannot be read, an unknown field); empty when it can. Own
// values are checked file by file instead.
QString planRefusal(const ValuePlan &plan);

// The file's value: the text (its own or the typed one) used the plan's way.
// Its fitting the tag is the caller's to check.
MadeValue makeValue(const ValuePlan &plan, const ValueSource &source);

// The way in words, for the report and before the run: "Each picture's date
// shifted: each date 1 hour 30 minutes later". Empty for a value written as typed.
QString planWords(const ValuePlan &plan);

// The most bytes a computed value may take in the tag: the EXIF block that
// holds every tag has 64 KB, and ExifTool splits a larger one where few
// programs read it.
inline constexpr int MaxStoredBytes = 60000;
// Why the value is too long for the tag, or nothing.
QString lengthRefusal(const QString &tagName, const QString &value);
