#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <algorithm>

#include "bench/benchplatform.h"

// The longest gap between the ticks of a short timer, less its interval: how
// long the event loop was kept from the window.
class StallProbe {
public:
    StallProbe()
    {
        m_timer.setInterval(stallProbeIntervalMs());
        QObject::connect(&m_timer, &QTimer::timeout, [this] { m_longest = std::max(m_longest, m_clock.restart()); });
    }
    void start()
    {
        m_longest = 0;
        m_clock.start();
        m_timer.start();
    }
    qint64 stop()
    {
        m_timer.stop();
        return std::max<qint64>(0, m_longest - m_timer.interval());
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
};
