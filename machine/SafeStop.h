#pragma once

#include "MachineSession.h"

#include <QObject>
#include <QTimer>

#include <array>
#include <optional>

// Stops whatever moves the machine without losing its position: a feed hold first, then, once
// the machine stands, a soft reset that throws away what the controller still holds. A reset
// while the axes still move would lose steps (and raise an alarm), so the machine is asked
// until it says it stands; one that never comes to rest is reset all the same.
class SafeStop : public QObject
{
    Q_OBJECT

public:
    explicit SafeStop(MachineSession &session, QObject *parent = nullptr);

    // A job the session already holds (a refused line) is not held twice.
    void start();
    // Does not wait for the machine any more.
    void resetNow();
    bool isRunning() const { return running; }

    static constexpr int pollMs = 100;
    static constexpr int restTimeoutMs = 10'000;

signals:
    void notice(const QString &text);
    // The reset has gone out, or the link was gone and nothing could.
    void finished();

private:
    void reported();
    bool standsStill();

    MachineSession &session;
    QTimer poll;
    QTimer deadline;
    bool running = false;
    bool restBefore = false;
    std::optional<std::array<double, 3>> heldAt; // where the last report found the machine
};
