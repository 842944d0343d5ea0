#include "GrblParameter.h"

#include "machine/ControllerCodes.h"

#include <QRegularExpression>

#include <cmath>

namespace {

// The first match's text, less dropFirst characters in front and dropLast at the end.
std::optional<QString> firstMatch(const QRegularExpression &pattern, const QString &line,
                                  int dropFirst, int dropLast)
{
    const QRegularExpressionMatch match = pattern.match(line);
    if (!match.hasMatch())
        return std::nullopt;
    const QString text = match.captured(0);
    return text.mid(dropFirst, text.size() - dropFirst - dropLast);
}

} // namespace

std::optional<GrblParameter> parseParameterLine(const QString &line)
{
    static const QRegularExpression numberPattern(QStringLiteral("\\$[0-9]+="));
    static const QRegularExpression valuePattern(QStringLiteral("=[0-9]*\\.?[0-9]*"));
    static const QRegularExpression descriptionPattern(QStringLiteral("[(][^)]*[)]"));

    const std::optional<QString> number = firstMatch(numberPattern, line, 1, 1);
    const std::optional<QString> value = firstMatch(valuePattern, line, 1, 0);
    const std::optional<QString> description = firstMatch(descriptionPattern, line, 1, 1);
    if (!number || !value)
        return std::nullopt;

    bool isNumber = false;
    const uint index = number->toUInt(&isNumber);
    if (!isNumber || index > 255)
        return std::nullopt;
    const double reading = value->toDouble(); // "" and "." read as 0
    if (!std::isfinite(reading))
        return std::nullopt;
    // 1.1 lists bare numbers; the words come from what the numbers mean.
    return GrblParameter{static_cast<quint8>(index), reading,
                         description ? *description
                                     : ControllerCodes::settingDescription(int(index))};
}
