#pragma once

#include "Macro.h"
#include "Settings.h"

#include <QString>
#include <QVector>

#include <optional>

class QSettings;

// Where the station keeps what it remembers between runs (the toolkit's settings store).
namespace SettingsStore {
inline QString organisation()
{
    return QStringLiteral("Orlo");
}
inline QString application()
{
    return QStringLiteral("Orlo-CNC");
}

// The "ComSettings" group. The store is outside data: whatever it holds, what comes out is a
// record the serial port can take (an enum number nobody defined falls back to the default).
Settings readPortSettings(QSettings &store, Settings defaults = {});
void writePortSettings(QSettings &store, const Settings &settings);

// The "Macros" list, in the operator's order: only storable ones come out, and no more than
// Macro::maxCount whatever size the store claims.
QVector<Macro> readMacros(QSettings &store);
void writeMacros(QSettings &store, const QVector<Macro> &macros);
// The macro as it is kept: the name trimmed, control characters (a tab aside) out of the name
// and the lines, and a line holding a line break split there, since the controller would take
// it for two lines and answer twice. Nothing when it has no name or lies beyond Macro's limits.
std::optional<Macro> storable(const Macro &macro);
} // namespace SettingsStore
