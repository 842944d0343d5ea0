#pragma once

#include "machine/ProbeCycle.h"
#include "program/StartFromLine.h"

#include <QString>

// All that a tool dialog may ask of the station: send a command to the controller, read the
// work position the controller last reported, start a probing cycle, and start the program in
// the editor at one of its lines. The main window
// implements it over its machine session; a dialog finds it through parent() and does nothing
// without it.
class MachineAccess
{
public:
    virtual ~MachineAccess() = default;
    // One command line to the controller; false when it was not sent (offline, or locked out
    // by a running program or probe, which the station says itself).
    virtual bool SendCommand(const QString &command) = 0;
    // X, Y or Z (0, 1, 2) of the work position.
    virtual double workPosition(int axis) const = 0;
    // Why the probe could not start; empty when it started. Its end comes to the dialog
    // through ProbingDialog::ProbeFinished.
    virtual QString StartProbe(const ProbeRequest &request) = 0;
    // The program in the editor, as it stands.
    virtual QString programText() const = 0;
    // Why the program could not start there; empty when it started.
    virtual QString StartProgramAt(const StartFromLine &start) = 0;
};
