#pragma once

#include <QChar>
#include <QString>

// "G38.2 Z-20 F20": a straight probe along one axis over a signed distance; a distance of
// 0 or more carries an explicit "+".
QString probeCommand(QChar axis, double distance, int feed);
// "G92 Z1.55": the probed axis's work coordinate set to the switch height.
QString setPositionCommand(QChar axis, double height);

// Follows one probing move through the state words of the status reports: sent, then seen
// busy, then at rest again. Only a move seen busy and then idle counts as done; a report of
// "Alarm" (a probe without contact, a reset) ends the cycle without success.
class ProbeCycle
{
public:
    enum State
    {
        ProbeSent = 0,
        ProbeRunning = 1,
        ProbeIdle = 2
    };

    State state() const { return probeState; }
    QChar axis() const { return probedAxis; }

    void start(QChar axis);
    // True when this report completes a cycle: the position may now be set.
    bool report(const QString &machineState);

private:
    State probeState = ProbeIdle;
    QChar probedAxis;
};
