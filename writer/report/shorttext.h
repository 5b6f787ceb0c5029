#pragma once

#include <QString>

// A typed or stored value fit for one line of a message: line breaks and tabs
// shown as visible signs, and a long text cut with its length named.
QString shortenedValue(const QString &text, int maxLength = 60);

// A long line (a command line) cut after its first characters, with its
// length named: "... (66,000 characters)".
QString elidedLine(const QString &text, int keep = 200);
