#pragma once

#include <QString>
#include <optional>

// A date-time by its fields, as the EXIF date tags store it.
struct DateFields {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    bool operator==(const DateFields &o) const
    {
        return year == o.year && month == o.month && day == o.day && hour == o.hour
            && minute == o.minute && second == o.second;
    }
};

// Whether ExifTool accepts the text as a date-time for the three date tags:
// "YYYY:MM:DD HH:MM:SS" with any non-digit separators, missing seconds, a
// fraction, a time zone, and the word "now". Empty is allowed (it removes the tag).
bool exifToolAcceptsDate(const QString &value);

// The fields ExifTool stores for a typed value it accepts; nothing for "now",
// the empty text and values it refuses.
std::optional<DateFields> exifToolDateFields(const QString &value);

// True for the word ExifTool replaces by the current date-time.
bool isNowWord(const QString &value);

// The fields of a stored EXIF date-time ("YYYY:MM:DD HH:MM:SS", missing
// seconds read as 00); nothing when the text is no valid date-time.
std::optional<DateFields> storedDateFields(const QString &stored);

// The one message shown before a run when the value is refused.
QString invalidDateMessage(const QString &value);

bool isDateTag(const QString &tagName);
