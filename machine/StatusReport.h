#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// What one "<...>" status line says. Nothing is converted to numbers: positions are shown
// exactly as the controller wrote them.
struct StatusReport
{
    QString state;                      // field 0, "" when absent
    std::optional<QStringList> machine; // X, Y, Z after "MPos"
    std::optional<QStringList> work;    // X, Y, Z after "WPos"
};

// Drops the first and last character (the brackets, unchecked), splits the rest at every ",",
// "|" or ":" keeping empty fields, and reads the fields by position.
StatusReport parseStatusReport(const QString &line);
