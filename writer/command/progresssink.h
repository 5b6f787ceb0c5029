#pragma once

#include <QString>

// What the run needs of a progress bar: a value and a line of text.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void setBarValue(int value) = 0;
    virtual int barValue() const = 0;
    virtual void setBarText(const QString &text) = 0;
    virtual QString barText() const = 0;
};
