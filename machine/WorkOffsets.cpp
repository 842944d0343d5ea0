#include "WorkOffsets.h"

#include "program/ModalState.h"

#include <cmath>

namespace {

constexpr double mmPerInch = 25.4;
const char axisLetters[] = "XYZ";

QString zeroWords(int axes)
{
    QString words;
    for (int axis = 0; axis < 3; ++axis) {
        if (axes & (1 << axis))
            words += QStringLiteral(" %1").arg(QLatin1Char(axisLetters[axis])) + QLatin1Char('0');
    }
    return words;
}

} // namespace

bool WorkOffsets::read(const QString &line)
{
    if (!line.startsWith(QLatin1String("[G")) || !line.endsWith(QLatin1Char(']')))
        return false;
    const int colon = line.indexOf(QLatin1Char(':'));
    bool named = false;
    const int code = line.mid(2, colon - 2).toInt(&named);
    std::optional<Axes> *kept = code == 92                          ? &g92
                                : named && code >= 54 && code <= 59 ? &systems[size_t(code - 54)]
                                                                    : nullptr;
    if (colon < 0 || !named || !kept)
        return false;
    // Builds with more axes tell more values; X, Y and Z come first.
    const QStringList values = line.mid(colon + 1, line.size() - colon - 2).split(QLatin1Char(','));
    if (values.size() < 3)
        return false;
    Axes axes{};
    for (size_t axis = 0; axis < 3; ++axis) {
        bool ok = false;
        axes[axis] = values.at(int(axis)).toDouble(&ok);
        if (!ok || !std::isfinite(axes[axis]))
            return false;
    }
    if (*kept == axes)
        return false;
    *kept = axes;
    return true;
}

bool WorkOffsets::hasG92() const
{
    return g92 && !(WorkOffsets::isZero((*g92)[0]) && WorkOffsets::isZero((*g92)[1]) &&
                    WorkOffsets::isZero((*g92)[2]));
}

QString WorkOffsets::describe(const std::optional<Axes> &axes)
{
    if (!axes)
        return QStringLiteral("not known yet");
    return QStringLiteral("X %1  Y %2  Z %3")
        .arg((*axes)[0], 0, 'f', 3)
        .arg((*axes)[1], 0, 'f', 3)
        .arg((*axes)[2], 0, 'f', 3);
}

QString WorkOffsets::g92ZeroLine(int axes)
{
    return QStringLiteral("G92") + zeroWords(axes);
}

QStringList WorkOffsets::systemZeroLines(int axes, int system, const Axes &g92, const Axes &work,
                                         bool inches)
{
    const QString zero = QStringLiteral("G10 L20 P%1").arg(system - 53) + zeroWords(axes);
    QString kept;
    bool inForce = false;
    for (int axis = 0; axis < 3; ++axis) {
        inForce = inForce || !WorkOffsets::isZero(g92[size_t(axis)]);
        if (!(axes & (1 << axis)) && !WorkOffsets::isZero(g92[size_t(axis)]))
            kept +=
                QStringLiteral(" %1%2")
                    .arg(QLatin1Char(axisLetters[axis]))
                    .arg(ModalState::plainNumber(work[size_t(axis)] / (inches ? mmPerInch : 1)));
    }
    if (!inForce)
        return {zero};
    QStringList lines{QStringLiteral("G92.1"), zero};
    if (!kept.isEmpty())
        lines << QStringLiteral("G92") + kept;
    return lines;
}
