#pragma once

#include <QElapsedTimer>
#include <QTimer>

// Measures how long the GUI event loop was kept from running: a 5 ms timer that notes the
// longest gap between two of its ticks.
class EventLoopWatch : public QObject
{
public:
    EventLoopWatch()
    {
        timer.setTimerType(Qt::PreciseTimer);
        connect(&timer, &QTimer::timeout, this, [this] {
            const qint64 now = clock.nsecsElapsed();
            if (last >= 0)
                longestGapNs = qMax(longestGapNs, now - last);
            last = now;
        });
        clock.start();
        timer.start(5);
    }
    double longestGapMs() const { return longestGapNs / 1e6; }

private:
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = -1;
    qint64 longestGapNs = 0;
};
