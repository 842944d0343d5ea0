#pragma once

#include "GamepadButton.h"
#include "GamepadMapping.h"
#include "JoystickSource.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include <memory>

class QPushButton;

namespace Ui {
class WindowsGamepad;
}

// The gamepad: a poller that turns one joystick into the twelve machine inputs every 50 ms,
// and the "Gamepad Config" dialog that assigns joystick buttons to eight of them. While the
// dialog is shown it only learns: no input reaches the machine.
class WindowsGamepad : public QDialog
{
    Q_OBJECT

public:
    // Without a source the system's joysticks are read through SDL.
    explicit WindowsGamepad(QWidget *parent = nullptr,
                            std::unique_ptr<JoystickSource> source = nullptr);
    ~WindowsGamepad() override;

    int GetSlowSpeed() const;
    int GetMediumSpeed() const;
    // The readings older than this count as released: a stalled poll must not keep a
    // continuous jog going.
    static constexpr int deadManMs = 300;

    // The inputs as the last poll with the dialog hidden found them; all released when that
    // poll is older than deadManMs, the gamepad was unplugged or the dialog opened.
    GamepadMapping::Inputs heldButtons() const;

signals:
    void ButtonPressed(GamepadButton button);
    void ButtonReleased(GamepadButton button);

public slots:
    void UpdateTickSlot();
    void KeyButtonPressed();
    void on_pushButtonSave_clicked();

protected:
    void showEvent(QShowEvent *event) override;

private:
    struct ButtonAssignment
    {
        QPushButton *button;
        const char *settingsKey;
    };

    void FindGamepad();
    void UpdateButtonLabels();
    void LoadSettings();
    void emitChanges(const GamepadMapping::Inputs &inputs);
    void releaseAll();

    Ui::WindowsGamepad *ui;
    std::unique_ptr<JoystickSource> joystick;
    int deviceId = -1;
    QTimer pollTimer;
    JoystickState record;
    GamepadMapping::Inputs held{};
    QElapsedTimer sinceReading;
    std::array<ButtonAssignment, GamepadMapping::assignmentCount> assignmentButtons;
    GamepadMapping::Assignments assignments;
};
