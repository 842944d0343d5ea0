#include "HelixProgram.h"

#include <QPointF>

#include <cmath>

namespace {

// 120° as the single-precision constant the arcs have always been computed with.
constexpr float thirdTurn = 2.0943952f;

// The last turn runs flat at the depth: the arc that reaches it and three more.
constexpr int arcsAtDepth = 4;
constexpr double maxArcs = 30'000;
constexpr double maxLength = 1e6; // mm

QString fixed(double value)
{
    return QString::number(value, 'f', 4);
}

struct Helix
{
    QPointF points[3];  // on the tool centre's circle, 120° apart, the first at +X
    QPointF offsets[3]; // from the start of the arc ending at points[k] to the hole centre
};

Helix helixAround(const HelixInputs &inputs)
{
    const QPointF centre(inputs.centreX, inputs.centreY);
    const double radius = (inputs.diameter - inputs.toolDiameter) * 0.5;
    const double step = inputs.clockwise ? -thirdTurn : thirdTurn;
    Helix helix;
    double angle = 0;
    for (QPointF &point : helix.points) {
        point = centre + QPointF(radius * std::cos(angle), radius * std::sin(angle));
        angle += step;
    }
    for (int k = 0; k < 3; ++k)
        helix.offsets[k] = centre - helix.points[(k + 2) % 3];
    return helix;
}

QString arcLine(const QString &arcWord, const Helix &helix, int k, double z)
{
    const QPointF &end = helix.points[k];
    const QPointF &offset = helix.offsets[k];
    return arcWord + coordinatePair(end.x(), end.y(), 'X', 'Y') + QLatin1Char(' ') +
           coordinatePair(offset.x(), offset.y(), 'I', 'J') + QStringLiteral(" Z") + fixed(z);
}

QStringList arcs(const HelixInputs &inputs)
{
    const Helix helix = helixAround(inputs);
    const QString arcWord = inputs.clockwise ? QStringLiteral("G2 ") : QStringLiteral("G3 ");
    const double step = inputs.infeed / 3;
    double z = 0.5 - inputs.startDepth;
    int atDepth = 0;
    QStringList lines;
    for (int i = 1; atDepth < arcsAtDepth; ++i) {
        z -= step;
        if (z <= -inputs.depth)
            z = -inputs.depth;
        QString line = arcLine(arcWord, helix, i % 3, z);
        if (i == 1)
            line += QStringLiteral(" F") + QString::number(inputs.feedRate);
        lines << line;
        if (z == -inputs.depth)
            ++atDepth;
    }
    return lines;
}

} // namespace

QString coordinatePair(double a, double b, QChar p, QChar q)
{
    return p + fixed(a) + QLatin1Char(' ') + q + fixed(b);
}

// Each rule is written so that a value that is no number at all fails it too; an endless depth
// would never be reached.
QStringList helixInputProblems(const HelixInputs &inputs)
{
    QStringList problems;
    if (!(inputs.toolDiameter >= 0.1))
        problems << QStringLiteral("ToolD");
    // No machine travels a kilometre; beyond that a number is a mistake, and writing it with
    // four decimals, hundreds of digits long, in every arc would take the window seconds.
    if (!(inputs.toolDiameter <= inputs.diameter && inputs.diameter <= maxLength))
        problems << QStringLiteral("Diameter");
    if (!(std::fabs(inputs.centreX) <= maxLength && std::fabs(inputs.centreY) <= maxLength))
        problems << QStringLiteral("Center");
    if (!(inputs.depth >= 0.01 && std::isfinite(inputs.depth)))
        problems << QStringLiteral("Depth");
    if (!(inputs.startDepth <= inputs.depth))
        problems << QStringLiteral("StartLevel");
    // Without infeed the tool never goes down and the arcs would never end.
    if (!(inputs.infeed >= 0.01))
        problems << QStringLiteral("Infeed");
    // Without a feed the first arc fails on the machine and the next ones cut around the wrong
    // centre, since each one starts where the previous one should have ended.
    if (!(inputs.feedRate >= 1))
        problems << QStringLiteral("FeedRate");
    // A hole a kilometre deep in hundredths of a millimetre would be a program no editor or
    // controller takes. 10,000 turns still cut 100 mm at the finest infeed, and the form's
    // fields stay below a tenth of that.
    const double arcCount = (inputs.depth - inputs.startDepth + 0.5) / inputs.infeed * 3;
    if (!(arcCount <= maxArcs))
        problems << QStringLiteral("Turns");
    return problems;
}

QStringList helixProgram(const HelixInputs &inputs)
{
    if (!helixInputProblems(inputs).isEmpty())
        return {};
    const Helix helix = helixAround(inputs);
    const double firstZ = 0.5 - inputs.startDepth; // half a millimetre above the start depth
    QStringList lines;
    lines << QStringLiteral("(Helix: X=%1 Y=%2 D=%3 T=%4)")
                 .arg(fixed(inputs.centreX), fixed(inputs.centreY), fixed(inputs.diameter),
                      fixed(inputs.depth));
    if (inputs.startAtSafetyHeight)
        lines << QStringLiteral("G0 Z") + fixed(inputs.safetyHeight);
    lines << QStringLiteral("G0 ") +
                 coordinatePair(helix.points[0].x(), helix.points[0].y(), 'X', 'Y');
    lines << QStringLiteral("G0 Z") + fixed(firstZ);
    lines << arcs(inputs);
    lines << QStringLiteral("G0 Z") + fixed(inputs.safetyHeight);
    return lines;
}
