#pragma once

#include <QSettings>
#include <QString>
#include <QVariantMap>

// Points the station's settings store (each test's own, see TestMain.h) at a controller, with
// nothing else left from an earlier test. `more` holds further keys, such as "GamepadSettings/..".
inline void seedStore(const QString &port, bool askStatus, const QVariantMap &more = {})
{
    QSettings store("Orlo", "Orlo-CNC");
    store.clear();
    store.setValue("ComSettings/PortName", port);
    store.setValue("ComSettings/Baudrate", 115200);
    store.setValue("ComSettings/AskStatus", askStatus ? 1 : 0);
    for (auto value = more.cbegin(); value != more.cend(); ++value)
        store.setValue(value.key(), value.value());
    store.sync();
}
