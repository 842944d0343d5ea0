#include "GridProbe.h"

#include "ControllerCodes.h"
#include "ProbeCycle.h"

#include "program/ModalState.h"

#include <QLineF>

#include <cmath>
#include <utility>

namespace {

constexpr double largest = 1e5;

QString plain(double value)
{
    return ModalState::plainNumber(value);
}

} // namespace

QString GridProbeRequest::fault() const
{
    if (const QString wrong = grid.fault(); !wrong.isEmpty())
        return wrong;
    for (double value : {feed, travelZ, depthZ}) {
        if (!std::isfinite(value) || std::abs(value) > largest)
            return QStringLiteral("the feed, travel height or depth is out of range");
    }
    if (feed < 1)
        return QStringLiteral("the probe feed must be 1 mm/min at least");
    if (depthZ >= travelZ)
        return QStringLiteral("the probe depth must lie below the travel height");
    return {};
}

void GridProbe::start(const GridProbeRequest &request, double offsetZ, const QString &modeWords,
                      const QString &system)
{
    probing = request;
    points = request.grid.probeOrder();
    heights = QVector<double>(points.size());
    offset = offsetZ;
    firstWords = modeWords;
    workSystem = system;
    active = true;
    point = 0;
    secondTouch = false;
    written.clear();
    touchOut = false;
    touched.reset();
    pending = linesOfPoint(0);
}

QString GridProbe::touchLine(double feed) const
{
    return QStringLiteral("G38.2 Z%1 F%2").arg(plain(probing.depthZ), plain(feed));
}

QStringList GridProbe::linesOfPoint(int index) const
{
    const QPointF at = points.at(index);
    return {QStringLiteral("G90%1 G0 Z%2")
                .arg(index == 0 ? firstWords : QString(), plain(probing.travelZ)),
            QStringLiteral("G0 X%1 Y%2").arg(plain(at.x()), plain(at.y())),
            touchLine(probing.feed)};
}

QString GridProbe::nextLine()
{
    if (!active || !written.isEmpty() || pending.isEmpty())
        return {};
    written = pending.takeFirst();
    touchOut = written.startsWith(QLatin1String("G38.2"));
    return written;
}

std::optional<GridProbeOutcome> GridProbe::answered(bool ok, const QString &reply)
{
    if (!active || written.isEmpty())
        return std::nullopt;
    const QString line = std::exchange(written, QString());
    const bool touch = std::exchange(touchOut, false);
    if (!ok)
        return fail(QStringLiteral("\"%1\" was refused (%2)").arg(line, reply));
    if (!touch) {
        if (point < total() || !pending.isEmpty())
            return std::nullopt;
        active = false;
        return outcome(true, QStringLiteral("Height map probed: %1 points, %2")
                                 .arg(total())
                                 .arg(HeightMap(probing.grid, heights).rangeText()));
    }
    if (!touched)
        return fail(QStringLiteral("the controller did not report the probe's contact"));
    const double z = *std::exchange(touched, std::nullopt);
    if (probing.slowTouch && !secondTouch) {
        secondTouch = true;
        pending =
            QStringList{QStringLiteral("G0 Z") + plain(std::min(z + slowRetract, probing.travelZ)),
                        touchLine(probing.feed / 4)};
        return std::nullopt;
    }
    secondTouch = false;
    const int columns = probing.grid.columns;
    const int row = point / columns;
    const int along = point % columns;
    heights[row * columns + (row % 2 ? columns - 1 - along : along)] = z;
    ++point;
    pending = point < total() ? linesOfPoint(point)
                              : QStringList{QStringLiteral("G0 Z") + plain(probing.travelZ)};
    return std::nullopt;
}

std::optional<GridProbeOutcome> GridProbe::probeReport(const QString &line)
{
    if (!active || !touchOut || touched || !line.startsWith(QLatin1String("[PRB:")))
        return std::nullopt;
    const std::optional<ProbeCycle::Report> report = ProbeCycle::readReport(line);
    if (!report)
        return fail(QStringLiteral("the controller's probe report is unreadable (%1)").arg(line));
    if (!report->contact)
        return fail(QStringLiteral("no contact"));
    touched = report->position[2] - offset;
    return std::nullopt;
}

GridProbeOutcome GridProbe::alarm(const QString &line)
{
    if (touchOut && line == QLatin1String("ALARM:5"))
        return fail(QStringLiteral("no contact"));
    return fail(ControllerCodes::readable(line));
}

GridProbeOutcome GridProbe::fail(const QString &why)
{
    active = false;
    pending.clear();
    written.clear();
    touchOut = false;
    touched.reset();
    QString where = QStringLiteral("after the last point");
    if (point < total()) {
        const QPointF at = points.at(point);
        where = QStringLiteral("at point %1 (x %2, y %3)")
                    .arg(point + 1)
                    .arg(plain(at.x()), plain(at.y()));
    }
    return outcome(false, QStringLiteral("Height map cut short: %1 %2; %3 of %4 points probed")
                              .arg(why, where)
                              .arg(point)
                              .arg(total()));
}

// Whole rows make a smaller grid of their own: a bilinear surface cannot be made of less.
GridProbeOutcome GridProbe::outcome(bool complete, const QString &message) const
{
    GridProbeOutcome ending{complete, {}, point, total(), message, workSystem};
    const HeightMap::Grid &grid = probing.grid;
    const int rows = point / grid.columns;
    if (rows == grid.rows) {
        ending.map = HeightMap(grid, heights);
    } else if (rows >= 2) {
        HeightMap::Grid probed = grid;
        probed.rows = rows;
        probed.y1 = grid.y0 + (grid.y1 - grid.y0) * (rows - 1) / (grid.rows - 1);
        ending.map = HeightMap(probed, heights.mid(0, rows * grid.columns));
    }
    return ending;
}

int GridProbe::secondsLeft(qint64 elapsedMs, double rapidXY, double rapidZ) const
{
    const int left = total() - point;
    if (point > 0)
        return int(std::ceil(elapsedMs / 1000.0 / point * left));
    const double fall = probing.travelZ - probing.depthZ;
    double minutes = 0;
    for (int index = point; index < total(); ++index) {
        const double over = index > 0 ? QLineF(points.at(index - 1), points.at(index)).length() : 0;
        minutes += over / std::max(1.0, rapidXY) + fall / std::max(1.0, rapidZ) +
                   fall / std::max(1.0, probing.feed);
        if (probing.slowTouch)
            minutes += slowRetract / std::max(1.0, rapidZ) + slowRetract / probing.lastFeed();
    }
    return int(std::ceil(minutes * 60));
}
