#include "WindowsGamepad.h"
#include "ui_WindowsGamepad.h"

#include "SdlJoystickSource.h"

#include "link/SettingsStore.h"

#include <QLoggingCategory>
#include <QSettings>

Q_DECLARE_LOGGING_CATEGORY(lcJoystick)

namespace {
constexpr int pollIntervalMs = 50;
const char *const settingsGroup = "GamepadSettings";
} // namespace

using namespace GamepadMapping;

WindowsGamepad::WindowsGamepad(QWidget *parent, std::unique_ptr<JoystickSource> source)
    : QDialog(parent), ui(new Ui::WindowsGamepad), joystick(std::move(source))
{
    ui->setupUi(this);
    if (!joystick)
        joystick = std::make_unique<SdlJoystickSource>();

    connect(&pollTimer, &QTimer::timeout, this, &WindowsGamepad::UpdateTickSlot);
    pollTimer.setSingleShot(false);
    pollTimer.start(pollIntervalMs);

    assignmentButtons = {{{ui->pushButtonZPlus, "BtnZPlus"},
                          {ui->pushButtonZMinus, "BtnZMinus"},
                          {ui->pushButtonZero, "BtnZero"},
                          {ui->pushButtonSlowSpeed, "BtnSlow"},
                          {ui->pushButtonMediumSpeed, "BtnMedium"},
                          {ui->pushButtonDefinedStep, "BtnDefinedStep"},
                          {ui->pushButtonStart, "BtnStart"},
                          {ui->pushButtonSpindle, "BtnIndex"}}};
    for (const ButtonAssignment &assignment : assignmentButtons)
        connect(assignment.button, &QPushButton::clicked, this, &WindowsGamepad::KeyButtonPressed);
    LoadSettings();
}

WindowsGamepad::~WindowsGamepad()
{
    delete ui;
}

int WindowsGamepad::GetSlowSpeed() const
{
    return ui->spinBoxSlow->value();
}

int WindowsGamepad::GetMediumSpeed() const
{
    return ui->spinBoxMedium->value();
}

// The highest id that answers wins; the next tick polls it.
void WindowsGamepad::FindGamepad()
{
    const int ids = joystick->idCount();
    for (int id = 0; id < ids; ++id) {
        if (joystick->read(id, record))
            deviceId = id;
    }
}

void WindowsGamepad::UpdateTickSlot()
{
    if (deviceId == -1) {
        FindGamepad();
        return;
    }
    if (!joystick->read(deviceId, record)) {
        qCDebug(lcJoystick) << "gamepad #" << deviceId << "disconnected";
        deviceId = -1;
        releaseAll();
        return;
    }
    if (!isVisible()) {
        emitChanges(inputsFrom(record, assignments));
        sinceReading.start();
        return;
    }
    if (learn(assignments, record.buttons))
        UpdateButtonLabels();
}

// Slots reached from here still see the states of the previous poll.
void WindowsGamepad::emitChanges(const Inputs &inputs)
{
    for (int input = 0; input < gamepadButtonCount; ++input) {
        if (inputs[size_t(input)] == held[size_t(input)])
            continue;
        if (inputs[size_t(input)])
            emit ButtonPressed(GamepadButton(input));
        else
            emit ButtonReleased(GamepadButton(input));
    }
    held = inputs;
}

GamepadMapping::Inputs WindowsGamepad::heldButtons() const
{
    if (!sinceReading.isValid() || sinceReading.elapsed() > deadManMs)
        return {};
    return held;
}

void WindowsGamepad::releaseAll()
{
    emitChanges({});
    sinceReading.invalidate();
}

void WindowsGamepad::KeyButtonPressed()
{
    for (int index = 0; index < assignmentCount; ++index) {
        if (assignmentButtons[size_t(index)].button == sender())
            startLearning(assignments, index);
    }
    UpdateButtonLabels();
}

void WindowsGamepad::UpdateButtonLabels()
{
    for (int index = 0; index < assignmentCount; ++index)
        assignmentButtons[size_t(index)].button->setText(label(assignments[size_t(index)]));
}

// Learning takes the buttons over: whatever was held must not go on moving the machine.
void WindowsGamepad::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    releaseAll();
    UpdateButtonLabels();
}

void WindowsGamepad::on_pushButtonSave_clicked()
{
    for (int &assignment : assignments) {
        if (assignment < 0)
            assignment = AssignmentUndefined;
    }
    QSettings store(SettingsStore::organisation(), SettingsStore::application());
    store.beginGroup(settingsGroup);
    for (int index = 0; index < assignmentCount; ++index)
        store.setValue(assignmentButtons[size_t(index)].settingsKey, assignments[size_t(index)]);
    store.setValue("MediumSpeed", ui->spinBoxMedium->value());
    store.setValue("SlowSpeed", ui->spinBoxSlow->value());
    store.endGroup();
    hide();
}

void WindowsGamepad::LoadSettings()
{
    QSettings store(SettingsStore::organisation(), SettingsStore::application());
    store.beginGroup(settingsGroup);
    for (int index = 0; index < assignmentCount; ++index)
        assignments[size_t(index)] =
            fromStore(store.value(assignmentButtons[size_t(index)].settingsKey));
    bool isNumber = false;
    const int medium = store.value("MediumSpeed").toInt(&isNumber);
    ui->spinBoxMedium->setValue(isNumber ? medium : 300);
    const int slow = store.value("SlowSpeed").toInt(&isNumber);
    ui->spinBoxSlow->setValue(isNumber ? slow : 50);
    store.endGroup();
}
