#pragma once

#include "machine/GridProbe.h"
#include "machine/ProbeCycle.h"
#include "program/HeightMap.h"
#include "program/StartFromLine.h"

#include <QPointF>
#include <QRectF>
#include <QString>
#include <QVector>

#include <optional>

// All that a tool dialog may ask of the station: send a command to the controller, read the
// work position and coordinate system the controller last reported, start a probing cycle or the
// probing of a height map, start the program in the editor at one of its lines, and keep and show
// the height map. The main window implements it over its machine session; a dialog finds it through
// parent() and does nothing without it.
class MachineAccess
{
public:
    virtual ~MachineAccess() = default;
    // One command line to the controller; false when it was not sent (offline, or locked out
    // by a running program or probe, which the station says itself).
    virtual bool SendCommand(const QString &command) = 0;
    // X, Y or Z (0, 1, 2) of the work position.
    virtual double workPosition(int axis) const = 0;
    // The work coordinate system in use: 54 .. 59.
    virtual int coordinateSystem() const = 0;
    // Why the probe could not start; empty when it started. Its end comes to the dialog
    // through ProbingDialog::ProbeFinished.
    virtual QString StartProbe(const ProbeRequest &request) = 0;
    // The program in the editor, as it stands.
    virtual QString programText() const = 0;
    // Why the program could not start there; empty when it started.
    virtual QString StartProgramAt(const StartFromLine &start) = 0;

    // The work XY the program's cutting moves cover; nullopt when it has none.
    virtual std::optional<QRectF> programExtent() const = 0;
    // Why the grid could not be probed; empty when its probing started. Its progress and end
    // come to the dialog through HeightMapDialog's slots.
    virtual QString StartGridProbe(const GridProbeRequest &request) = 0;
    // Ends the probing of a grid and stops the machine where it is.
    virtual void StopGridProbe() = 0;
    // The map the station keeps (across programs) and shows; an empty one drops it.
    virtual void setHeightMap(const HeightMap &map) = 0;
    virtual HeightMap heightMap() const = 0;
    // The points a grid would be probed at, drawn over the program; none: nothing drawn.
    virtual void showProbeGrid(const QVector<QPointF> &points) = 0;
};
