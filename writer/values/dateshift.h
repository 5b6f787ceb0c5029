#pragma once

#include <QString>
#include <optional>

// An amount to move dates by. Typed as a sign, "+" for later or "-" for
// earlier, then amounts with their units: y (years), mo (months), d (days),
// h (hours), m (minutes), s (seconds), the units' words also understood
// ("+1h30m", "-2d", "+1 year", "- 3 days 4 hours"), or a clock amount
// ("-0:30", "+1:30:15").
//
// Years and months move the calendar date and keep the day, which becomes the
// month's last where the month is shorter (Jan 31 + 1 month is Feb 28, or 29
// in a leap year); days, hours, minutes and seconds then move it by their
// exact time.
struct DateShift {
    int months = 0;      // years count as 12 months each
    qint64 seconds = 0;
    bool later = true;   // the sign; the amounts above are never negative
};

// Nothing when the text is no shift; *whyNot then says why in words.
std::optional<DateShift> parseDateShift(const QString &text, QString *whyNot);

// "each date 1 hour 30 minutes later"
QString describeShift(const DateShift &shift);

// The stored date "YYYY:MM:DD HH:MM:SS" moved by the shift, in that form.
// Sub-seconds and time zones are not kept. Nothing when the text is no date
// or the result falls outside the years 1 to 9999.
std::optional<QString> shiftedDate(const QString &stored, const DateShift &shift);
