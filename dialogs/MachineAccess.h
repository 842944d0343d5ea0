#pragma once

#include <QString>

// All that a tool dialog may ask of the station: send a command to the controller, and read
// the work position as the displays show it. The main window implements it; a dialog finds it
// through parent() and does nothing without it.
class MachineAccess
{
public:
    virtual ~MachineAccess() = default;
    // Writes one command line to the controller; false when it could not be sent.
    virtual bool SendCommand(const QString &command) = 0;
    // X, Y or Z (0, 1, 2) of the work position, as the work displays show it.
    virtual double workPosition(int axis) const = 0;
};
