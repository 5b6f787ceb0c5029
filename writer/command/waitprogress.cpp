#include "writer/command/waitprogress.h"

#include <algorithm>
#include <cmath>

#include "writer/command/progresssink.h"

namespace {

// The bar takes whole numbers; halves go to the even neighbour (2.5 -> 2,
// 0.5 -> 0), which is what makes twenty files or more keep the value still.
int roundHalfEven(double value)
{
    const double floor = std::floor(value);
    const double fraction = value - floor;
    double result = floor;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(floor, 2.0) != 0.0))
        result += 1.0;
    return static_cast<int>(result);
}

// A count below one would divide by zero; treat it as a single file.
int atLeastOne(int itemCount) { return std::max(itemCount, 1); }

} // namespace

WaitProgress::WaitProgress(ProgressSink *bar, QString caption, int startValue, int itemCount)
    : m_bar(bar)
    , m_caption(std::move(caption))
    , m_start(startValue)
    , m_count(atLeastOne(itemCount))
{
}

int WaitProgress::stepFor(int itemCount)
{
    return roundHalfEven(100.0 / atLeastOne(itemCount) / 10.0);
}

int WaitProgress::ceilingFor(int itemCount, int startValue)
{
    return roundHalfEven(100.0 / atLeastOne(itemCount) + startValue - stepFor(itemCount));
}

QString WaitProgress::waitingText(const QString &caption, int polls)
{
    QString text = caption;
    if (!caption.isEmpty())
        text += QStringLiteral(", ");
    return text + QStringLiteral("Please wait.. ") + QString::number(polls - WaitTextFromTick);
}

void WaitProgress::tick()
{
    if (!m_bar)
        return;
    ++m_polls;
    if (m_polls < WaitTextFromTick)
        return;
    m_bar->setBarText(waitingText(m_caption, m_polls));
    const int sinceText = m_polls - WaitTextFromTick;
    if (sinceText % CreepEveryTicks != 0)
        return;
    // 64-bit so that a wait of days cannot overflow before the ceiling caps it.
    const long long k = sinceText / CreepEveryTicks;
    const long long value = static_cast<long long>(m_start) + k * stepFor(m_count);
    const int ceiling = ceilingFor(m_count, m_start);
    m_bar->setBarValue(value < ceiling ? static_cast<int>(value) : ceiling);
}

void WaitProgress::tickTo(int polls)
{
    while (m_bar && m_polls < polls)
        tick();
}

void WaitProgress::finish()
{
    if (!m_bar)
        return;
    m_bar->setBarText(m_caption.isEmpty() ? QStringLiteral("Progress Bar") : m_caption);
}
