#pragma once

#include "BenchProgram.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QWidget>

#include <functional>

// Notes when a widget has painted after a moment, so a benchmark can wait for what the operator
// sees rather than for a call to return.
class PaintWatch : public QObject
{
public:
    explicit PaintWatch(QWidget *widget) { widget->installEventFilter(this); }

    bool painted = false;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

// Runs the event loop until every watch has seen a paint; returns the milliseconds since start.
inline double untilPainted(const QElapsedTimer &start, std::initializer_list<PaintWatch *> watches)
{
    const auto allPainted = [&] {
        for (PaintWatch *watch : watches) {
            if (!watch->painted)
                return false;
        }
        return true;
    };
    while (!allPainted() && start.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return BenchProgram::msSince(start);
}

inline void resetWatches(std::initializer_list<PaintWatch *> watches)
{
    for (PaintWatch *watch : watches)
        watch->painted = false;
}

// The longest time the event loop went without turning, over a while of doing nothing else.
inline double longestStallMs(int forMs)
{
    QElapsedTimer whole, sinceLast;
    whole.start();
    sinceLast.start();
    double longest = 0;
    while (whole.elapsed() < forMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        longest = std::max(longest, BenchProgram::msSince(sinceLast));
        sinceLast.restart();
    }
    return longest;
}
