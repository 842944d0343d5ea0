#pragma once

#include "preview/PathPoint.h"

#include <QLineF>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <QVector>

#include <cmath>

// The controller's reading of a program, written the plain way, as the yardstick for the
// station's own reader: each line is cleaned of comments and blanks first, then cut into words
// by a pattern, checked, and carried out on a modal state; arcs are stepped by angle as the
// preview draws them. Slow, and meant to be.
namespace ProgramReference {

constexpr int Rapid = 0, Linear = 1, Clockwise = 2, CounterClockwise = 3, Probe = 4, Cancel = 5;

// What the controller makes of a G number (to two decimals): its group ("motion", "distance",
// "units", "special", "plane" or "other") and what it sets.
using GMeaning = QPair<QString, int>;

inline const QMap<long, GMeaning> &gMeanings()
{
    static const QMap<long, GMeaning> meanings = [] {
        QMap<long, GMeaning> table{
            {0, {"motion", Rapid}},       {100, {"motion", Linear}},
            {200, {"motion", Clockwise}}, {300, {"motion", CounterClockwise}},
            {8000, {"motion", Cancel}},   {9000, {"distance", 0}},
            {9100, {"distance", 1}},      {2000, {"units", 1}},
            {2100, {"units", 0}}};
        for (long probe : {3820, 3830, 3840, 3850})
            table.insert(probe, {"motion", Probe});
        for (long special : {400, 1000, 2800, 2810, 3000, 3010, 4310, 5300, 9200, 9210})
            table.insert(special, {"special", 0});
        for (long plane : {1700, 1800, 1900})
            table.insert(plane, {"plane", 0});
        for (long other : {4000, 4900, 5400, 5500, 5600, 5700, 5800, 5900, 6100, 9110, 9300, 9400})
            table.insert(other, {"other", 0});
        return table;
    }();
    return meanings;
}

// The line as the controller's receiving side passes it on: no comments, blanks or block
// deletes, letters in upper case.
inline QString cleaned(QString line)
{
    static const QRegularExpression comment("\\([^)]*\\)?"), ignored("[\\x00- /]");
    line = line.remove(comment).section(';', 0, 0).remove(ignored);
    for (QChar &c : line)
        c = c >= 'a' && c <= 'z' ? QChar(c.unicode() - 32) : c;
    return line;
}

struct Line
{
    QMap<QChar, float> values;   // every letter but G and M
    QMap<QString, int> commands; // group -> value, from the G words
    bool refused = false;
};

inline Line parsed(const QString &text)
{
    // \G ties each match to where the last word ended.
    static const QRegularExpression word("\\G([A-Z])([+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+))");
    const QString line = cleaned(text);
    Line result;
    for (int at = 0; at < line.size() && !result.refused;) {
        const QRegularExpressionMatch match = word.match(line, at);
        const QChar letter = match.hasMatch() ? match.captured(1)[0] : QChar();
        const float value = match.captured(2).toFloat();
        if (!match.hasMatch() || !QStringLiteral("FGIJKLMNPRSTXYZ").contains(letter)) {
            result.refused = true;
        } else if (letter == QLatin1Char('G')) {
            const long code = std::fabs(value) < 1e6f ? std::lround(double(value) * 100) : -1;
            const auto [group, sets] = gMeanings().value(code, {"unknown", 0});
            // One command per line may take the axis words.
            static const QSet<long> axisUsers{0,    100,  200,  300,  3820, 3830, 3840,
                                              3850, 1000, 2800, 3000, 9200, 4310, 4900};
            const bool secondAxisUser =
                axisUsers.contains(code) && result.commands.contains("axis");
            result.refused = group == "unknown" || secondAxisUser ||
                             (group != "other" && result.commands.contains(group));
            if (group != "other")
                result.commands.insert(group, sets);
            if (axisUsers.contains(code))
                result.commands.insert("axis", 0);
        } else if (letter != QLatin1Char('M')) {
            result.refused = result.values.contains(letter);
            result.values.insert(letter, value);
        }
        at = match.capturedEnd();
    }
    return result;
}

// Reads lines one after another into a path that starts at the origin.
class Reader
{
public:
    QVector<PathPoint> path{{0, 0, 0, 0}};

    void read(const QString &text)
    {
        const Line line = parsed(text);
        const float unit = line.commands.value("units", inches) ? 25.4f : 1.0f;
        if (line.refused || !step(line, unit))
            return;
        inches = line.commands.value("units", inches);
        incremental = line.commands.value("distance", incremental);
        mode = line.commands.value("motion", mode);
    }

private:
    float x = 0, y = 0, z = 0;
    int mode = Rapid;
    bool incremental = false, inches = false;

    // Makes the line's move; false when the controller refuses the line.
    bool step(const Line &line, float unit)
    {
        const auto has = [&line](char letter) { return line.values.contains(letter); };
        const auto value = [&](char letter) { return line.values.value(letter) * unit; };
        const int motion = line.commands.value("motion", mode);
        if (!(has('X') || has('Y') || has('Z')) || line.commands.contains("special") ||
            motion == Probe)
            return true;
        if (motion == Cancel)
            return false;
        const bool relative = line.commands.value("distance", incremental);
        const auto target = [&](char letter, float now) {
            return !has(letter) ? now : relative ? now + value(letter) : value(letter);
        };
        const float toX = target('X', x), toY = target('Y', y), toZ = target('Z', z);
        if (motion == Rapid || motion == Linear) {
            append(toX, toY, toZ, motion);
        } else {
            // By radius, or by the centre's offsets; an arc needs a move in the plane.
            double i = value('I'), j = value('J');
            if ((!has('X') && !has('Y')) || (!has('R') && !has('I') && !has('J')) ||
                (has('R') && !centreFromRadius(value('R'), motion, toX, toY, i, j)))
                return false;
            arc(motion, i, j, toX, toY, toZ);
        }
        x = toX, y = toY, z = toZ;
        return true;
    }

    // The centre lies on the chord's perpendicular bisector, at the height that makes the
    // radius; clockwise with a positive radius it lies to the right of the chord.
    bool centreFromRadius(double r, int motion, float toX, float toY, double &i, double &j) const
    {
        const double dx = double(toX) - double(x), dy = double(toY) - double(y);
        const double h2 = 4 * r * r - dx * dx - dy * dy;
        const double d = std::hypot(dx, dy);
        if (h2 < 0 || d == 0)
            return false;
        const double h = ((motion == CounterClockwise) != (r < 0) ? 1 : -1) * std::sqrt(h2) / d;
        i = 0.5 * (dx - dy * h), j = 0.5 * (dy + dx * h);
        return true;
    }

    void append(double px, double py, double pz, int g)
    {
        const PathPoint point{float(px), float(py), float(pz), float(g)};
        if (std::isfinite(point.x) && std::isfinite(point.y) && std::isfinite(point.z) &&
            path.size() < 10'000'000)
            path.append(point);
    }

    void arc(int G, double I, double J, float X, float Y, float Z)
    {
        const double Cx = double(x) + I, Cy = double(y) + J;
        const double r = QLineF(Cx, Cy, x, y).length();
        double a1 = 360 - QLineF(Cx, Cy, x, y).angle();
        double a2 = 360 - QLineF(Cx, Cy, X, Y).angle();
        double s = G == 3 ? std::min(10.0, 360 / r) : -std::min(10.0, 360 / r);
        if (G == 3 && a1 >= a2)
            a2 += 360;
        if (G == 2 && a2 >= a1)
            a1 += 360;
        if (std::abs(a1 - a2) / std::abs(s) > 3600)
            s = std::copysign(std::abs(a1 - a2) / 3600, s);
        const double dz = (double(Z) - z) / (std::abs(a1 - a2) / std::abs(s));
        const bool drawable = r > 0 && std::isfinite(r) && std::isfinite(a1) && std::isfinite(a2) &&
                              std::isfinite(dz);
        double a = a1, pz = z;
        for (int steps = 0; drawable && steps < 3600; ++steps) {
            a += s, pz += dz;
            if (!((G == 3 && a < a2) || (G == 2 && a > a2)))
                break;
            append(Cx + r * std::cos(a * 0.017453292519943295),
                   Cy + r * std::sin(a * 0.017453292519943295), pz, G);
        }
        append(X, Y, Z, G);
    }
};

inline QStringList lines(const QString &text)
{
    return text.split(QRegularExpression(QStringLiteral("[\r\n\u2028\u2029]")), Qt::SkipEmptyParts);
}

// The path of a whole text; a text without a line leaves the previous path.
inline QVector<PathPoint> interpret(const QString &text, const QVector<PathPoint> &previous = {})
{
    if (lines(text).isEmpty())
        return previous;
    Reader reader;
    for (const QString &line : lines(text))
        reader.read(line);
    return reader.path;
}

} // namespace ProgramReference
