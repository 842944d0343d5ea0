#include "HeightMap.h"

#include "ModalState.h"

#include <QHash>

#include <algorithm>
#include <cmath>

namespace {

// Coordinates closer than this are one column or row: files round their numbers.
constexpr double sameAt = 1e-4;
constexpr double largest = 1e6;

qint64 key(double value)
{
    return qRound64(value / sameAt);
}

QString pointName(double x, double y)
{
    return QStringLiteral("x %1, y %2").arg(ModalState::plainNumber(x), ModalState::plainNumber(y));
}

QVector<double> distinct(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    QVector<double> kept;
    for (double value : values) {
        if (kept.isEmpty() || key(value) != key(kept.last()))
            kept << value;
    }
    return kept;
}

QVector<double> evenly(double from, double to, int count)
{
    QVector<double> at(count);
    for (int k = 0; k < count; ++k)
        at[k] = k == count - 1 ? to : from + (to - from) * k / (count - 1);
    return at;
}

} // namespace

QString HeightMap::Grid::fault() const
{
    for (double value : {x0, y0, x1, y1}) {
        if (!std::isfinite(value) || std::abs(value) > largest)
            return QStringLiteral("the area is out of range");
    }
    if (columns < 2 || rows < 2)
        return QStringLiteral("a grid needs at least 2 columns and 2 rows");
    if (qint64(columns) * rows > maxPoints)
        return QStringLiteral("a grid may have %1 points at most").arg(maxPoints);
    if (x1 - x0 < sameAt * 10 || y1 - y0 < sameAt * 10)
        return QStringLiteral("the area must have a width and a depth");
    return {};
}

QVector<QPointF> HeightMap::Grid::probeOrder() const
{
    const QVector<double> xs = evenly(x0, x1, columns);
    const QVector<double> ys = evenly(y0, y1, rows);
    QVector<QPointF> order;
    order.reserve(columns * rows);
    for (int row = 0; row < rows; ++row) {
        for (int k = 0; k < columns; ++k)
            order << QPointF(xs[row % 2 ? columns - 1 - k : k], ys[row]);
    }
    return order;
}

HeightMap::HeightMap(const Grid &grid, QVector<double> heights)
    : HeightMap(evenly(grid.x0, grid.x1, grid.columns), evenly(grid.y0, grid.y1, grid.rows),
                std::move(heights))
{
}

HeightMap::HeightMap(QVector<double> columnsAt, QVector<double> rowsAt, QVector<double> heights)
    : xs(std::move(columnsAt)), ys(std::move(rowsAt)), heights(std::move(heights))
{
    if (this->heights.size() != xs.size() * ys.size() || xs.size() < 2 || ys.size() < 2)
        *this = HeightMap();
}

std::variant<HeightMap, QString> HeightMap::read(QStringView text)
{
    struct Point
    {
        double x, y, z;
        int line;
    };
    QVector<Point> points;
    int lineNumber = 0;
    for (QStringView line : text.split(QLatin1Char('\n'))) {
        ++lineNumber;
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const auto fields = line.split(QLatin1Char(','));
        double value[3] = {};
        bool ok = fields.size() == 3;
        for (int k = 0; ok && k < 3; ++k) {
            value[k] = fields[k].trimmed().toDouble(&ok);
            ok = ok && std::isfinite(value[k]) && std::abs(value[k]) <= largest;
        }
        if (!ok)
            return QStringLiteral("line %1 is not a point \"x,y,z\"").arg(lineNumber);
        if (points.size() == maxPoints)
            return QStringLiteral("more than %1 points").arg(maxPoints);
        points << Point{value[0], value[1], value[2], lineNumber};
    }
    QVector<double> allX, allY;
    for (const Point &point : points) {
        allX << point.x;
        allY << point.y;
    }
    const QVector<double> xs = distinct(allX);
    const QVector<double> ys = distinct(allY);
    if (xs.size() < 2 || ys.size() < 2)
        return QStringLiteral("a map needs at least 2 columns and 2 rows of points");
    QHash<QPair<qint64, qint64>, double> byPlace;
    for (const Point &point : points) {
        const auto place = qMakePair(key(point.x), key(point.y));
        if (byPlace.contains(place))
            return QStringLiteral("line %1: a second point at %2")
                .arg(point.line)
                .arg(pointName(point.x, point.y));
        byPlace.insert(place, point.z);
    }
    // More places than points: the walk meets a missing one before it has gone past them all.
    QVector<double> heights;
    for (double y : ys) {
        for (double x : xs) {
            const auto found = byPlace.constFind(qMakePair(key(x), key(y)));
            if (found == byPlace.constEnd())
                return QStringLiteral("no point at %1").arg(pointName(x, y));
            heights << *found;
        }
    }
    return HeightMap(xs, ys, heights);
}

QString HeightMap::write(const QStringList &comments) const
{
    QString text;
    for (const QString &comment : comments)
        text += QStringLiteral("# ") +
                QString(comment).replace(QLatin1Char('\n'), QLatin1Char(' ')) + QLatin1Char('\n');
    for (int row = 0; row < rows(); ++row) {
        for (int column = 0; column < columns(); ++column) {
            text += QStringLiteral("%1,%2,%3\n")
                        .arg(ModalState::plainNumber(xs[column]), ModalState::plainNumber(ys[row]),
                             ModalState::plainNumber(height(column, row)));
        }
    }
    return text;
}

double HeightMap::lowest() const
{
    return isEmpty() ? 0 : *std::min_element(heights.begin(), heights.end());
}

double HeightMap::highest() const
{
    return isEmpty() ? 0 : *std::max_element(heights.begin(), heights.end());
}

QString HeightMap::rangeText() const
{
    return QString::asprintf("%+.3f \u2026 %+.3f mm", lowest(), highest());
}

double HeightMap::spacing() const
{
    double widest = 0;
    for (const QVector<double> *at : {&xs, &ys}) {
        for (int k = 1; k < at->size(); ++k)
            widest = std::max(widest, at->at(k) - at->at(k - 1));
    }
    return widest;
}

// The first of the two columns (rows) around `value`, the edge's outside.
int HeightMap::cell(const QVector<double> &at, double value)
{
    const auto above = std::upper_bound(at.begin(), at.end(), value);
    return std::clamp(int(above - at.begin()) - 1, 0, int(at.size()) - 2);
}

double HeightMap::at(double px, double py) const
{
    if (isEmpty())
        return 0;
    const int c = cell(xs, px);
    const int r = cell(ys, py);
    const double u = std::clamp((px - xs[c]) / (xs[c + 1] - xs[c]), 0.0, 1.0);
    const double v = std::clamp((py - ys[r]) / (ys[r + 1] - ys[r]), 0.0, 1.0);
    const double below = height(c, r) * (1 - u) + height(c + 1, r) * u;
    const double over = height(c, r + 1) * (1 - u) + height(c + 1, r + 1) * u;
    return below * (1 - v) + over * v;
}

double HeightMap::outside(double px, double py) const
{
    if (isEmpty())
        return 0;
    const double dx = std::max({left() - px, px - right(), 0.0});
    const double dy = std::max({bottom() - py, py - top(), 0.0});
    return std::hypot(dx, dy);
}
