#pragma once

#include "program/HeightMap.h"

#include <QPointF>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

// What a height map is probed with. Heights, travel and depth are work Z in millimetres.
struct GridProbeRequest
{
    HeightMap::Grid grid;
    double feed = 50;       // mm/min of the first touch
    double travelZ = 2;     // the probe moves from point to point at this height
    double depthZ = -2;     // the deepest a touch may go: the target of its G38.2
    bool slowTouch = false; // back up a little and touch again at a quarter of the feed

    // Why it cannot be probed; empty when it can.
    QString fault() const;
    // The feed of each point's last touch.
    double lastFeed() const { return slowTouch ? feed / 4 : feed; }
};

// How a grid probe ended.
struct GridProbeOutcome
{
    bool complete = false;
    // Complete: the whole grid. Cut short: the rows probed whole, when there are two or more
    // (a bilinear surface needs whole rows); otherwise empty.
    HeightMap map;
    int probed = 0; // points
    int total = 0;
    QString message;
    QString system; // "G54": the work coordinates the heights are in
};

// A height map probed point by point: up to the travel height, over to the point, down until
// the probe touches. The touch is where the controller's "[PRB:x,y,z:1]" says, in machine
// coordinates; a status report cannot tell it (the probe may stop between two of them, and
// any later move looks the same), and the "ok" of a probing line without a report before it
// is a failure, not a contact. Each line goes out only once the one before it was accepted:
// after a refused move, the next touch would land somewhere else.
class GridProbe
{
public:
    static constexpr double slowRetract = 1.0; // mm above the first touch, for the second

    // offsetZ: the work offset's Z (machine Z = work Z + offset). modeWords go on the first line
    // beside G90: " G21" for a controller left in inches, " G94" for one in inverse time.
    void start(const GridProbeRequest &request, double offsetZ, const QString &modeWords,
               const QString &system);
    bool isActive() const { return active; }
    int done() const { return point; }
    int total() const { return points.size(); }
    const GridProbeRequest &request() const { return probing; }

    // The next line to write; empty while the last one waits for its answer (or its touch for
    // the report), and once the run is over.
    QString nextLine();
    // The controller's answer to the line written last; an outcome when it ends the run.
    std::optional<GridProbeOutcome> answered(bool ok, const QString &reply);
    // Any line the controller sends; an outcome when it is a probe report that ends the run.
    std::optional<GridProbeOutcome> probeReport(const QString &line);
    // An alarm: the touch found nothing ("ALARM:5"), or anything else.
    GridProbeOutcome alarm(const QString &line);
    // Ends the run short, naming the point: "why at point 7 (x 10, y 20)".
    GridProbeOutcome fail(const QString &why);

    // What is left, in seconds: at the pace of the points done so far, or before the first one
    // from the moves' lengths, the rapid rates (mm/min) and the feed, each touch going all the
    // way down.
    int secondsLeft(qint64 elapsedMs, double rapidXY, double rapidZ) const;

private:
    QStringList linesOfPoint(int index) const;
    QString touchLine(double feed) const;
    GridProbeOutcome outcome(bool complete, const QString &message) const;

    GridProbeRequest probing;
    QVector<QPointF> points; // in the order they are visited
    QVector<double> heights; // row by row, as the map holds them
    double offset = 0;
    QString firstWords;
    QString workSystem;
    bool active = false;
    int point = 0; // the one being probed; all done when it reaches the total
    bool secondTouch = false;
    QStringList pending;
    QString written;               // waits for its answer
    bool touchOut = false;         // the line written is a touch
    std::optional<double> touched; // work Z of its report
};
