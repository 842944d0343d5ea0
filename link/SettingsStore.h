#pragma once

#include "Settings.h"

#include <QString>

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
} // namespace SettingsStore
