#pragma once

#include <QString>

class ProgressSink;

inline constexpr int WaitTickMs = 100;     // one poll of a file's wait
inline constexpr int WaitTextFromTick = 50; // about five seconds
inline constexpr int CreepEveryTicks = 150; // about fifteen seconds

// What the bar shows while the tool works on one file. tick() is called once
// per poll (every 100 ms); from the 50th poll the bar's text carries a
// "Please wait.. " counter, and every 150 polls from there the value creeps
// forward by a step that depends on the item count, up to a ceiling.
class WaitProgress {
public:
    // bar may be null: then nothing is counted or shown.
    WaitProgress(ProgressSink *bar, QString caption, int startValue, int itemCount);

    void tick();
    // Catches up with a wait that began before this object followed it.
    void tickTo(int polls);
    // Puts the caption back (or "Progress Bar" when the caption is empty).
    void finish();

    int polls() const { return m_polls; }

    // Whole numbers rounded half to even, as the bar takes them.
    static int stepFor(int itemCount);
    static int ceilingFor(int itemCount, int startValue);
    static QString waitingText(const QString &caption, int polls);

private:
    ProgressSink *m_bar;
    QString m_caption;
    int m_start;
    int m_count;
    int m_polls = 0;
};
