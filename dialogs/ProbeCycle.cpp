#include "ProbeCycle.h"

namespace {

const QString idle = QStringLiteral("Idle");
const QString alarm = QStringLiteral("Alarm");

} // namespace

QString probeCommand(QChar axis, double distance, int feed)
{
    if (distance == 0)
        distance = 0; // a typed "-0" would otherwise read "+-0"
    const QString sign = distance >= 0 ? QStringLiteral("+") : QString();
    return QStringLiteral("G38.2 ") + axis + sign + QString::number(distance, 'g', 6) +
           QStringLiteral(" F") + QString::number(feed);
}

QString setPositionCommand(QChar axis, double height)
{
    return QStringLiteral("G92 ") + axis + QString::number(height, 'g', 6);
}

void ProbeCycle::start(QChar axis)
{
    probedAxis = axis;
    probeState = ProbeSent;
}

bool ProbeCycle::report(const QString &machineState)
{
    if (probeState == ProbeIdle)
        return false;
    // After an alarm the machine stands wherever the probe gave up; setting the work position
    // there would put every following cut at the wrong height.
    if (machineState == alarm) {
        probeState = ProbeIdle;
        return false;
    }
    if (machineState != idle) {
        probeState = ProbeRunning;
        return false;
    }
    if (probeState != ProbeRunning)
        return false;
    probeState = ProbeIdle;
    return true;
}
