#include "PositionCommands.h"

#include "PlainNumber.h"

QString savedCoordinate(double value)
{
    return QString::number(value, 'g', 6);
}

std::optional<QString> positionCommand(const QString &word, const QStringList &xyz)
{
    if (xyz.size() != 3)
        return std::nullopt;
    for (const QString &cell : xyz) {
        if (!isPlainNumber(cell))
            return std::nullopt;
    }
    return QStringLiteral("%1 X%2 Y%3 Z%4").arg(word, xyz.at(0), xyz.at(1), xyz.at(2));
}

std::optional<int> recordedSystem(const QString &cell)
{
    const QString text = cell.trimmed().toUpper();
    if (text.isEmpty())
        return 0;
    for (int system = 54; system <= 59; ++system) {
        if (text == QStringLiteral("G%1").arg(system))
            return system;
    }
    return std::nullopt;
}
