#pragma once

#include <QString>

#include <optional>

// One of the controller's numbered settings, as its "$n=value (description)" line reports it.
struct GrblParameter
{
    quint8 index = 0;
    double value = 0;
    QString description;
};

// Reads a "$n=value (description)" line (0.9) or a bare "$n=value" line (1.1, described by
// what its number means). The value admits digits and one point only: a leading minus reads as
// 0 and an exponent is cut off, as the firmware never reports either. A line without number
// and value, with a number above 255 (it would wrap onto another setting) or with a value too
// large for a double gives nothing.
std::optional<GrblParameter> parseParameterLine(const QString &line);
