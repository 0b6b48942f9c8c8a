#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// Measures how long the event loop goes without running: a 1 ms timer notes the longest gap
// between two of its ticks.
class StallMeter : public QObject
{
public:
    StallMeter()
    {
        m_ticks.setTimerType(Qt::PreciseTimer);
        m_ticks.setInterval(1);
        connect(&m_ticks, &QTimer::timeout, this, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_worst = std::max(m_worst, now - m_last);
            m_last = now;
        });
    }

    void start()
    {
        m_clock.start();
        m_last = 0;
        m_worst = 0;
        m_ticks.start();
    }
    void stop() { m_ticks.stop(); }
    double worstMilliseconds() const { return static_cast<double>(m_worst) / 1e6; }

private:
    QTimer m_ticks;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_worst = 0;
};
