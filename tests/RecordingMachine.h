#pragma once

#include "dialogs/MachineAccess.h"

#include <QStringList>
#include <QWidget>

// Stands where the station stands for a tool dialog: the parent it reaches through parent().
// It takes every command and probe request (writing them down) and shows the work position it
// is given.
class RecordingMachine : public QWidget, public MachineAccess
{
public:
    bool SendCommand(const QString &command) override
    {
        sent << command;
        return true;
    }
    double workPosition(int axis) const override
    {
        return axis >= 0 && axis < 3 ? work[axis] : 0.0;
    }
    QString StartProbe(const ProbeRequest &request) override
    {
        probes << request;
        return refusal;
    }

    QStringList sent;
    QList<ProbeRequest> probes;
    QString refusal; // what StartProbe answers
    double work[3] = {0, 0, 0};
};
