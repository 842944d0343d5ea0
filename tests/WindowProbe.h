#pragma once

#include "app/HLed.h"

#include <QApplication>
#include <QMainWindow>
#include <QMetaObject>

// Looks at the station the way an operator does: through its widgets, by object name.
namespace WindowProbe {

template <typename T> T *child(QObject *window, const char *name)
{
    T *found = window->findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no widget named %s", name);
    return found;
}

inline QWidget *topLevel(const char *objectName)
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String(objectName))
            return widget;
    }
    qFatal("no window named %s", objectName);
    return nullptr;
}

inline QColor ledColor(QObject *window)
{
    return child<HLed>(window, "ConnectionLED")->color();
}

// Runs one supervision tick now, instead of waiting for the timer.
inline void tick(QObject *window)
{
    QMetaObject::invokeMethod(window, "Tick1000ms", Qt::DirectConnection);
}

} // namespace WindowProbe
