#pragma once

#include <QString>

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
} // namespace SettingsStore
