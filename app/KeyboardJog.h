#pragma once

#include "dialogs/GamepadButton.h"

#include <QList>
#include <QObject>
#include <optional>

class QWidget;

// Arrow keys jog X and Y, Page Up and Page Down jog Z, but only where the operator is plainly
// looking at the machine: a widget of one of the surfaces has the focus and it is no field that
// takes the key as text or a value. The keyboard's own repeat is swallowed, so holding a key
// is one press and one release however fast it repeats, and no motion is queued after the
// release.
class KeyboardJog : public QObject
{
    Q_OBJECT
public:
    explicit KeyboardJog(QObject *parent = nullptr);

    void addSurface(QWidget *surface);
    // The direction of the key pressed last of those still held.
    std::optional<GamepadButton> held() const;

signals:
    void pressed(GamepadButton button);
    void released();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool jogsHere(QObject *receiver) const;
    void releaseAll();

    QList<QWidget *> surfaces;
    QList<int> heldKeys;
};
