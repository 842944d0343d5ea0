#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// A work position as the saved-positions table stores it: six significant digits, no trailing
// zeros ("12.5", "-3", "123.457").
QString savedCoordinate(double value);

// "<word> X.. Y.. Z.." with the three cell texts exactly as they stand, e.g. "G92 X10 Y-5.5 Z2".
// Nothing when the row is unusable: fewer than three cells, or a cell that holds no plain
// number (empty, "abc", "1 G91"), since such text would change what the command does.
std::optional<QString> positionCommand(const QString &word, const QStringList &xyz);

// The work coordinate system a saved position was recorded in, as its cell names it ("G55"):
// 54 .. 59; 0 for an empty cell (a position that names none goes in the system in use);
// nothing for other text, which makes the row unusable.
std::optional<int> recordedSystem(const QString &cell);
