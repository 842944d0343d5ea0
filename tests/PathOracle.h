#pragma once

#include "preview/PathPoint.h"

#include <QLineF>
#include <QRegularExpression>
#include <QStringList>
#include <QVector>

#include <cmath>

// The preview interpreter as its rules are written: the plain text split at CR and LF, one
// pattern search per word from the start of the raw line, and the arc stepped by angle. The
// limits of the station (a capped arc, no point beyond the float range, no intermediate points
// on a zero radius) are written the same plain way. Slow, and meant to be: it is the yardstick
// the station's own scanner is held against.
namespace PathOracle {

inline QVector<PathPoint> interpret(const QString &text, const QVector<PathPoint> &previous = {})
{
    const QStringList lines = text.split(QRegularExpression("[\r\n]"), Qt::SkipEmptyParts);
    if (lines.isEmpty())
        return previous;

    static const QRegularExpression xWord("[xX]-?[0-9]*\\.?[0-9]*");
    static const QRegularExpression yWord("[yY]-?[0-9]*\\.?[0-9]*");
    static const QRegularExpression zWord("[zZ]-?[0-9]*\\.?[0-9]*");
    static const QRegularExpression iWord("[iI]-?[0-9]*\\.?[0-9]*");
    static const QRegularExpression jWord("[jJ]-?[0-9]*\\.?[0-9]*");
    static const QRegularExpression gWord("[gG][0-9]*");

    QVector<PathPoint> path{{0, 0, 0, 0}};
    const auto append = [&path](double x, double y, double z, int g) {
        const PathPoint point{float(x), float(y), float(z), float(g)};
        if (std::isfinite(point.x) && std::isfinite(point.y) && std::isfinite(point.z) &&
            path.size() < 10'000'000)
            path.append(point);
    };
    float X = 0, Y = 0, Z = 0, I = 0, J = 0;
    for (const QString &line : lines) {
        int G = -1;
        const auto read = [&line](const QRegularExpression &word, float &value) {
            const QRegularExpressionMatch match = word.match(line);
            if (match.hasMatch())
                value = match.captured(0).mid(1).toFloat();
        };
        read(xWord, X);
        read(yWord, Y);
        read(zWord, Z);
        read(iWord, I);
        read(jWord, J);
        const QRegularExpressionMatch g = gWord.match(line);
        if (g.hasMatch())
            G = g.captured(0).mid(1).toInt(nullptr, 10);

        if (G == 0 || G == 1) {
            append(X, Y, Z, G);
        } else if (G == 2 || G == 3) {
            const PathPoint P = path.last();
            const double Cx = double(P.x) + I, Cy = double(P.y) + J;
            const double r = QLineF(Cx, Cy, P.x, P.y).length();
            double a1 = 360 - QLineF(Cx, Cy, P.x, P.y).angle();
            double a2 = 360 - QLineF(Cx, Cy, X, Y).angle();
            double s = std::min(10.0, 360 / r);
            if (G == 3) {
                if (a1 >= a2)
                    a2 += 360;
            } else {
                s = -s;
                if (a2 >= a1)
                    a1 += 360;
            }
            if (std::abs(a1 - a2) / std::abs(s) > 3600)
                s = std::copysign(std::abs(a1 - a2) / 3600, s);
            const double dz = (double(Z) - P.z) / (std::abs(a1 - a2) / std::abs(s));
            double a = a1, z = P.z;
            if (r > 0 && std::isfinite(r) && std::isfinite(a1) && std::isfinite(a2) &&
                std::isfinite(dz)) {
                for (int steps = 0; steps < 3600; ++steps) {
                    a = a + s;
                    z = z + dz;
                    if ((G == 3 && a < a2) || (G == 2 && a > a2))
                        append(Cx + r * std::cos(a * 0.017453292519943295),
                               Cy + r * std::sin(a * 0.017453292519943295), z, G);
                    else
                        break;
                }
            }
            append(X, Y, Z, G);
        }
    }
    return path;
}

} // namespace PathOracle
