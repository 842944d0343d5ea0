#pragma once

#include <QPointF>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVector>

#include <variant>

// The stock's surface, probed on a rectangular grid: heights in work Z (mm) over work X and Y.
// Between probes it is bilinear, so a plane is exact; outside the grid, the nearest edge's
// height. The columns and rows need not be evenly spaced: a file from another tool may not be.
class HeightMap
{
public:
    // A grid to probe: `columns` x `rows` points spread evenly over the rectangle, corners
    // included; at least 2 x 2.
    struct Grid
    {
        double x0 = 0;
        double y0 = 0;
        double x1 = 0;
        double y1 = 0;
        int columns = 2;
        int rows = 2;
        // Why the grid cannot be probed, empty when it can.
        QString fault() const;
        // The points in the order a probe visits them: row by row, every other row backwards,
        // so each move over is one spacing long.
        QVector<QPointF> probeOrder() const;
    };
    static constexpr int maxPoints = 100000;

    HeightMap() = default;
    // Heights row by row from (x0, y0); `heights` holds columns x rows values.
    HeightMap(const Grid &grid, QVector<double> heights);

    // The text of a map file: one point a line "x,y,z", "#" starts a comment line. The points
    // may come in any order but must fill a rectangular grid; otherwise the reason, naming the
    // first line that cannot be read or the first point missing.
    static std::variant<HeightMap, QString> read(QStringView text);
    // Comments first (each gets its "# "), then the points row by row.
    QString write(const QStringList &comments) const;

    bool isEmpty() const { return heights.isEmpty(); }
    int columns() const { return xs.size(); }
    int rows() const { return ys.size(); }
    double x(int column) const { return xs.at(column); }
    double y(int row) const { return ys.at(row); }
    double height(int column, int row) const { return heights.at(row * columns() + column); }
    double lowest() const;
    double highest() const;
    // "-0.120 … +0.080 mm": from the lowest height to the highest.
    QString rangeText() const;
    // The widest step between two columns or two rows.
    double spacing() const;
    double left() const { return xs.first(); }
    double right() const { return xs.last(); }
    double bottom() const { return ys.first(); }
    double top() const { return ys.last(); }

    // The surface's height at a point; outside the grid, the nearest edge's.
    double at(double px, double py) const;
    // How far a point lies outside the grid, 0 inside.
    double outside(double px, double py) const;

private:
    HeightMap(QVector<double> columnsAt, QVector<double> rowsAt, QVector<double> heights);
    static int cell(const QVector<double> &at, double value);

    QVector<double> xs;
    QVector<double> ys;
    QVector<double> heights; // row by row
};
