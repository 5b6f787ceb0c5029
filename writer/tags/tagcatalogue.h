#pragma once

#include <QString>
#include <array>
#include <optional>

// One writable tag: the label the user picks and the tool option that writes
// it, with its leading blank and closing "=" (" -XPTitle=").
struct TagRow {
    const char *label;
    const char *option;
};

// A tag assignment as the user asked for it: the catalogue's option text
// (" -XPTitle=") and the value exactly as typed.
struct Assignment {
    QString option;
    QString value;
};

// The thirteen tags, in the order the tag selector offers them.
const std::array<TagRow, 13> &TagCatalogue();

// The option text of the first row whose label equals the text exactly
// (whole text, case-sensitive, no trimming); nothing when none does.
std::optional<QString> TagOptionFor(const QString &label);

// ExifTool's name of the tag an option writes: " -DateTimeOriginal=" -> "DateTimeOriginal".
QString TagNameOf(const QString &option);
