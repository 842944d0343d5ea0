#include "ProgramGenerator.h"

#include <QRandomGenerator>

QStringList generatedProgram(int lines, int seed)
{
    QRandomGenerator random(static_cast<quint32>(seed));
    QStringList program{"G21", "G90", "G0 Z5", "G0 X0 Y0", "G1 Z-0.5 F400"};
    double x = 0, y = 0;
    const auto coordinate = [&random](double from) {
        return qBound(-90.0, from + (random.bounded(400) - 200) / 100.0, 90.0);
    };
    const auto fixed = [](double value) { return QString::number(value, 'f', 4); };
    while (program.size() < lines) {
        switch (random.bounded(4)) {
        case 0:
            x = coordinate(x);
            program << QString("G1 X%1 F600").arg(fixed(x));
            break;
        case 1:
            x = coordinate(x);
            y = coordinate(y);
            program << QString("G1 X%1 Y%2 Z-0.5000 F1200 (outer wall, finishing pass %3 of 40)")
                           .arg(fixed(x), fixed(y))
                           .arg(random.bounded(1, 41));
            break;
        case 2: {
            const double radius = 0.5 + random.bounded(100) / 100.0;
            const double direction = x > 0 ? -1 : 1;
            program << QString("G%1 X%2 Y%3 I%4 J0.0000 F900")
                           .arg(random.bounded(2) ? 2 : 3)
                           .arg(fixed(x + 2 * radius * direction), fixed(y),
                                fixed(radius * direction));
            x += 2 * radius * direction;
            break;
        }
        default:
            y = coordinate(y);
            program << QString("G1 Y%1").arg(fixed(y));
        }
    }
    return program;
}
