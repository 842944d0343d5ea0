#pragma once

#include "app/HLed.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPushButton>

// Looks at the station the way an operator does: through its widgets, by object name.
namespace WindowProbe {

template <typename T> T *child(QObject *window, const char *name)
{
    T *found = window->findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no widget named %s", name);
    return found;
}

// Two windows of one name are a mistake: which one comes first differs from Qt 5 to Qt 6.
inline QWidget *topLevel(const char *objectName)
{
    QWidget *found = nullptr;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() != QLatin1String(objectName))
            continue;
        if (found)
            qFatal("more than one window named %s", objectName);
        found = widget;
    }
    if (!found)
        qFatal("no window named %s", objectName);
    return found;
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

// A push button's own hint asks for a width its style likes, often more than its text needs.
inline int neededWidth(const QWidget *widget)
{
    const auto *button = qobject_cast<const QPushButton *>(widget);
    if (!button)
        return widget->minimumSizeHint().width();
    const int icon = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
    return button->fontMetrics().horizontalAdvance(QString(button->text()).remove('&')) + icon + 8;
}

// What an operator cannot use at this window size: a control cut off by an edge of the window
// or of what holds it, or narrower than its own text; "" when everything is whole.
inline QString clippedControls(QMainWindow *window)
{
    QStringList clipped;
    const QRect inside = window->rect();
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        const bool control =
            qobject_cast<QAbstractButton *>(widget) || qobject_cast<QLineEdit *>(widget) ||
            qobject_cast<QAbstractSpinBox *>(widget) || qobject_cast<QComboBox *>(widget) ||
            (qobject_cast<QLabel *>(widget) && !static_cast<QLabel *>(widget)->wordWrap());
        if (!control || !widget->isVisible() || widget->objectName().startsWith("qt_") ||
            qobject_cast<QLineEdit *>(widget->parentWidget()) ||
            qobject_cast<QAbstractSpinBox *>(widget->parentWidget()) ||
            qobject_cast<QComboBox *>(widget->parentWidget()))
            continue;
        // A dock behind another's tab is out of sight, not cut off.
        auto *dock = widget->parentWidget();
        while (dock && !qobject_cast<QDockWidget *>(dock))
            dock = dock->parentWidget();
        if (dock && dock->visibleRegion().isEmpty())
            continue;
        const QRect at(widget->mapTo(window, QPoint()), widget->size());
        QRect seen = at;
        for (QWidget *holder = widget->parentWidget(); holder && holder != window;
             holder = holder->parentWidget())
            seen &= QRect(holder->mapTo(window, QPoint()), holder->size());
        if (!inside.contains(at) || seen != at)
            clipped << widget->objectName() + " cut off";
        else if (widget->width() < neededWidth(widget))
            clipped << QString("%1 %2 px for %3")
                           .arg(widget->objectName())
                           .arg(widget->width())
                           .arg(neededWidth(widget));
    }
    return clipped.join(", ");
}

} // namespace WindowProbe
