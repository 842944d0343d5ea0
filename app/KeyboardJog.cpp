#include "KeyboardJog.h"

#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace {

std::optional<GamepadButton> buttonFor(int key)
{
    switch (key) {
    case Qt::Key_Right:
        return XPlus;
    case Qt::Key_Left:
        return XMinus;
    case Qt::Key_Up:
        return YPlus;
    case Qt::Key_Down:
        return YMinus;
    case Qt::Key_PageUp:
        return ZPlus;
    case Qt::Key_PageDown:
        return ZMinus;
    default:
        return std::nullopt;
    }
}

// A field where the same key edits text, moves a cursor or changes a value.
bool takesKeys(const QWidget *widget)
{
    return qobject_cast<const QLineEdit *>(widget) ||
           qobject_cast<const QAbstractSpinBox *>(widget) ||
           qobject_cast<const QPlainTextEdit *>(widget) ||
           qobject_cast<const QTextEdit *>(widget) || qobject_cast<const QComboBox *>(widget) ||
           qobject_cast<const QAbstractSlider *>(widget);
}

} // namespace

KeyboardJog::KeyboardJog(QObject *parent) : QObject(parent)
{
    qApp->installEventFilter(this);
    // A key released while another widget or window has the keyboard is never heard: leaving
    // the surfaces lets go of everything.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
        if (!heldKeys.isEmpty() && !jogsHere(now))
            releaseAll();
    });
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                if (state != Qt::ApplicationActive)
                    releaseAll();
            });
}

void KeyboardJog::addSurface(QWidget *surface)
{
    surfaces << surface;
}

std::optional<GamepadButton> KeyboardJog::held() const
{
    if (heldKeys.isEmpty())
        return std::nullopt;
    return buttonFor(heldKeys.last());
}

bool KeyboardJog::jogsHere(QObject *receiver) const
{
    auto *widget = qobject_cast<QWidget *>(receiver);
    if (!widget || takesKeys(widget))
        return false;
    for (const QWidget *surface : surfaces) {
        if (surface == widget || surface->isAncestorOf(widget))
            return true;
    }
    return false;
}

bool KeyboardJog::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    const bool release = event->type() == QEvent::KeyRelease;
    if (!buttonFor(key->key()))
        return false;
    if (heldKeys.contains(key->key())) {
        // Repeats come as release and press pairs; only the real release counts.
        if (release && !key->isAutoRepeat()) {
            heldKeys.removeAll(key->key());
            emit released();
        }
        return true;
    }
    // The first delivery only, to the widget with the focus: not again as the event climbs to
    // the parents of a widget that ignored it.
    if (release || key->isAutoRepeat() || key->modifiers() & ~Qt::KeypadModifier ||
        watched != QApplication::focusWidget() || !jogsHere(watched))
        return false;
    heldKeys << key->key();
    emit pressed(*buttonFor(key->key()));
    return true;
}

void KeyboardJog::releaseAll()
{
    if (heldKeys.isEmpty())
        return;
    heldKeys.clear();
    emit released();
}
